// Answering without a keyboard and with a screen reader: what the accessibility interfaces
// report for the pages, and the on-screen number pad driven by clicks alone.

#include "records/streakrecord.h"
#include "testsupport.h"
#include "ui/main/answerbox.h"
#include "ui/main/challengepage.h"
#include "ui/main/levelpage.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>

namespace {

struct Pupil : TestMain {
    Pupil() : TestMain(false) {
        writeBytes(path("Quorin.dat"), newStreakFileBytes());
        window->Form_Load();
        window->show();
        QApplication::setActiveWindow(window.get());
        active = QTest::qWaitForWindowActive(window.get());
    }
    bool active = false;
    void signIn() {
        QLineEdit *edit = window->nameCombo()->lineEdit();
        QTest::mouseClick(edit, Qt::LeftButton);
        typeText(edit, QStringLiteral("たろう"));
        QTest::keyClick(edit, Qt::Key_Return);
    }
    void clickTab(int tab) {
        QTabBar *bar = window->tabStrip()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
    }
    // Each tab's accessible state says whether it can be chosen.
    void checkTabStates() {
        QAccessibleInterface *bar =
            QAccessible::queryAccessibleInterface(window->tabStrip()->tabBar());
        int tab = 0;
        for (int i = 0; i < bar->childCount(); ++i)
            if (bar->child(i)->role() == QAccessible::PageTab) {
                QCOMPARE(bool(bar->child(i)->state().disabled), !window->isTabSelectable(tab));
                ++tab;
            }
        QCOMPARE(tab, 6);
    }
};

QString accessibleName(QObject *o) {
    return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name);
}

QString fullWidth(const QString &number) {
    return QString(QChar(0xFF10 + number.trimmed().toInt()));
}

} // namespace

class TestAccess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void cleanup() { QSettings(applicationTitle()).remove(QStringLiteral("Settings/NumberPad")); }
    void answerNames_data();
    void answerNames();
    void numberPad();
};

void TestAccess::answerNames_data() {
    QTest::addColumn<int>("tab");
    for (int tab = 1; tab <= 5; ++tab)
        QTest::addRow("tab %d", tab) << tab;
}

void TestAccess::answerNames() {
    QFETCH(int, tab);
    Pupil t;
    QVERIFY(t.active);
    t.checkTabStates();
    t.signIn();
    t.checkTabStates();
    t.clickTab(tab);
    t.checkTabStates();
    const auto box = [&](int i) {
        return t.find<AnswerBox>(QStringLiteral("Quorin%1AnswerTextBox_%2")
                                     .arg(QStringList{"Practice", "Novice", "Intermediate",
                                                      "Expert", "Challenge"}[tab - 1])
                                     .arg(i));
    };
    if (tab == 1) // the row of 7, then the shuffled right column
        QTest::mouseClick(t.find<QRadioButton>("QuorinPracticeSelectOption_6"), Qt::LeftButton);
    for (int deal = 0; deal < 2; ++deal) {
        for (int i = 0; box(i); ++i) {
            QString question;
            if (tab == 5) {
                ChallengePage *page = t.window->challengePage();
                question = fullWidth(page->header(9 + i / 9)->text()) + QStringLiteral(" × ") +
                           fullWidth(page->header(i % 9)->text());
            } else {
                question = t.find<QLabel>(box(i)->objectName().replace("AnswerTextBox", "Question"))
                               ->text()
                               .trimmed();
            }
            QCOMPARE(accessibleName(box(i)), question);
        }
        // A new set names the boxes after its own questions.
        const QList<QPushButton *> retry =
            t.window->tabStrip()->currentWidget()->findChildren<QPushButton *>(
                QRegularExpression("RetryCommand$"));
        QTest::mouseClick(retry.value(0), Qt::LeftButton);
        if (tab == 1)
            QTest::mouseClick(t.find<QRadioButton>("QuorinPracticeSelectOption_2"), Qt::LeftButton);
    }
}

void TestAccess::numberPad() {
    Pupil t;
    QVERIFY(t.active);
    // Shown from the menu with the mouse.
    QMenu *view = t.find<QMenu>("mnuView");
    QVERIFY2(view, "no menu to show the number pad");
    QMenuBar *bar = t.window->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(view->menuAction()).center());
    QTRY_VERIFY(view->isVisible());
    QAction *item = t.find<QAction>("mnuViewNumberPad");
    QTest::mouseClick(view, Qt::LeftButton, {}, view->actionGeometry(item).center());
    QWidget *pad = t.find<QWidget>("QuorinNumberPad");
    QVERIFY(pad && pad->isVisible());
    // Beside the pages, inside the screen, big enough for a finger, never taking the focus.
    QVERIFY(!pad->geometry().intersects(t.window->tabStrip()->geometry()));
    QVERIFY(t.window->screen()->availableGeometry().contains(t.window->frameGeometry()));
    const auto key = [&](const QString &name) {
        QPushButton *button = t.find<QPushButton>("QuorinNumberPad" + name);
        [&] {
            QVERIFY(button->width() >= 48 && button->height() >= 48);
            QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        }();
        QTest::mouseClick(button, Qt::LeftButton);
    };
    const auto type = [&](int number) {
        for (QChar digit : QString::number(number))
            key("Key_" + QString(digit));
    };
    // On the sign-in page the pad does nothing.
    type(5);
    QVERIFY(t.window->nameCombo()->currentText().isEmpty());
    t.signIn();
    t.clickTab(2);
    LevelPage *page = t.window->levelPage(Activity::Novice);
    for (int i = 0; i < LevelPage::kQuestions; ++i) {
        AnswerBox *box = page->answerBox(i);
        QCOMPARE(QApplication::focusWidget(), box);
        if (i == 3) {
            // As from the keyboard: 0 alone is no answer, a third digit empties the box, and
            // the clear key empties it wherever the caret is.
            type(0);
            QCOMPARE(box->text(), QString());
            type(123);
            QCOMPARE(box->text(), QString());
            type(64);
            QTest::keyClick(box, Qt::Key_Left);
            key("Clear");
            QCOMPARE(box->text(), QString());
            QCOMPARE(QApplication::focusWidget(), box);
        }
        type(page->expectedAnswer(i));
        key("Enter");
    }
    QCOMPARE(page->scoreLabel()->text(), " 100点です");
    QCOMPARE(accessibleName(page->scoreLabel()), "100点です");
    QCOMPARE(accessibleName(page->resultLabel(0)), "せいかい");
    QCOMPARE(page->streakLabel()->text(), streakMessage(1, 1, "たろう", 1));
    QCOMPARE(accessibleName(page->streakLabel()), page->streakLabel()->text());
    // The next start shows the pad again.
    t.window->close();
    Pupil again;
    QVERIFY(again.find<QWidget>("QuorinNumberPad")->isVisible());
}

QTEST_MAIN(TestAccess)
#include "tst_access.moc"
