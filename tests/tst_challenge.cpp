// The challenge tab: dealing a sheet, moving between the boxes, marking, the run of full
// marks, the clock and the full-mark animation, driven through the real widgets.

#include "records/cp932.h"
#include "records/roster.h"
#include "testsupport.h"
#include "ui/main/answerbox.h"
#include "ui/main/challengepage.h"
#include "ui/main/geometry.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <set>

namespace {

int focusedBox() {
    auto *box = qobject_cast<AnswerBox *>(QApplication::focusWidget());
    return box ? box->index() : -1;
}

QString colours(QWidget *w) {
    return w->palette().color(QPalette::Base).name() + w->palette().color(QPalette::Text).name();
}

// The main window with the challenge tab at hand.
struct Sheet : TestMain {
    using TestMain::TestMain;
    ChallengePage *page() const { return window->challengePage(); }
    AnswerBox *box(int i) const { return page()->answerBox(i); }
    int key(int i) const { return state.ChallengeAnswerKey[i]; }
    bool marked() const { return state.ChallengeFirstAttempt != True; }
    QString score() const { return page()->scoreLabel()->text(); }
    void tick() const { page()->QuorinChallengeTimer_Timer(); }
    void step() const { page()->QuorinChallengeQuizTimer_Timer(); }
    void retry() const { page()->QuorinChallengeQuizRetryCommand_Click(); }
    void press(int i, Qt::Key k = Qt::Key_Return) const {
        box(i)->setFocus();
        QTest::keyClick(box(i), k, k == Qt::Key_Shift ? Qt::ShiftModifier : Qt::NoModifier);
    }

    // Signs a pupil in, shows the window and selects the challenge tab.
    bool enter() {
        typeText(window->nameCombo()->lineEdit(), QStringLiteral("たろう"));
        QTest::mouseClick(find<QPushButton>(QStringLiteral("QuorinIniFinCommand")), Qt::LeftButton);
        window->show();
        QApplication::setActiveWindow(window.get());
        if (!QTest::qWaitForWindowActive(window.get()))
            return false;
        window->tabStrip()->setCurrentIndex(5);
        return window->tabStrip()->currentIndex() == 5;
    }
    // Fills every box with its product; `empty` stays empty, `wrong` gets a wrong number.
    void fill(int empty = -1, int wrong = -1) const {
        for (int i = 0; i < ChallengePage::kBoxCount; ++i)
            box(i)->setText(i == empty ? QString() : QString::number(key(i) + (i == wrong)));
    }
    // The nine header numbers from `first` on; 0 for a hidden one or one without its space.
    QList<int> headerNumbers(int first) const {
        QList<int> numbers;
        for (int n = first; n < first + 9; ++n)
            numbers << (page()->header(n)->isVisible() ? page()->header(n)->text().mid(1).toInt()
                                                       : 0);
        return numbers;
    }
    // One character per header: '*' lit, '.' in the menu-bar colour, '?' anything else.
    QString headerColours() const {
        QString out;
        for (int i = 0; i < 18; ++i) {
            const QColor c = page()->header(i)->palette().color(QPalette::Window);
            out += c == Colours::FocusBackground ? '*' : c == Colours::menuBar() ? '.' : '?';
        }
        return out;
    }
    // headerColours() while box b has the focus: its column and row headers lit.
    static QString lit(int b) {
        QString s(18, QLatin1Char('.'));
        s[b % 9] = s[9 + b / 9] = QLatin1Char('*');
        return s;
    }
};

} // namespace

class TestChallenge : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void dealtSheetAndTabOrder();
    void keys_data();
    void keys();
    void marking_data();
    void marking();
    void animation();
};

void TestChallenge::dealtSheetAndTabOrder() {
    Sheet t;
    QVERIFY(t.enter());
    snapshot(t.window.get(), QStringLiteral("challenge-dealt"));
    QCOMPARE(t.page()->timeLabel()->text(), QString()); // blanked on entering the tab
    for (int i = 0; i < 41; ++i)
        t.box(i)->setText(QString::number(t.key(i)));
    t.box(40)->setFocus();
    QCOMPARE(t.headerColours(), QStringLiteral("....*........*...."));
    snapshot(t.window.get(), QStringLiteral("challenge-half-filled"));
    // The clock stops at its limit instead of wrapping.
    t.state.ChallengeElapsedSeconds = 32766;
    t.tick();
    t.tick();
    QCOMPARE(t.page()->timeLabel()->text(), QStringLiteral(" 546分 7秒"));
    QVERIFY(!t.page()->clockTimer()->isActive());
    t.retry();
    std::set<QList<int>> sheets;
    for (int deal = 0; deal < 5; ++deal) {
        const QList<int> columns = t.headerNumbers(0), rows = t.headerNumbers(9);
        for (QList<int> line : {columns, rows}) {
            std::sort(line.begin(), line.end());
            QCOMPARE(line, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
        }
        // Every box expects the product of its headers, so the sheet holds each fact once.
        for (int i = 0; i < 81; ++i) {
            QCOMPARE(t.key(i), rows[i / 9] * columns[i % 9]);
            QVERIFY(t.box(i)->isVisible() && t.box(i)->text().isEmpty());
        }
        QCOMPARE(focusedBox(), 0);
        QCOMPARE(t.headerColours(), Sheet::lit(0));
        QVERIFY(!t.marked() && !t.page()->picture()->isVisible() &&
                t.page()->clockTimer()->isActive());
        QCOMPARE(int(t.state.ChallengeElapsedSeconds), 0);
        sheets.insert(columns + rows);
        // A full mark, then the next sheet dealt over it while box 80 has the focus.
        t.fill();
        t.tick();
        t.press(80);
        t.retry();
    }
    QVERIFY(sheets.size() > 1);
    // Tab walks the sheet column by column: 0, 9, 18 ... 72, 1, 10 ... 80.
    for (int n = 0; n < 81; ++n) {
        QCOMPARE(focusedBox(), 9 * (n % 9) + n / 9);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QVERIFY(!t.marked());
}

void TestChallenge::keys_data() {
    QTest::addColumn<int>("emptyBox");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("focus");
    QTest::newRow("Enter onto a filled box") << 50 << 3 << int(Qt::Key_Return) << 4;
    QTest::newRow("Enter in box 80") << 50 << 80 << int(Qt::Key_Return) << 80;
    QTest::newRow("a letter") << 80 << 20 << int(Qt::Key_A) << 21;
    QTest::newRow("Shift alone") << 7 << 30 << int(Qt::Key_Shift) << 31;
    QTest::newRow("Up") << 50 << 9 << int(Qt::Key_Up) << 8;
    QTest::newRow("Up in box 0") << 50 << 0 << int(Qt::Key_Up) << 0;
    // Editing keys and digits only edit the box.
    for (int k : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_3})
        QTest::addRow("key %x", k) << 50 << 12 << k << 12;
    // Filling the last empty box (emptyBox -1 - n) and pressing Enter marks at once.
    for (int last : {0, 40, 80})
        QTest::addRow("last empty box %d", last)
            << -1 - last << last << int(Qt::Key_Return) << last;
}

void TestChallenge::keys() {
    QFETCH(int, emptyBox);
    QFETCH(int, from);
    QFETCH(int, key);
    QFETCH(int, focus);
    Sheet t;
    QVERIFY(t.enter());
    const bool marks = emptyBox < 0;
    t.fill(marks ? from : emptyBox);
    if (marks)
        typeText(t.box(from), QString::number(t.key(from)));
    t.press(from, Qt::Key(key));
    QCOMPARE(focusedBox(), focus);
    QCOMPARE(t.headerColours(), Sheet::lit(focus)); // the last box's headers are back to normal
    QCOMPARE(t.marked(), marks);
    QCOMPARE(t.score(), marks ? QStringLiteral("まん点です！") : QString());
}

void TestChallenge::marking_data() {
    QTest::addColumn<int>("wrong");
    QTest::addColumn<int>("runBefore");
    QTest::addColumn<int>("bestBefore");
    QTest::addColumn<int>("seconds"); // on the clock before its last tick
    // The result, picture shown, run/best run, clock running and its caption.
    QTest::addColumn<QString>("result");
    QTest::newRow("first full mark at 9 s")
        << -1 << 0 << 0 << 8 << QStringLiteral("まん点です！ 1 1/1 0 9秒");
    QTest::newRow("beats the best at 59 s")
        << -1 << 4 << 4 << 58 << QStringLiteral("まん点です！ 1 5/5 0 59秒");
    QTest::newRow("below the best at 60 s")
        << -1 << 1 << 6 << 59 << QStringLiteral("まん点です！ 1 2/6 0 1分 0秒");
    QTest::newRow("one wrong box at 65 s")
        << 40 << 3 << 3 << 64 << QStringLiteral("残念！ 0 0/3 0 1分 5秒");
}

void TestChallenge::marking() {
    QFETCH(int, wrong);
    QFETCH(int, runBefore);
    QFETCH(int, bestBefore);
    QFETCH(int, seconds);
    QFETCH(QString, result);
    const auto roster = [](int best) {
        return *encodeCp932(rosterHeaderLine() +
                            QStringLiteral("\r\nはなこ;1;2;3;4\r\nたろう;3;0;1;%1\r\n").arg(best));
    };
    Sheet t(false);
    QVERIFY(writeBytes(t.state.rosterPath(), roster(bestBefore)));
    t.window->Form_Load();
    QVERIFY(t.enter());
    t.state.ChallengeCurrentStreak = qint16(runBefore);
    t.state.ChallengeElapsedSeconds = qint16(seconds);
    t.tick();
    t.fill(-1, wrong);
    t.press(5);
    // The clock stopped on the time it showed; the roster holds the best run.
    const auto outcome = [&t] {
        return QString::asprintf("%s %d %d/%d %d", qUtf8Printable(t.score()),
                                 t.page()->picture()->isVisible(), t.state.ChallengeCurrentStreak,
                                 t.state.ChallengeBestStreak, t.page()->clockTimer()->isActive()) +
               t.page()->timeLabel()->text();
    };
    const QString white = Colours::White.name() + Colours::Black.name();
    for (int i = 0; i < 81; ++i)
        QCOMPARE(colours(t.box(i)),
                 i == wrong ? Colours::WrongPink.name() + Colours::Red.name() : white);
    QCOMPARE(outcome(), result);
    QCOMPARE(readBytes(t.state.rosterPath()), roster(t.state.ChallengeBestStreak));
    if (wrong >= 0)
        snapshot(t.window.get(), QStringLiteral("challenge-wrong"));

    // Corrected and marked again: only the colours change.
    t.fill();
    t.press(qMax(wrong, 0));
    for (int i = 0; i < 81; ++i)
        QCOMPARE(colours(t.box(i)), white);
    QCOMPARE(outcome(), result);
}

void TestChallenge::animation() {
    Sheet t;
    QVERIFY(t.enter());
    t.step(); // nothing to show before the first full mark
    QVERIFY(t.page()->picture()->pixmap().isNull());
    for (int sheet = 0; sheet < 2; ++sheet) {
        t.fill();
        t.press(80);
        QList<int> shown;
        while (t.page()->animationTimer()->isActive() && shown.size() < 30) {
            t.step();
            shown << t.page()->shownImagePosition();
            QCOMPARE(t.page()->picture()->pixmap().toImage(),
                     t.page()->animationImages().value(shown.last() - 1).toImage());
            if (shown.size() == 1)
                snapshot(t.window.get(), QStringLiteral("challenge-full-mark"));
        }
        // A second full mark plays the whole sequence again.
        QCOMPARE(shown, (QList<int>{1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6, 1}));
        QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinChallengeQuizRetryCommand")),
                          Qt::LeftButton);
    }
}

QTEST_MAIN(TestChallenge)
#include "tst_challenge.moc"
