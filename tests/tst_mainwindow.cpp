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
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>

namespace {

using Flags = QList<bool>;
const Flags kSignedOut{true, false, false, false, false, false};
const Flags kSignedIn(6, true);

QSettings settings() {
    return QSettings(applicationTitle());
}

void storePosition(const QString &left, const QString &top) {
    QSettings s = settings();
    s.clear();
    if (!left.isNull())
        s.setValue(QStringLiteral("Settings/MainLeft"), left);
    if (!top.isNull())
        s.setValue(QStringLiteral("Settings/MainTop"), top);
    s.sync();
}

QString stored(const char *key) {
    return settings().value(QStringLiteral("Settings/") + QLatin1String(key)).toString();
}

Flags selectable(frmMain &w) {
    Flags out;
    for (int i = 0; i < 6; ++i)
        out << w.isTabSelectable(i);
    return out;
}

QPushButton *iniFin(TestMain &t) {
    return t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand"));
}

void signIn(TestMain &t, const QString &name) {
    QLineEdit *edit = t.window->nameCombo()->lineEdit();
    edit->clear();
    typeText(edit, name);
    QTest::mouseClick(iniFin(t), Qt::LeftButton);
}

QObject *pageOf(frmMain &w, int tab) {
    const Activity levels[] = {Activity::Novice, Activity::Intermediate, Activity::Expert};
    if (tab == 1)
        return w.practicePage();
    return tab == 5 ? static_cast<QObject *>(w.challengePage()) : w.levelPage(levels[tab - 2]);
}

const QString kFinButtons[] = {QString(),
                               QStringLiteral("QuorinPracticeFinCommand"),
                               QStringLiteral("QuorinNoviceQuizFinCommand"),
                               QStringLiteral("QuorinIntermediateQuizFinCommand"),
                               QStringLiteral("QuorinExpertQuizFinCommand"),
                               QStringLiteral("QuorinChallengeQuizFinCommand")};

// Counts the Retry runs of the five activities.
struct RetrySpies {
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    explicit RetrySpies(frmMain &w) {
        for (int tab = 1; tab <= 5; ++tab)
            spies.push_back(std::make_unique<QSignalSpy>(pageOf(w, tab), SIGNAL(retried())));
    }
    QList<int> counts() const {
        QList<int> out;
        for (const auto &spy : spies)
            out << int(spy->count());
        return out;
    }
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void init() { storePosition(QString(), QString()); }

    void signInAndOut();
    void enterAndLeaveActivity_data();
    void enterAndLeaveActivity();
    void position_data();
    void position();
    void help_data();
    void help();
    void aboutBox();
    void closingClosesTheOtherWindows();
};

void TestMainWindow::signInAndOut() {
    TestMain t;
    QCOMPARE(t.window->tabStrip()->currentIndex(), 0);
    QCOMPARE(selectable(*t.window), kSignedOut);
    RetrySpies retries(*t.window);
    signIn(t, QStringLiteral("たろう"));
    QCOMPARE(selectable(*t.window), kSignedIn);
    // Sign-in deals a fresh set in every activity and stays on tab 0.
    QCOMPARE(retries.counts(), QList<int>(5, 1));
    QCOMPARE(t.window->tabStrip()->currentIndex(), 0);
    // Typing one character locks the activities until the name is confirmed again.
    QTest::keyClick(t.window->nameCombo()->lineEdit(), 'a');
    QCOMPARE(selectable(*t.window), kSignedOut);
    QVERIFY(iniFin(t)->isEnabled());
    signIn(t, QStringLiteral("たろう"));
    QCOMPARE(selectable(*t.window), kSignedIn);
    signIn(t, QString()); // an empty name signs out
    QCOMPARE(selectable(*t.window), kSignedOut);
}

void TestMainWindow::enterAndLeaveActivity_data() {
    QTest::addColumn<int>("tab");
    for (int tab = 1; tab <= 5; ++tab)
        QTest::addRow("tab %d", tab) << tab;
}

void TestMainWindow::enterAndLeaveActivity() {
    QFETCH(int, tab);
    TestMain t;
    t.window->show();
    signIn(t, QStringLiteral("はなこ"));
    QLabel *clock = t.find<QLabel>(QStringLiteral("QuorinChallengeTimeLable"));
    clock->setText(QStringLiteral(" 5秒"));
    RetrySpies retries(*t.window);

    t.window->tabStrip()->setCurrentIndex(tab);
    QCOMPARE(int(t.state.CurrentTab), tab);
    Flags only(6, false);
    only[tab] = true;
    QCOMPARE(selectable(*t.window), only);
    QVERIFY(!iniFin(t)->isEnabled());
    QList<int> once(5, 0);
    once[tab - 1] = 1;
    QCOMPARE(retries.counts(), once); // that activity's Retry once, no other
    // Entering the challenge blanks its clock after the Retry.
    QCOMPARE(clock->text().isEmpty(), tab == 5);
    snapshot(t.window.get(), QStringLiteral("tab%1-entered").arg(tab));

    QTest::mouseClick(t.find<QPushButton>(kFinButtons[tab]), Qt::LeftButton);
    once[tab - 1] = 2; // finish runs the Retry again
    QCOMPARE(retries.counts(), once);
    QCOMPARE(t.window->tabStrip()->currentIndex(), 0);
    QCOMPARE(int(t.state.CurrentTab), 0);
    QCOMPARE(t.window->focusWidget(), t.window->nameCombo()); // ready for the next name
    QCOMPARE(selectable(*t.window), kSignedIn);
    QVERIFY(iniFin(t)->isEnabled());
}

void TestMainWindow::position_data() {
    QTest::addColumn<QString>("storedLeft");
    QTest::addColumn<QString>("storedTop");
    QTest::addColumn<QPoint>("opensAt");
    QTest::addColumn<QPoint>("moveTo"); // (-1,-1): not moved
    QTest::addColumn<bool>("minimised");
    QTest::addColumn<QString>("savedLeft");
    QTest::addColumn<QString>("savedTop");
    const QPoint stay(-1, -1);
    QTest::newRow("first start") << QString() << QString() << QPoint(67, 67) << stay << false
                                 << "1000"
                                 << "1000";
    QTest::newRow("moved") << "1500"
                           << "3000" << QPoint(100, 200) << QPoint(200, 150) << false << "3000"
                           << "2250";
    QTest::newRow("closed minimised")
        << "4500"
        << "3000" << QPoint(300, 200) << QPoint(10, 10) << true << "4500"
        << "3000";
    QTest::newRow("not a number") << "left"
                                  << "1500" << QPoint(67, 100) << stay << false << "1000"
                                  << "1500";
}

void TestMainWindow::position() {
    QFETCH(QString, storedLeft);
    QFETCH(QString, storedTop);
    QFETCH(QPoint, opensAt);
    QFETCH(QPoint, moveTo);
    QFETCH(bool, minimised);
    QFETCH(QString, savedLeft);
    QFETCH(QString, savedTop);
    storePosition(storedLeft, storedTop);
    {
        TestMain t;
        t.window->show();
        QCOMPARE(t.window->pos(), opensAt);
        QCOMPARE(t.window->centralWidget()->size(), QSize(825, 576));
        // The teacher may make it smaller; the content scales with it.
        t.window->resize(400, 300);
        QVERIFY(t.window->contentScale() < 0.5);
        if (moveTo.x() >= 0)
            t.window->move(moveTo);
        if (minimised)
            t.window->setWindowState(Qt::WindowMinimized);
        t.window->close();
    }
    QCOMPARE(stored("MainLeft"), savedLeft);
    QCOMPARE(stored("MainTop"), savedTop);
    if (!minimised) {
        QVERIFY(stored("MainWidth").toInt() >= 12465);
        QVERIFY(stored("MainHeight").toInt() >= 9255);
        TestMain again; // restarted at the saved position, at the design size again
        QCOMPARE(again.window->pos(),
                 QPoint(qRound(savedLeft.toInt() / 15.0), qRound(savedTop.toInt() / 15.0)));
        QCOMPARE(again.window->contentScale(), 1.0);
    }
}

void TestMainWindow::help_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("none configured")
        << QString() << int(QMessageBox::Information) << QStringLiteral("ミルト　ーネ   Ver1.0.0")
        << QStringLiteral("ﾍﾙﾌﾟの目次を表示できません。 "
                          "このﾌﾟﾛｼﾞｪｸﾄに関連付けられたﾍﾙﾌﾟが存在しません。");
    QTest::newRow("missing file") << QStringLiteral("QUORINHELP.html") << int(QMessageBox::NoIcon)
                                  << QStringLiteral("ミルト　ーネ")
                                  << QStringLiteral("QUORINHELP.html");
    QTest::newRow("bundled pages")
        << QStringLiteral(":/help/index.html") << -1 << QString() << QString();
}

void TestMainWindow::help() {
    QFETCH(QString, file);
    QFETCH(int, icon);
    QFETCH(QString, title);
    QFETCH(QString, text);
    TestMain t;
    t.window->setHelpFile(file.startsWith(u':') || file.isEmpty() ? file : t.path(file));
    t.find<QAction>(QStringLiteral("mnuHelpContents"))->trigger();
    if (icon >= 0) {
        QCOMPARE(t.messages.size(), 1);
        QCOMPARE(int(t.messages[0].icon), icon);
        QCOMPARE(t.messages[0].title, title);
        QVERIFY2(t.messages[0].text.contains(text), qPrintable(t.messages[0].text));
        return;
    }
    QVERIFY(t.messages.isEmpty());
    QWidget *viewer = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == u"HelpViewer" && w->isVisible())
            viewer = w;
    QVERIFY(viewer);
    const QString shown = viewer->findChild<QTextEdit *>()->toPlainText();
    for (const char *topic : {"れんしゅう", "チャレンジ", "Quorin.ini", "Quorin.dat", "ｵﾌﾟｼｮﾝ"})
        QVERIFY2(shown.contains(QString::fromUtf8(topic)), topic);
    snapshot(viewer, QStringLiteral("help"));
}

void TestMainWindow::aboutBox() {
    TestMain t;
    QStringList texts;
    bool closedByEsc = false;
    t.window->setDialogHook([&](QDialog *d) {
        texts << d->windowTitle();
        for (const char *name : {"lblTitle", "lblVersion", "lblDescription"})
            texts << d->findChild<QLabel *>(QLatin1String(name))->text();
        QVERIFY(d->findChild<QPushButton *>(QStringLiteral("cmdOK"))->isDefault());
        QVERIFY(!d->findChild<QLabel *>(QStringLiteral("picIcon"))->pixmap().isNull());
        snapshot(d, QStringLiteral("about"));
        d->show();
        QTest::keyClick(d, Qt::Key_Escape); // Esc closes the box as OK does
        closedByEsc = !d->isVisible();
    });
    t.find<QAction>(QStringLiteral("mnuHelpAbout"))->trigger();
    QCOMPARE(texts, (QStringList{QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報 Pellix"),
                                 QStringLiteral("ミルト　ーネ"), QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.0.0"),
                                 QStringLiteral("小学2年生の算数の授業に使ってください。")}));
    QVERIFY(closedByEsc);
    QCOMPARE(versionText(12, 0, 305), QStringLiteral("ﾊﾞｰｼﾞｮﾝ 12.0.305"));
}

void TestMainWindow::closingClosesTheOtherWindows() {
    TestMain t;
    t.window->show();
    snapshot(t.window.get(), QStringLiteral("tab0-signin"));
    t.window->ShowScoreDialog();
    t.find<QAction>(QStringLiteral("mnuHelpContents"))->trigger();
    QPointer<QuorinScoreDialog> list = t.window->scoreDialog();
    QVERIFY(list && list->isVisible());
    t.find<QAction>(QStringLiteral("mnuFileExit"))->trigger();
    QVERIFY(!t.window->isVisible());
    QTRY_VERIFY(!list || !list->isVisible());
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
