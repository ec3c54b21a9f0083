// Answering without a keyboard and with a screen reader: what the accessibility interfaces
// report for the pages, touch on the row choice, and the number pad driven by clicks alone.

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

QString spoken(QObject *o) {
    return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name);
}

struct Pupil : TestMain {
    Pupil() : TestMain(false) {
        writeBytes(path("Quorin.dat"), newStreakFileBytes());
        window->Form_Load();
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    void signIn() {
        typeText(window->nameCombo()->lineEdit(), "たろう");
        QTest::keyClick(window->nameCombo()->lineEdit(), Qt::Key_Return);
    }
    // A click on a tab; then every tab's accessible state must say whether it can be chosen.
    void clickTab(int tab) {
        QTabBar *bar = window->tabStrip()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
        for (int i = 0; i < 6; ++i)
            QCOMPARE(bool(QAccessible::queryAccessibleInterface(bar)->child(i)->state().disabled),
                     !window->isTabSelectable(i));
    }
};

} // namespace

class TestAccess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void cleanup() { QSettings(applicationTitle()).remove("Settings/NumberPad"); }
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
    static QPointingDevice *finger = QTest::createTouchDevice();
    Pupil t;
    t.clickTab(0);
    t.signIn();
    t.clickTab(tab);
    QWidget *page = t.window->tabStrip()->currentWidget();
    const auto factor = [&](int header) {
        return QString(
            QChar(0xFF10 + t.window->challengePage()->header(header)->text().trimmed().toInt()));
    };
    for (int deal = 0; deal < 2; ++deal) {
        // A row chosen by a tap at the end of its button's caption, then by a click.
        auto *row =
            t.find<QRadioButton>(QStringLiteral("QuorinPracticeSelectOption_%1").arg(3 * deal + 3));
        const QPoint end = row->mapTo(t.window.get(), QPoint(row->width() - 3, row->height() / 2));
        if (tab == 1 && deal == 0) {
            QTest::touchEvent(t.window.get(), finger).press(0, end);
            QTest::touchEvent(t.window.get(), finger).release(0, end);
        } else if (tab == 1)
            QTest::mouseClick(row, Qt::LeftButton);
        for (AnswerBox *box : page->findChildren<AnswerBox *>()) {
            const int i = box->index();
            QCOMPARE(spoken(box),
                     tab == 5
                         ? factor(9 + i / 9) + " × " + factor(i % 9)
                         : t.find<QLabel>(box->objectName().replace("AnswerTextBox", "Question"))
                               ->text()
                               .trimmed());
        }
        QTest::mouseClick(page->findChildren<QPushButton *>(QRegularExpression("RetryCommand$"))[0],
                          Qt::LeftButton);
    }
}

void TestAccess::numberPad() {
    Pupil t;
    // Shown from the menu with the mouse, beside the pages and inside the screen.
    QMenuBar *bar = t.window->menuBar();
    QMenu *view = t.find<QMenu>("mnuView");
    QVERIFY2(view, "no menu to show the number pad");
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(view->menuAction()).center());
    QTest::mouseClick(view, Qt::LeftButton, {},
                      view->actionGeometry(t.find<QAction>("mnuViewNumberPad")).center());
    QWidget *pad = t.find<QWidget>("QuorinNumberPad");
    QVERIFY(pad && pad->isVisible() &&
            !pad->geometry().intersects(t.window->tabStrip()->geometry()));
    QVERIFY(t.window->screen()->availableGeometry().contains(t.window->frameGeometry()));
    const auto key = [&](const QString &name) {
        QPushButton *button = t.find<QPushButton>("QuorinNumberPad" + name);
        QVERIFY(button->width() >= 48 && button->height() >= 48 &&
                button->focusPolicy() == Qt::NoFocus);
        QTest::mouseClick(button, Qt::LeftButton);
    };
    const auto type = [&](int number) {
        for (QChar digit : QString::number(number))
            key("Key_" + QString(digit));
    };
    type(5); // nobody answers on the sign-in page
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
        }
        type(page->expectedAnswer(i));
        key("Enter");
    }
    QCOMPARE(spoken(page->scoreLabel()), "100点です");
    QCOMPARE(spoken(page->resultLabel(0)), "せいかい");
    QCOMPARE(spoken(page->streakLabel()), streakMessage(1, 1, "たろう", 1));
    const QString scale = "-x" + qEnvironmentVariable("QT_SCALE_FACTOR", "1");
    snapshot(t.window.get(), "pad-level" + scale);
    QTest::mouseClick(t.find<QPushButton>("QuorinNoviceQuizFinCommand"), Qt::LeftButton);
    t.clickTab(5);
    type(t.state.ChallengeAnswerKey[0]);
    snapshot(t.window.get(), "pad-challenge" + scale);
    // The next start shows the pad again.
    t.window->close();
    Pupil again;
    QVERIFY(again.find<QWidget>("QuorinNumberPad")->isVisible());
}

QTEST_MAIN(TestAccess)
#include "tst_access.moc"
