// The three quiz levels: a fresh set, the key contract in the boxes, grading, the run of full
// marks with its roster and record files, and leaving the level.

#include "records/cp932.h"
#include "testsupport.h"
#include "ui/dialogs/quorinscoredialog.h"
#include "ui/main/answerbox.h"
#include "ui/main/levelpage.h"
#include "ui/main/messagelabel.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

namespace {

const QString kPupil = QStringLiteral("たろう");
const char *const kLevelNames[3] = {"Novice", "Intermediate", "Expert"};

QStringList cp932FileLines(const QString &path) {
    return decodeCp932(readBytes(path)).value_or(QString()).split(QStringLiteral("\r\n"));
}

// A main window on a fresh data folder with an empty record file, shown and active, a new
// pupil signed in and the level's tab entered.
struct LevelRun {
    TestMain t;
    Activity activity;
    LevelPage *page;

    explicit LevelRun(int level) : activity(Activity(level)), page(t.window->levelPage(activity)) {
        writeBytes(t.state.streakPath(),
                   encodeCp932(QStringLiteral("氏名;得点\r\n;0\r\n;0\r\n;0\r\n;0\r\n")).value());
        t.window->show();
        QApplication::setActiveWindow(t.window.get());
        QVERIFY(QTest::qWaitForWindowActive(t.window.get()));
        QLineEdit *name = t.window->nameCombo()->lineEdit();
        name->setFocus();
        typeText(name, kPupil);
        QTest::keyClick(name, Qt::Key_Return);
        const bool focusStayed = QApplication::focusWidget() == t.window->nameCombo();
        t.window->tabStrip()->setCurrentIndex(level + 2);
        // Sign-in deals a set on every level in the background; none of them takes the focus.
        QVERIFY(focusStayed);
    }

    ActivityFields fields() { return activityFields(t.state, activity); }
    AnswerBox *box(int i) const { return page->answerBox(i); }
    QString score() const { return page->scoreLabel()->text(); }
    QString &rosterCell() {
        return t.state.RosterTable[t.state.CurrentPupilRow][static_cast<int>(activity) + 1];
    }
    template <typename T = QPushButton> T *control(const QString &role) const {
        return t.find<T>(QStringLiteral("Quorin") +
                         QLatin1String(kLevelNames[static_cast<int>(activity)]) + role);
    }

    void click(const char *role) {
        QTest::mouseClick(control(QLatin1String(role)), Qt::LeftButton);
    }

    // Types the answer into box i, one more than the product when `wrong`.
    void answer(int i, bool wrong = false) {
        box(i)->clear();
        QTest::keyClicks(box(i), QString::number(page->expectedAnswer(i) + (wrong ? 1 : 0)));
    }

    // Types every answer; the boxes in `wrong` get a wrong one, the box `skip` stays empty.
    void answerAll(const QList<int> &wrong = {}, int skip = -1) {
        for (int i = 0; i < LevelPage::kQuestions; ++i)
            if (i != skip)
                answer(i, wrong.contains(i));
    }

    // An action key in box `from` with every box filled: the set is graded.
    void grade(int from = 0) {
        box(from)->setFocus();
        QTest::keyClick(box(from), Qt::Key_Return);
    }

    // A new set: boxes empty, no marks or score, the focus in box 0, the next grading first.
    void verifyFresh() {
        for (int i = 0; i < LevelPage::kQuestions; ++i)
            QVERIFY(page->questionLabel(i)->isVisible() && box(i)->text().isEmpty() &&
                    !page->resultLabel(i)->isVisible());
        QVERIFY(!page->scoreLabel()->isVisible());
        QCOMPARE(QApplication::focusWidget(), box(0));
        QCOMPARE(fields().FirstAttempt, True);
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

    void keyContract_data() {
        QTest::addColumn<bool>("allFilled");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("key"); // with the modifiers
        QTest::addColumn<int>("to");
        QTest::addColumn<bool>("graded");
        const auto row = [](const char *name, bool filled, int from, QKeyCombination key, int to,
                            bool graded) {
            QTest::newRow(name) << filled << from << key.toCombined() << to << graded;
        };
        const auto pad = Qt::KeypadModifier;
        // With box 12 empty: action keys move on, Up moves back, editing keys and digits stay.
        row("Enter 9 to 10", false, 9, Qt::Key_Return, 10, false);
        row("Enter in the last box", false, 19, Qt::Key_Return, 19, false);
        row("keypad Enter", false, 4, pad | Qt::Key_Enter, 5, false);
        row("lone Shift", false, 4, Qt::Key_Shift, 5, false);
        row("Up", false, 10, Qt::Key_Up, 9, false);
        row("Up in box 0", false, 0, Qt::Key_Up, 0, false);
        row("Left", false, 4, Qt::Key_Left, 4, false);
        row("Right", false, 4, Qt::Key_Right, 4, false);
        row("Backspace", false, 4, Qt::Key_Backspace, 4, false);
        row("Delete", false, 4, Qt::Key_Delete, 4, false);
        row("keypad digit", false, 4, pad | Qt::Key_7, 4, false);
        // With every box filled any action key but Up grades, and the focus stays.
        row("filled: lone Shift", true, 7, Qt::Key_Shift, 7, true);
        row("filled: letter in the last box", true, 19, Qt::Key_Q, 19, true);
        row("filled: Up moves", true, 7, Qt::Key_Up, 6, false);
        row("filled: digit", true, 7, Qt::Key_1, 7, false);
    }

    void keyContract() {
        QFETCH(bool, allFilled);
        QFETCH(int, from);
        QFETCH(int, key);
        QFETCH(int, to);
        QFETCH(bool, graded);
        LevelRun run{0};
        run.answerAll({}, allFilled ? -1 : 12);
        run.box(from)->setFocus();
        const auto combination = QKeyCombination::fromCombined(key);
        QTest::keyClick(run.box(from), combination.key(), combination.keyboardModifiers());
        QCOMPARE(QApplication::focusWidget(), run.box(to));
        QCOMPARE(run.page->scoreLabel()->isVisible(), graded);
    }

    // A level from entering to leaving: the fresh set, then the run of full marks through
    // several sets (only a first grading counts), then Fin.
    void levelFromStartToFin_data() { addLevelRows(); }
    void levelFromStartToFin() {
        QFETCH(int, level);
        LevelRun run{level};
        for (int i = 0; i < LevelPage::kQuestions; ++i)
            QCOMPARE(run.control<AnswerBox>(QStringLiteral("AnswerTextBox_%1").arg(i))
                         ->property("index"),
                     i);
        run.verifyFresh();
        // Novice keeps its buttons inside the frame, the other levels beside it.
        auto *frame = run.control<QWidget>(QStringLiteral("QuizFrame"));
        const std::pair<const char *, QString> buttons[] = {
            {"QuizBestScoreCommand", QStringLiteral("100点　発表")},
            {"QuizRetryCommand", QStringLiteral("もう一度")},
            {"QuizFinCommand", QStringLiteral("レベル%1　終了").arg(level + 1)}};
        for (const auto &[role, caption] : buttons) {
            QPushButton *button = run.control(QLatin1String(role));
            QVERIFY(button && button->isVisible());
            QCOMPARE(button->text(), caption);
            QCOMPARE(button->parentWidget() == frame, level == 0);
        }

        run.answerAll();
        run.grade();
        QCOMPARE(run.score(), QStringLiteral(" 100点です"));
        QCOMPARE(run.fields().CurrentStreak, qint16(1));
        // The roster is saved with the new best run; the class record goes to the record file.
        QCOMPARE(cp932FileLines(run.t.state.rosterPath()).value(1),
                 kPupil +
                     QStringLiteral(";%1;%2;%3;0").arg(level == 0).arg(level == 1).arg(level == 2));
        QCOMPARE(cp932FileLines(run.t.state.streakPath()).value(level + 1), kPupil + "; 1");
        QCOMPARE(run.page->streakLabel()->text(),
                 QStringLiteral("ただいま連続 1 回正解中です。　あなたの最高記録は 1 回です。"
                                "　　　　最高連続正解回数は、 たろう さんの 1 回です。"));

        // A wrong answer put in afterwards and graded again neither breaks nor extends the run.
        run.answer(4, true);
        run.grade(15);
        QCOMPARE(run.score(), QStringLiteral(" 95点です"));
        QCOMPARE(run.fields().CurrentStreak, qint16(1));
        // The longest message form with a long holder name still fits legibly.
        run.page->streakLabel()->setText(
            QStringLiteral("ただいま連続 12 回正解中です。　あなたの最高記録は 15 回です。"
                           "　　　　最高連続正解回数は、 やまだ　はなこ さんの 123 回です。"));
        QVERIFY(qobject_cast<MessageLabel *>(run.page->streakLabel())->fittedPointSize() >= 10.0);
        snapshot(run.t.window.get(), QStringLiteral("level%1-graded").arg(level + 1));

        // "もう一度" before grading leaves the run; the next set's full marks raise it.
        run.click("QuizRetryCommand");
        run.answerAll({1, 2});
        run.click("QuizRetryCommand");
        run.verifyFresh();
        QCOMPARE(run.fields().CurrentStreak, qint16(1));
        run.answerAll();
        run.grade();
        QCOMPARE(run.fields().CurrentStreak, qint16(2));
        QCOMPARE(run.rosterCell(), QStringLiteral("2"));

        // 19 right ends the run; trailing characters after the digits do not spoil an answer.
        run.click("QuizRetryCommand");
        run.answerAll({11});
        run.box(5)->setText(run.box(5)->text() + QStringLiteral("a"));
        run.grade();
        QCOMPARE(run.score(), QStringLiteral(" 95点です"));
        QCOMPARE(run.page->resultLabel(11)->text(), QStringLiteral("×"));
        QCOMPARE(run.page->resultLabel(5)->text(), QStringLiteral("◎"));
        QCOMPARE(run.page->resultLabel(11)->palette().color(QPalette::WindowText), QColor(Qt::red));
        QCOMPARE(run.page->scoreLabel()->palette().color(QPalette::WindowText), QColor(Qt::red));
        QCOMPARE(run.fields().CurrentStreak, qint16(0));
        // Corrected and graded again: full marks shown, the run stays broken, the best kept.
        run.answer(11);
        QTest::keyClick(run.box(11), Qt::Key_Return);
        QCOMPARE(run.score(), QStringLiteral(" 100点です"));
        QCOMPARE(run.fields().CurrentStreak, qint16(0));
        QCOMPARE(run.fields().BestStreak, qint16(2));
        QCOMPARE(run.rosterCell(), QStringLiteral("2"));

        run.click("QuizBestScoreCommand");
        QuorinScoreDialog *list = run.t.window->scoreDialog();
        QVERIFY(list && list->isVisible() && !list->parentWidget());
        QCOMPARE(list->heading()->text(), QStringLiteral("100点　発表！"));
        // Fin goes back to the sign-in page, taking the focus along.
        QApplication::setActiveWindow(run.t.window.get());
        run.click("QuizFinCommand");
        QVERIFY(!qobject_cast<AnswerBox *>(QApplication::focusWidget()));
    }
};

QTEST_MAIN(TestLevels)
#include "tst_levels.moc"
