// The main window: navigation between the tabs, the remembered position, help, the about
// box and closing.

#include "testsupport.h"
#include "ui/dialogs/frmabout.h"
#include "ui/dialogs/quorinscoredialog.h"
#include "ui/main/challengepage.h"
#include "ui/main/levelpage.h"
#include "ui/main/practicepage.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>

namespace {

QSettings settings() {
    return QSettings(applicationTitle());
}

void clearSettings() {
    QSettings s = settings();
    s.clear();
    s.sync();
}

QList<bool> selectable(frmMain &w) {
    QList<bool> out;
    for (int i = 0; i < 6; ++i)
        out << w.isTabSelectable(i);
    return out;
}

void signIn(TestMain &t, const QString &name) {
    QLineEdit *edit = t.window->nameCombo()->lineEdit();
    edit->clear();
    typeText(edit, name);
    QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand")), Qt::LeftButton);
}

QObject *pageOf(frmMain &w, int tab) {
    switch (tab) {
    case 1:
        return w.practicePage();
    case 2:
        return w.levelPage(Activity::Novice);
    case 3:
        return w.levelPage(Activity::Intermediate);
    case 4:
        return w.levelPage(Activity::Expert);
    default:
        return w.challengePage();
    }
}

QString finButtonName(int tab) {
    switch (tab) {
    case 1:
        return QStringLiteral("QuorinPracticeFinCommand");
    case 2:
        return QStringLiteral("QuorinNoviceQuizFinCommand");
    case 3:
        return QStringLiteral("QuorinIntermediateQuizFinCommand");
    case 4:
        return QStringLiteral("QuorinExpertQuizFinCommand");
    default:
        return QStringLiteral("QuorinChallengeQuizFinCommand");
    }
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void init() { clearSettings(); }

    void captionsAndNames();
    void loadSignedOut();
    void signInMakesActivitiesSelectable();
    void editingOrEmptyNameSignsOut();
    void enterAndLeaveActivity_data();
    void enterAndLeaveActivity();
    void enteringChallengeBlanksTheClock();
    void signInRunsEveryRetry();
    void firstStartPosition();
    void movedPositionIsRemembered();
    void minimisedCloseKeepsOldPosition();
    void nonNumericStoredPosition();
    void helpNotConfigured();
    void helpFileMissing();
    void helpShowsBundledPages();
    void aboutBox();
    void closingClosesTheList();
    void snapshots();
};

void TestMainWindow::captionsAndNames() {
    TestMain t;
    QCOMPARE(t.window->windowTitle(), QStringLiteral("ミルト　ーネ   Ver1.0.0"));
    QTabWidget *tabs = t.find<QTabWidget>(QStringLiteral("QuorinSSTab"));
    QVERIFY(tabs);
    const QStringList captions = {QStringLiteral("はじめに"), QStringLiteral("れんしゅう"),
                                  QStringLiteral("レベル1"),  QStringLiteral("レベル2"),
                                  QStringLiteral("レベル3"),  QStringLiteral("チャレンジ")};
    QCOMPARE(tabs->count(), 6);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(tabs->tabText(i), captions[i]);
    const QStringList menus = {QStringLiteral("ﾌｧｲﾙ(&F)"), QStringLiteral("ﾂｰﾙ(&T)"),
                               QStringLiteral("ﾍﾙﾌﾟ(&H)")};
    const QList<QAction *> actions = t.window->menuBar()->actions();
    QCOMPARE(actions.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(actions[i]->text(), menus[i]);
    QCOMPARE(t.find<QAction>(QStringLiteral("mnuFileExit"))->text(), QStringLiteral("終了(&X)"));
    QCOMPARE(t.find<QAction>(QStringLiteral("mnuToolsOptions"))->text(),
             QStringLiteral("ｵﾌﾟｼｮﾝ(&O)..."));
    QCOMPARE(t.find<QAction>(QStringLiteral("mnuHelpContents"))->text(), QStringLiteral("ﾍﾙﾌﾟ"));
    QCOMPARE(t.find<QAction>(QStringLiteral("mnuHelpAbout"))->text(),
             QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)"));
    QCOMPARE(t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand"))->text(),
             QStringLiteral("名前の入力終了"));
    QCOMPARE(t.find<QPushButton>(QStringLiteral("QuorinFinCommand"))->text(),
             QStringLiteral("ミルトーネの終了"));
    QCOMPARE(t.find<QLabel>(QStringLiteral("PellixIniNameLabel"))->text(),
             QStringLiteral("ミルト　ーネの始まりです。最初に名前をいれてください。"));
    QVERIFY(t.find<QLabel>(QStringLiteral("QuorinInitImage")));
    QVERIFY(!t.find<QLabel>(QStringLiteral("QuorinInitImage"))->pixmap().isNull());
    QVERIFY(t.find<QComboBox>(QStringLiteral("QuorinIniNameCombo"))->isEditable());
}

void TestMainWindow::loadSignedOut() {
    TestMain t;
    QCOMPARE(t.window->tabStrip()->currentIndex(), 0);
    QCOMPARE(selectable(*t.window), (QList<bool>{true, false, false, false, false, false}));
    QVERIFY(t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand"))->isEnabled());
    // The window keeps its fixed client size.
    t.window->show();
    QCOMPARE(t.window->centralWidget()->size(), QSize(825, 576));
}

void TestMainWindow::signInMakesActivitiesSelectable() {
    TestMain t;
    signIn(t, QStringLiteral("たろう"));
    QCOMPARE(selectable(*t.window), QList<bool>(6, true));
    QCOMPARE(t.window->tabStrip()->currentIndex(), 0);
}

void TestMainWindow::editingOrEmptyNameSignsOut() {
    TestMain t;
    signIn(t, QStringLiteral("たろう"));
    // Typing one character locks the activities until the name is confirmed again.
    QTest::keyClicks(t.window->nameCombo()->lineEdit(), QStringLiteral("a"));
    QCOMPARE(selectable(*t.window), (QList<bool>{true, false, false, false, false, false}));
    QVERIFY(t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand"))->isEnabled());
    signIn(t, QStringLiteral("たろう"));
    QCOMPARE(selectable(*t.window), QList<bool>(6, true));
    // Confirming an empty name signs out.
    signIn(t, QString());
    QCOMPARE(selectable(*t.window), (QList<bool>{true, false, false, false, false, false}));
}

void TestMainWindow::enterAndLeaveActivity_data() {
    QTest::addColumn<int>("tab");
    for (int tab = 1; tab <= 5; ++tab)
        QTest::addRow("tab %d", tab) << tab;
}

void TestMainWindow::enterAndLeaveActivity() {
    QFETCH(int, tab);
    TestMain t;
    signIn(t, QStringLiteral("はなこ"));
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (int i = 1; i <= 5; ++i)
        spies.push_back(std::make_unique<QSignalSpy>(pageOf(*t.window, i), SIGNAL(retried())));

    t.window->tabStrip()->setCurrentIndex(tab);
    QCOMPARE(int(t.state.CurrentTab), tab);
    QList<bool> only(6, false);
    only[tab] = true;
    QCOMPARE(selectable(*t.window), only);
    QVERIFY(!t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand"))->isEnabled());
    // Entering runs that activity's Retry once, and no other.
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(spies[i - 1]->count(), i == tab ? 1 : 0);
    // The menus stay usable inside an activity.
    QVERIFY(t.find<QAction>(QStringLiteral("mnuHelpAbout"))->isEnabled());

    QPushButton *fin = t.find<QPushButton>(finButtonName(tab));
    QVERIFY(fin);
    QTest::mouseClick(fin, Qt::LeftButton);
    // Finish: Retry again, then back on tab 0 with all six tabs selectable.
    QCOMPARE(spies[tab - 1]->count(), 2);
    QCOMPARE(t.window->tabStrip()->currentIndex(), 0);
    QCOMPARE(int(t.state.CurrentTab), 0);
    QCOMPARE(selectable(*t.window), QList<bool>(6, true));
    QVERIFY(t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand"))->isEnabled());
}

void TestMainWindow::enteringChallengeBlanksTheClock() {
    TestMain t;
    signIn(t, QStringLiteral("じろう"));
    QLabel *clock = t.find<QLabel>(QStringLiteral("QuorinChallengeTimeLable"));
    QVERIFY(clock);
    clock->setText(QStringLiteral(" 5秒"));
    t.window->tabStrip()->setCurrentIndex(5);
    QCOMPARE(clock->text(), QString());
}

void TestMainWindow::signInRunsEveryRetry() {
    TestMain t;
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (int i = 1; i <= 5; ++i)
        spies.push_back(std::make_unique<QSignalSpy>(pageOf(*t.window, i), SIGNAL(retried())));
    signIn(t, QStringLiteral("さくら"));
    for (auto &spy : spies)
        QCOMPARE(spy->count(), 1);
    QCOMPARE(t.window->tabStrip()->currentIndex(), 0);
}

void TestMainWindow::firstStartPosition() {
    TestMain t;
    QCOMPARE(t.window->pos(), QPoint(67, 67)); // 1000 twips
    t.window->close();
    QSettings s = settings();
    QCOMPARE(s.value(QStringLiteral("Settings/MainLeft")).toString(), QStringLiteral("1000"));
    QCOMPARE(s.value(QStringLiteral("Settings/MainTop")).toString(), QStringLiteral("1000"));
    QVERIFY(s.value(QStringLiteral("Settings/MainWidth")).toInt() >= 12465);
    QVERIFY(s.value(QStringLiteral("Settings/MainHeight")).toInt() >= 9255);
}

void TestMainWindow::movedPositionIsRemembered() {
    {
        TestMain t;
        t.window->show();
        t.window->move(200, 150);
        t.window->resize(400, 300); // the size is fixed; this changes nothing
        t.window->close();
    }
    QSettings s = settings();
    QCOMPARE(s.value(QStringLiteral("Settings/MainLeft")).toString(), QStringLiteral("3000"));
    QCOMPARE(s.value(QStringLiteral("Settings/MainTop")).toString(), QStringLiteral("2250"));
    TestMain again;
    QCOMPARE(again.window->pos(), QPoint(200, 150));
    again.window->show();
    QCOMPARE(again.window->centralWidget()->size(), QSize(825, 576));
}

void TestMainWindow::minimisedCloseKeepsOldPosition() {
    {
        QSettings s = settings();
        s.setValue(QStringLiteral("Settings/MainLeft"), QStringLiteral("4500"));
        s.setValue(QStringLiteral("Settings/MainTop"), QStringLiteral("3000"));
        s.sync();
    }
    {
        TestMain t;
        QCOMPARE(t.window->pos(), QPoint(300, 200));
        t.window->show();
        t.window->move(10, 10);
        t.window->setWindowState(Qt::WindowMinimized);
        QVERIFY(t.window->isMinimized());
        t.window->close();
    }
    QSettings s = settings();
    QCOMPARE(s.value(QStringLiteral("Settings/MainLeft")).toString(), QStringLiteral("4500"));
    QCOMPARE(s.value(QStringLiteral("Settings/MainTop")).toString(), QStringLiteral("3000"));
}

void TestMainWindow::nonNumericStoredPosition() {
    {
        QSettings s = settings();
        s.setValue(QStringLiteral("Settings/MainLeft"), QStringLiteral("left"));
        s.setValue(QStringLiteral("Settings/MainTop"), QStringLiteral("1500"));
        s.sync();
    }
    TestMain t;
    QCOMPARE(t.window->pos(), QPoint(67, 100));
}

void TestMainWindow::helpNotConfigured() {
    TestMain t;
    t.window->setHelpFile(QString());
    t.find<QAction>(QStringLiteral("mnuHelpContents"))->trigger();
    QCOMPARE(t.messages.size(), 1);
    QCOMPARE(t.messages[0].icon, QMessageBox::Information);
    QCOMPARE(t.messages[0].title, QStringLiteral("ミルト　ーネ   Ver1.0.0"));
    QCOMPARE(t.messages[0].text,
             QStringLiteral("ﾍﾙﾌﾟの目次を表示できません。 "
                            "このﾌﾟﾛｼﾞｪｸﾄに関連付けられたﾍﾙﾌﾟが存在しません。"));
}

void TestMainWindow::helpFileMissing() {
    TestMain t;
    t.window->setHelpFile(t.path(QStringLiteral("QUORINHELP.html")));
    t.find<QAction>(QStringLiteral("mnuHelpContents"))->trigger();
    QCOMPARE(t.messages.size(), 1);
    QCOMPARE(t.messages[0].icon, QMessageBox::NoIcon);
    QCOMPARE(t.messages[0].title, QStringLiteral("ミルト　ーネ"));
    QVERIFY2(t.messages[0].text.contains(QStringLiteral("QUORINHELP.html")),
             qPrintable(t.messages[0].text));
    QVERIFY(!QApplication::topLevelWidgets().isEmpty());
}

void TestMainWindow::helpShowsBundledPages() {
    TestMain t;
    t.find<QAction>(QStringLiteral("mnuHelpContents"))->trigger();
    QVERIFY(t.messages.isEmpty());
    QWidget *viewer = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == u"HelpViewer" && w->isVisible())
            viewer = w;
    QVERIFY(viewer);
    auto *browser = viewer->findChild<QTextEdit *>(QStringLiteral("HelpBrowser"));
    QVERIFY(browser);
    const QString text = browser->toPlainText();
    for (const char *section :
         {"はじめに", "れんしゅう", "レベル1", "チャレンジ", "Quorin.ini", "Quorin.dat", "ｵﾌﾟｼｮﾝ"})
        QVERIFY2(text.contains(QString::fromUtf8(section)), section);
    snapshot(viewer, QStringLiteral("help"));
    // Closing the main window closes the help window too.
    t.window->close();
    QVERIFY(!viewer->isVisible() || QApplication::topLevelWidgets().indexOf(viewer) < 0);
}

void TestMainWindow::aboutBox() {
    TestMain t;
    QString title, version, description, caption;
    bool okDefault = false;
    int result = -1;
    t.window->setDialogHook([&](QDialog *d) {
        caption = d->windowTitle();
        title = d->findChild<QLabel *>(QStringLiteral("lblTitle"))->text();
        version = d->findChild<QLabel *>(QStringLiteral("lblVersion"))->text();
        description = d->findChild<QLabel *>(QStringLiteral("lblDescription"))->text();
        auto *ok = d->findChild<QPushButton *>(QStringLiteral("cmdOK"));
        okDefault = ok->isDefault();
        QVERIFY(d->findChild<QWidget *>(QStringLiteral("Line1_0")));
        QVERIFY(d->findChild<QWidget *>(QStringLiteral("Line1_1")));
        QVERIFY(!d->findChild<QLabel *>(QStringLiteral("picIcon"))->pixmap().isNull());
        snapshot(d, QStringLiteral("about"));
        // Esc closes the box as OK does.
        d->show();
        QTest::keyClick(d, Qt::Key_Escape);
        result = d->isVisible() ? 1 : 0;
    });
    t.find<QAction>(QStringLiteral("mnuHelpAbout"))->trigger();
    QCOMPARE(caption, QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報 Pellix"));
    QCOMPARE(title, QStringLiteral("ミルト　ーネ"));
    QCOMPARE(version, QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.0.0"));
    QCOMPARE(description, QStringLiteral("小学2年生の算数の授業に使ってください。"));
    QVERIFY(okDefault);
    QCOMPARE(result, 0);
    QCOMPARE(versionText(12, 0, 305), QStringLiteral("ﾊﾞｰｼﾞｮﾝ 12.0.305"));
}

void TestMainWindow::closingClosesTheList() {
    TestMain t;
    t.window->show();
    t.window->ShowScoreDialog();
    QPointer<QuorinScoreDialog> list = t.window->scoreDialog();
    QVERIFY(list);
    QVERIFY(list->isVisible());
    t.find<QAction>(QStringLiteral("mnuFileExit"))->trigger();
    QVERIFY(!t.window->isVisible());
    QTRY_VERIFY(!list || !list->isVisible());
}

void TestMainWindow::snapshots() {
    TestMain t;
    t.window->show();
    snapshot(t.window.get(), QStringLiteral("tab0-signin"));
    signIn(t, QStringLiteral("たろう"));
    for (int tab = 1; tab <= 5; ++tab) {
        t.window->tabStrip()->setCurrentIndex(tab);
        snapshot(t.window.get(), QStringLiteral("tab%1").arg(tab));
        QTest::mouseClick(t.find<QPushButton>(finButtonName(tab)), Qt::LeftButton);
    }
    QCOMPARE(t.window->tabStrip()->currentIndex(), 0);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
