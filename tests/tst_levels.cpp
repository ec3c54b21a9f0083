// The three quiz levels: a fresh set, the key contract in the boxes, grading, the run of full
// marks with its roster and record files, and leaving the level.

#include "records/cp932.h"
#include "records/roster.h"
#include "testsupport.h"
#include "ui/dialogs/quorinscoredialog.h"
#include "ui/main/answerbox.h"
#include "ui/main/levelpage.h"
#include "ui/main/messagelabel.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

namespace {

const QString kPupil = QStringLiteral("たろう");
const char *const kLevelNames[3] = {"Novice", "Intermediate", "Expert"};

QByteArray cp932Lines(const QStringList &lines) {
    return encodeCp932(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).value();
}

QStringList cp932FileLines(const QString &path) {
    QString text = decodeCp932(readBytes(path)).value_or(QString());
    if (text.endsWith(QStringLiteral("\r\n")))
        text.chop(2);
    return text.split(QStringLiteral("\r\n"));
}

// A main window on a data folder holding a roster with one pupil and a fresh record file,
// shown and active, the pupil signed in and the level's tab entered.
struct LevelRun {
    TestMain t{false};
    Activity activity;
    LevelPage *page = nullptr;

    explicit LevelRun(Activity a) : activity(a) {
        writeBytes(t.state.rosterPath(), cp932Lines({rosterHeaderLine(), kPupil + ";0;0;0;0"}));
        writeBytes(t.state.streakPath(),
                   cp932Lines({QStringLiteral("氏名;得点"), QStringLiteral(";0"),
                               QStringLiteral(";0"), QStringLiteral(";0"), QStringLiteral(";0")}));
        t.window->Form_Load();
        t.window->show();
        QApplication::setActiveWindow(t.window.get());
        QVERIFY(QTest::qWaitForWindowActive(t.window.get()));
        QLineEdit *name = t.window->nameCombo()->lineEdit();
        name->clear();
        typeText(name, kPupil);
        QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand")),
                          Qt::LeftButton);
        page = t.window->levelPage(activity);
        t.window->tabStrip()->setCurrentIndex(static_cast<int>(activity) + 2);
    }

    ActivityFields fields() { return activityFields(t.state, activity); }
    AnswerBox *box(int i) const { return page->answerBox(i); }
    QString rosterCell() const {
        return t.state.RosterTable[t.state.CurrentPupilRow][static_cast<int>(activity) + 1];
    }

    // Types every answer; the boxes in `wrong` get a wrong one, the box `skip` stays empty.
    void answer(QList<int> wrong = {}, int skip = -1) {
        for (int i = 0; i < LevelPage::kQuestions; ++i) {
            if (i == skip)
                continue;
            const int product = page->expectedAnswer(i);
            box(i)->clear();
            QTest::keyClicks(box(i), QString::number(wrong.contains(i) ? product + 1 : product));
        }
    }
    // An action key in box 0 with every box filled: the set is graded.
    void grade() {
        box(0)->setFocus();
        QTest::keyClick(box(0), Qt::Key_Return);
    }
    int marks(const QString &mark) const {
        int n = 0;
        for (int i = 0; i < LevelPage::kQuestions; ++i)
            if (page->resultLabel(i)->isVisible() && page->resultLabel(i)->text() == mark)
                ++n;
        return n;
    }
    void retry() {
        QTest::mouseClick(
            t.find<QPushButton>(QStringLiteral("Quorin%1QuizRetryCommand")
                                    .arg(QLatin1String(kLevelNames[static_cast<int>(activity)]))),
            Qt::LeftButton);
    }
};

void addLevelRows() {
    QTest::addColumn<int>("level");
    for (int i = 0; i < 3; ++i)
        QTest::newRow(kLevelNames[i]) << i;
}

} // namespace

class TestLevels : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }

    void freshSet_data() { addLevelRows(); }
    void freshSet();
    void signInLeavesTheFocusOnTheSignInPage();
    void keyContract_data();
    void keyContract();
    void marksAndScore();
    void fullMarkRaisesRun_data() { addLevelRows(); }
    void fullMarkRaisesRun();
    void fullMarkSavesRosterFile_data() { addLevelRows(); }
    void fullMarkSavesRosterFile();
    void newClassRecordRewritesRecordFileAndMessage();
    void nineteenResetsRunAndRegradeChangesNothing();
    void regradeKeepsRun();
    void retryBeforeGradingLeavesRun();
    void finDealsFreshSetAndReturns();
    void bestScoreOpensTheList();
    void snapshots();
};

void TestLevels::freshSet() {
    QFETCH(int, level);
    LevelRun run{Activity(level)};
    const QString prefix = QStringLiteral("Quorin") + QLatin1String(kLevelNames[level]);
    QGroupBox *frame = run.t.find<QGroupBox>(prefix + QStringLiteral("QuizFrame"));
    QVERIFY(frame);
    for (int i = 0; i < LevelPage::kQuestions; ++i) {
        const QString n = QString::number(i);
        QLabel *question = run.t.find<QLabel>(prefix + QStringLiteral("Question_") + n);
        AnswerBox *box = run.t.find<AnswerBox>(prefix + QStringLiteral("AnswerTextBox_") + n);
        QLabel *result = run.t.find<QLabel>(prefix + QStringLiteral("Result_") + n);
        QVERIFY(question && box && result);
        QCOMPARE(box->property("index").toInt(), i);
        QVERIFY(question->isVisible() && box->isVisible());
        QVERIFY(!question->text().isEmpty());
        QVERIFY(box->text().isEmpty());
        QVERIFY(!result->isVisible());
        // Two columns of ten, side by side.
        QCOMPARE(box->y(), run.box(i % 10)->y());
        QVERIFY(box->x() > question->x());
    }
    QVERIFY(run.box(10)->x() > run.box(0)->x());
    QVERIFY(!run.t.find<QLabel>(prefix + QStringLiteral("Score"))->isVisible());
    QCOMPARE(QApplication::focusWidget(), run.box(0));
    QCOMPARE(run.fields().FirstAttempt, True);
    QLabel *message = run.t.find<QLabel>(prefix + QStringLiteral("QuizScoreLabel"));
    QVERIFY(message && message->isVisible());
    QCOMPARE(message->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(message->geometry().bottom() < frame->geometry().top());
    // Novice keeps its buttons inside the frame, the other levels beside it.
    const QString captions[] = {QStringLiteral("100点　発表"), QStringLiteral("もう一度"),
                                QStringLiteral("レベル%1　終了").arg(level + 1)};
    const QString roles[] = {QStringLiteral("QuizBestScoreCommand"),
                             QStringLiteral("QuizRetryCommand"), QStringLiteral("QuizFinCommand")};
    for (int b = 0; b < 3; ++b) {
        QPushButton *button = run.t.find<QPushButton>(prefix + roles[b]);
        QVERIFY(button && button->isVisible());
        QCOMPARE(button->text(), captions[b]);
        QCOMPARE(button->parentWidget() == frame, level == 0);
    }
}

void TestLevels::signInLeavesTheFocusOnTheSignInPage() {
    // Sign-in deals a set on every level in the background; none of them takes the focus.
    TestMain t;
    t.window->show();
    QApplication::setActiveWindow(t.window.get());
    QVERIFY(QTest::qWaitForWindowActive(t.window.get()));
    QLineEdit *name = t.window->nameCombo()->lineEdit();
    name->setFocus();
    typeText(name, kPupil);
    QTest::keyClick(name, Qt::Key_Return);
    QVERIFY(t.window->isTabSelectable(2));
    QCOMPARE(QApplication::focusWidget(), t.window->nameCombo());
}

void TestLevels::keyContract_data() {
    QTest::addColumn<bool>("allFilled");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("graded");
    const int none = Qt::NoModifier;
    const int keypad = Qt::KeypadModifier;
    // With box 12 empty: action keys move on, Up moves back, editing keys and digits stay.
    QTest::newRow("Enter 9 to 10") << false << 9 << int(Qt::Key_Return) << none << 10 << false;
    QTest::newRow("Enter to a filled box")
        << false << 3 << int(Qt::Key_Return) << none << 4 << false;
    QTest::newRow("Enter in the empty box")
        << false << 12 << int(Qt::Key_Return) << none << 13 << false;
    QTest::newRow("Enter in the last box")
        << false << 19 << int(Qt::Key_Return) << none << 19 << false;
    QTest::newRow("keypad Enter") << false << 4 << int(Qt::Key_Enter) << keypad << 5 << false;
    QTest::newRow("Down") << false << 4 << int(Qt::Key_Down) << none << 5 << false;
    QTest::newRow("Space") << false << 4 << int(Qt::Key_Space) << none << 5 << false;
    QTest::newRow("letter") << false << 4 << int(Qt::Key_K) << none << 5 << false;
    QTest::newRow("minus") << false << 4 << int(Qt::Key_Minus) << none << 5 << false;
    QTest::newRow("F2") << false << 4 << int(Qt::Key_F2) << none << 5 << false;
    QTest::newRow("lone Shift") << false << 4 << int(Qt::Key_Shift) << int(Qt::ShiftModifier) << 5
                                << false;
    QTest::newRow("lone Ctrl") << false << 4 << int(Qt::Key_Control) << int(Qt::ControlModifier)
                               << 5 << false;
    QTest::newRow("Up") << false << 10 << int(Qt::Key_Up) << none << 9 << false;
    QTest::newRow("Up in box 0") << false << 0 << int(Qt::Key_Up) << none << 0 << false;
    QTest::newRow("Left") << false << 4 << int(Qt::Key_Left) << none << 4 << false;
    QTest::newRow("Right") << false << 4 << int(Qt::Key_Right) << none << 4 << false;
    QTest::newRow("Backspace") << false << 4 << int(Qt::Key_Backspace) << none << 4 << false;
    QTest::newRow("Delete") << false << 4 << int(Qt::Key_Delete) << none << 4 << false;
    QTest::newRow("digit") << false << 4 << int(Qt::Key_7) << none << 4 << false;
    QTest::newRow("keypad digit") << false << 4 << int(Qt::Key_7) << keypad << 4 << false;
    // With every box filled any action key but Up grades, and the focus stays.
    QTest::newRow("filled: Enter") << true << 7 << int(Qt::Key_Return) << none << 7 << true;
    QTest::newRow("filled: Enter in the last box")
        << true << 19 << int(Qt::Key_Return) << none << 19 << true;
    QTest::newRow("filled: lone Shift")
        << true << 7 << int(Qt::Key_Shift) << int(Qt::ShiftModifier) << 7 << true;
    QTest::newRow("filled: letter") << true << 7 << int(Qt::Key_Q) << none << 7 << true;
    QTest::newRow("filled: Up moves") << true << 7 << int(Qt::Key_Up) << none << 6 << false;
    QTest::newRow("filled: digit") << true << 7 << int(Qt::Key_1) << none << 7 << false;
}

void TestLevels::keyContract() {
    QFETCH(bool, allFilled);
    QFETCH(int, from);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, to);
    QFETCH(bool, graded);
    LevelRun run{Activity::Novice};
    run.answer({}, allFilled ? -1 : 12);
    run.box(from)->setFocus();
    QCOMPARE(QApplication::focusWidget(), run.box(from));
    QTest::keyClick(run.box(from), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(QApplication::focusWidget(), run.box(to));
    QCOMPARE(run.page->scoreLabel()->isVisible(), graded);
    QCOMPARE(run.marks(QStringLiteral("◎")), graded ? 20 : 0);
    QCOMPARE(run.fields().FirstAttempt, graded ? False : True);
}

void TestLevels::marksAndScore() {
    LevelRun run{Activity::Intermediate};
    run.answer({0, 9, 19});
    // Trailing characters after the digits do not spoil an answer.
    run.box(5)->setText(run.box(5)->text() + QStringLiteral("a"));
    const QString typed5 = run.box(5)->text();
    run.box(15)->setFocus();
    QTest::keyClick(run.box(15), Qt::Key_Return);
    QCOMPARE(run.page->scoreLabel()->text(), QStringLiteral(" 85点です"));
    QCOMPARE(run.page->scoreLabel()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(run.marks(QStringLiteral("◎")), 17);
    QCOMPARE(run.marks(QStringLiteral("×")), 3);
    for (int i : {0, 9, 19})
        QCOMPARE(run.page->resultLabel(i)->text(), QStringLiteral("×"));
    QCOMPARE(run.page->resultLabel(5)->text(), QStringLiteral("◎"));
    QCOMPARE(run.page->resultLabel(3)->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    // Grading leaves the answers as they were.
    QCOMPARE(run.box(5)->text(), typed5);
    QVERIFY(typed5.endsWith(QLatin1Char('a')));

    run.retry();
    QList<int> all;
    for (int i = 0; i < 20; ++i)
        all << i;
    run.answer(all);
    run.grade();
    QCOMPARE(run.page->scoreLabel()->text(), QStringLiteral(" 0点です"));
    QCOMPARE(run.marks(QStringLiteral("×")), 20);
}

void TestLevels::fullMarkRaisesRun() {
    QFETCH(int, level);
    LevelRun run{Activity(level)};
    run.answer();
    run.grade();
    QCOMPARE(run.page->scoreLabel()->text(), QStringLiteral(" 100点です"));
    QCOMPARE(run.fields().CurrentStreak, qint16(1));
    QCOMPARE(run.fields().BestStreak, qint16(1));
    QCOMPARE(run.rosterCell(), QStringLiteral("1"));
    QCOMPARE(run.fields().FirstAttempt, False);
    run.retry();
    run.answer();
    run.grade();
    QCOMPARE(run.fields().CurrentStreak, qint16(2));
    QCOMPARE(run.rosterCell(), QStringLiteral("2"));
    // The other levels' runs are untouched.
    for (Activity other : {Activity::Novice, Activity::Intermediate, Activity::Expert})
        if (other != run.activity)
            QCOMPARE(activityFields(run.t.state, other).CurrentStreak, qint16(0));
}

void TestLevels::fullMarkSavesRosterFile() {
    QFETCH(int, level);
    LevelRun run{Activity(level)};
    run.answer();
    run.grade();
    QStringList cells = {kPupil, QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                         QStringLiteral("0")};
    cells[level + 1] = QStringLiteral("1");
    const QStringList lines = cp932FileLines(run.t.state.rosterPath());
    QCOMPARE(lines.value(0), rosterHeaderLine());
    QCOMPARE(lines.value(1), cells.join(QLatin1Char(';')));
}

void TestLevels::newClassRecordRewritesRecordFileAndMessage() {
    LevelRun run{Activity::Novice};
    run.answer();
    run.grade();
    QCOMPARE(cp932FileLines(run.t.state.streakPath()),
             (QStringList{QStringLiteral("氏名;得点"), kPupil + QStringLiteral("; 1"),
                          QStringLiteral(";0"), QStringLiteral(";0"), QStringLiteral(";0")}));
    QCOMPARE(run.page->streakLabel()->text(),
             QStringLiteral("ただいま連続 1 回正解中です。　あなたの最高記録は 1 回です。"
                            "　　　　最高連続正解回数は、 たろう さんの 1 回です。"));
}

void TestLevels::nineteenResetsRunAndRegradeChangesNothing() {
    LevelRun run{Activity::Novice};
    run.fields().CurrentStreak = 3;
    run.fields().BestStreak = 3;
    run.t.state.RosterTable[run.t.state.CurrentPupilRow][1] = QStringLiteral("3");
    run.answer({11});
    run.grade();
    QCOMPARE(run.page->scoreLabel()->text(), QStringLiteral(" 95点です"));
    QCOMPARE(run.fields().CurrentStreak, qint16(0));
    QCOMPARE(run.fields().BestStreak, qint16(3));
    // The pupil corrects the answer and grades again: full marks shown, the run stays broken.
    run.box(11)->clear();
    QTest::keyClicks(run.box(11), QString::number(run.page->expectedAnswer(11)));
    QTest::keyClick(run.box(11), Qt::Key_Return);
    QCOMPARE(run.page->scoreLabel()->text(), QStringLiteral(" 100点です"));
    QCOMPARE(run.marks(QStringLiteral("◎")), 20);
    QCOMPARE(run.fields().CurrentStreak, qint16(0));
    QCOMPARE(run.fields().BestStreak, qint16(3));
    QCOMPARE(run.rosterCell(), QStringLiteral("3"));
}

void TestLevels::regradeKeepsRun() {
    LevelRun run{Activity::Expert};
    run.answer();
    run.grade();
    QCOMPARE(run.fields().CurrentStreak, qint16(1));
    // A wrong answer put in afterwards and graded again neither breaks nor extends the run.
    run.box(4)->clear();
    QTest::keyClicks(run.box(4), QString::number(run.page->expectedAnswer(4) + 1));
    run.grade();
    QCOMPARE(run.page->scoreLabel()->text(), QStringLiteral(" 95点です"));
    QCOMPARE(run.fields().CurrentStreak, qint16(1));
    QCOMPARE(run.fields().BestStreak, qint16(1));
    QCOMPARE(run.rosterCell(), QStringLiteral("1"));
}

void TestLevels::retryBeforeGradingLeavesRun() {
    LevelRun run{Activity::Intermediate};
    run.fields().CurrentStreak = 2;
    run.fields().BestStreak = 4;
    run.answer({1, 2, 3});
    run.retry();
    QCOMPARE(run.fields().CurrentStreak, qint16(2));
    QCOMPARE(run.fields().FirstAttempt, True);
    for (int i = 0; i < LevelPage::kQuestions; ++i) {
        QVERIFY(run.box(i)->text().isEmpty());
        QVERIFY(!run.page->resultLabel(i)->isVisible());
    }
    QVERIFY(!run.page->scoreLabel()->isVisible());
    QCOMPARE(QApplication::focusWidget(), run.box(0));
    run.answer();
    run.grade();
    QCOMPARE(run.fields().CurrentStreak, qint16(3));
    QCOMPARE(run.fields().BestStreak, qint16(4));
}

void TestLevels::finDealsFreshSetAndReturns() {
    LevelRun run{Activity::Intermediate};
    run.answer();
    run.grade();
    QTest::mouseClick(run.t.find<QPushButton>(QStringLiteral("QuorinIntermediateQuizFinCommand")),
                      Qt::LeftButton);
    QCOMPARE(run.t.window->tabStrip()->currentIndex(), 0);
    for (int tab = 0; tab < 6; ++tab)
        QVERIFY(run.t.window->isTabSelectable(tab));
    // The focus is back on the sign-in page, not on a box of the level left behind.
    QVERIFY(!qobject_cast<AnswerBox *>(QApplication::focusWidget()));
    run.t.window->tabStrip()->setCurrentIndex(3);
    QVERIFY(!run.page->scoreLabel()->isVisible());
    QCOMPARE(run.marks(QStringLiteral("◎")), 0);
    QVERIFY(run.box(0)->text().isEmpty());
    QCOMPARE(QApplication::focusWidget(), run.box(0));
    QCOMPARE(run.fields().CurrentStreak, qint16(1));
}

void TestLevels::bestScoreOpensTheList() {
    LevelRun run{Activity::Expert};
    QTest::mouseClick(run.t.find<QPushButton>(QStringLiteral("QuorinExpertQuizBestScoreCommand")),
                      Qt::LeftButton);
    QuorinScoreDialog *list = run.t.window->scoreDialog();
    QVERIFY(list && list->isVisible());
    QVERIFY(!list->parentWidget());
    QCOMPARE(list->heading()->text(), QStringLiteral("100点　発表！"));
}

void TestLevels::snapshots() {
    // Each level after a graded set, with the longest message form and a long holder name.
    for (int level = 0; level < 3; ++level) {
        LevelRun run{Activity(level)};
        snapshot(run.t.window.get(), QStringLiteral("level%1-fresh").arg(level + 1));
        run.answer({2, 13});
        run.grade();
        run.page->streakLabel()->setText(
            QStringLiteral("ただいま連続 12 回正解中です。　あなたの最高記録は 15 回です。"
                           "　　　　最高連続正解回数は、 やまだ　はなこ さんの 123 回です。"));
        auto *message = qobject_cast<MessageLabel *>(run.page->streakLabel());
        QVERIFY(message);
        QVERIFY(message->fittedPointSize() >= 10.0);
        snapshot(run.t.window.get(), QStringLiteral("level%1-graded").arg(level + 1));
    }
}

QTEST_MAIN(TestLevels)
#include "tst_levels.moc"
