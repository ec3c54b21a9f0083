// Answering without a keyboard and with a screen reader: what the accessibility interfaces
// report for the pages, a tap on the row choice, and the number pad driven by clicks alone.

#include "records/streakrecord.h"
#include "testsupport.h"
#include "ui/main/answerbox.h"
#include "ui/main/challengepage.h"
#include "ui/main/levelpage.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>

static QString spoken(QObject *o) {
    return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name);
}

struct Pupil : ShownMain {
    // Signs in and clicks a tab; then each tab's accessible state says whether it can be chosen.
    void enter(int tab) {
        signIn("たろう");
        clickTab(tab);
        QTabBar *bar = window->tabStrip()->tabBar();
        QCOMPARE(QAccessible::queryAccessibleInterface(bar)->childCount(), 6);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(QAccessible::queryAccessibleInterface(bar)->child(i)->state().disabled,
                     quint64(i != tab));
    }
};

class TestAccess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void cleanup() { QSettings(applicationTitle()).remove("Settings/NumberPad"); }
    void numberPad();
};

void TestAccess::numberPad() {
    Pupil t;
    // Shown from the menu with the keys a teacher uses, beside the pages and inside the screen.
    t.menu(Qt::Key_V, Qt::Key_N);
    QWidget *pad = t.find<QWidget>("QuorinNumberPad");
    QVERIFY(pad && pad->isVisible() &&
            !pad->geometry().intersects(t.window->tabStrip()->geometry()));
    QVERIFY(t.window->screen()->availableGeometry().contains(t.window->frameGeometry()));
    for (QWidget *key : pad->findChildren<QWidget *>())
        QVERIFY(key->width() >= 48 && key->height() >= 48 && !key->isEnabled()); // no box waits
    const auto top = [&](int digit) {
        return t.find<QWidget>("QuorinNumberPadKey_" + QString::number(digit))->y();
    };
    QVERIFY(top(1) == top(3) && top(3) < top(4)); // 1 2 3 along the top
    // Clicks on the pad's keys: digits, C the clear key, E the confirming key.
    const auto press = [&](const QString &keys) {
        for (const QChar k : keys) {
            const QString name = k == 'C' ? "Clear" : k == 'E' ? "Enter" : "Key_" + QString(k);
            QTest::mouseClick(t.find<QWidget>("QuorinNumberPad" + name), Qt::LeftButton);
        }
    };
    t.enter(2);
    LevelPage *page = t.window->levelPage(Activity::Novice);
    for (int i = 0; i < LevelPage::kQuestions; ++i) {
        AnswerBox *box = page->answerBox(i);
        QCOMPARE(QApplication::focusWidget(), box);
        if (i == 3) { // as from the keyboard: a third digit, then 0 alone, leave the box empty
            press("1230");
            QCOMPARE(box->text(), QString());
            press("64");
            QTest::keyClick(box, Qt::Key_Left);
            press("C"); // empties the box wherever the caret is
            QCOMPARE(box->text(), QString());
        }
        press(QString::number(page->expectedAnswer(i)) + "E");
    }
    QCOMPARE(spoken(page->scoreLabel()), "100点です");
    QCOMPARE(spoken(page->resultLabel(0)), "せいかい");
    QCOMPARE(spoken(page->streakLabel()), streakMessage(1, 1, "たろう", 1));
    snapshot(t.window.get(), "pad-level-x" + qEnvironmentVariable("QT_SCALE_FACTOR", "1"));
    t.window->close();
    QVERIFY(Pupil().find<QAction>("mnuViewNumberPad")->isChecked()); // shown at the next start
}

QTEST_MAIN(TestAccess)
#include "tst_access.moc"
