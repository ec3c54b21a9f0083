// The challenge tab: dealing a sheet, moving between the boxes, marking, the run of full
// marks, the clock and the full-mark animation, driven through the real widgets.

#include "core/challengeclock.h"
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

void signIn(TestMain &t, const QString &name) {
    QLineEdit *edit = t.window->nameCombo()->lineEdit();
    edit->clear();
    typeText(edit, name);
    QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand")), Qt::LeftButton);
}

// Signs a pupil in, shows the window and selects the challenge tab.
bool enterChallenge(TestMain &t, const QString &name = QStringLiteral("たろう")) {
    signIn(t, name);
    t.window->show();
    QApplication::setActiveWindow(t.window.get());
    if (!QTest::qWaitForWindowActive(t.window.get()))
        return false;
    t.window->tabStrip()->setCurrentIndex(5);
    return t.window->tabStrip()->currentIndex() == 5;
}

ChallengePage *page(TestMain &t) {
    return t.window->challengePage();
}

// Fills every box with its expected product; `empty` is left empty, `wrong` gets a wrong
// number.
void fill(TestMain &t, int empty = -1, int wrong = -1) {
    for (int i = 0; i < ChallengePage::kBoxCount; ++i) {
        AnswerBox *box = page(t)->answerBox(i);
        if (i == empty)
            box->clear();
        else
            box->setText(QString::number(t.state.ChallengeAnswerKey[i] + (i == wrong ? 1 : 0)));
    }
}

int focusedBox() {
    auto *box = qobject_cast<AnswerBox *>(QApplication::focusWidget());
    return box ? box->index() : -1;
}

QColor background(QWidget *w) {
    return w->palette().color(QPalette::Base);
}
QColor labelBackground(QWidget *w) {
    return w->palette().color(QPalette::Window);
}
QColor textColour(QWidget *w) {
    return w->palette().color(QPalette::Text);
}

void pressEnter(TestMain &t, int box) {
    page(t)->answerBox(box)->setFocus();
    QTest::keyClick(page(t)->answerBox(box), Qt::Key_Return);
}

QList<int> headerNumbers(TestMain &t, int first) {
    QList<int> numbers;
    for (int n = 0; n < 9; ++n)
        numbers << page(t)->header(first + n)->text().mid(1).toInt();
    return numbers;
}

} // namespace

class TestChallenge : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }

    void dealtSheet();
    void layoutFitsThePage();
    void actionKeys_data();
    void actionKeys();
    void lastEmptyBoxMarks_data();
    void lastEmptyBoxMarks();
    void tabGoesColumnByColumn();
    void fullMark_data();
    void fullMark();
    void fullMarkSavesRoster();
    void wrongBoxThenCorrected();
    void clockCaptions_data();
    void clockCaptions();
    void animation();
    void focusHighlightsHeaders_data();
    void focusHighlightsHeaders();
    void snapshots();
};

void TestChallenge::dealtSheet() {
    TestMain t;
    QVERIFY(enterChallenge(t));
    QList<QList<int>> sheets;
    for (int deal = 0; deal < 10; ++deal) {
        if (deal > 0)
            QTest::mouseClick(
                t.find<QPushButton>(QStringLiteral("QuorinChallengeQuizRetryCommand")),
                Qt::LeftButton);
        const QList<int> columns = headerNumbers(t, 0);
        const QList<int> rows = headerNumbers(t, 9);
        for (const QList<int> &line : {columns, rows}) {
            QList<int> sorted = line;
            std::sort(sorted.begin(), sorted.end());
            QCOMPARE(sorted, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
        }
        for (int i = 0; i < 18; ++i) {
            QLabel *label = page(t)->header(i);
            QVERIFY(label->isVisible());
            QCOMPARE(label->text(),
                     QLatin1Char(' ') + QString::number((i < 9 ? columns[i] : rows[i - 9])));
            QVERIFY(label->alignment() & Qt::AlignHCenter);
        }
        // The last pass leaves the row header numbers in QuestionOrder.
        for (int n = 0; n < 9; ++n)
            QCOMPARE(int(t.state.QuestionOrder[n]), rows[n]);
        // Every box expects the product of its headers, so the sheet holds each fact once.
        std::set<std::pair<int, int>> facts;
        for (int i = 0; i < 81; ++i) {
            const int r = rows[i / 9], c = columns[i % 9];
            QCOMPARE(int(t.state.ChallengeAnswerKey[i]), r * c);
            facts.insert({r, c});
            AnswerBox *box = page(t)->answerBox(i);
            QVERIFY(box->isVisible());
            QVERIFY(box->text().isEmpty());
            if (i > 0)
                QCOMPARE(background(box), Colours::White);
        }
        QCOMPARE(int(facts.size()), 81);
        QCOMPARE(focusedBox(), 0);
        QCOMPARE(int(t.state.ChallengeFirstAttempt), int(True));
        QCOMPARE(int(t.state.ChallengeElapsedSeconds), 0);
        QVERIFY(page(t)->clockTimer()->isActive());
        QVERIFY(!page(t)->picture()->isVisible());
        sheets << columns + rows;
    }
    // The headers are dealt afresh every time, the columns and rows independently.
    QVERIFY(std::set<QList<int>>(sheets.begin(), sheets.end()).size() > 1);
    int sameLines = 0;
    for (const QList<int> &sheet : sheets)
        sameLines += sheet.mid(0, 9) == sheet.mid(9, 9);
    QVERIFY(sameLines < sheets.size());
}

void TestChallenge::layoutFitsThePage() {
    TestMain t;
    QVERIFY(enterChallenge(t));
    QWidget *tabPage = page(t)->parentWidget();
    const QRect area = tabPage->rect();
    QList<QWidget *> widgets = page(t)->findChildren<QWidget *>();
    QVERIFY(widgets.size() > 100);
    for (QWidget *w : widgets) {
        if (!w->isVisible())
            continue;
        const QRect r(w->mapTo(tabPage, QPoint(0, 0)), w->size());
        QVERIFY2(area.contains(r), qPrintable(w->objectName()));
    }
    // The result label lies inside its frame, clear of the buttons.
    QWidget *frame = t.find<QWidget>(QStringLiteral("QuorinChallengeQuizFrame"));
    QVERIFY(frame->rect().contains(page(t)->scoreLabel()->geometry()));
    const QRect score(page(t)->scoreLabel()->mapTo(page(t), QPoint(0, 0)),
                      page(t)->scoreLabel()->size());
    for (const char *name : {"QuorinChallengeQuizBestScoreCommand",
                             "QuorinChallengeQuizRetryCommand", "QuorinChallengeQuizFinCommand"})
        QVERIFY(!score.intersects(t.find<QPushButton>(QString::fromLatin1(name))->geometry()));
}

void TestChallenge::actionKeys_data() {
    QTest::addColumn<int>("emptyBox");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");
    QTest::newRow("Enter onto a filled box") << 50 << 3 << int(Qt::Key_Return) << 4;
    QTest::newRow("Enter in the empty box") << 50 << 50 << int(Qt::Key_Return) << 51;
    QTest::newRow("Enter in box 80") << 50 << 80 << int(Qt::Key_Return) << 80;
    QTest::newRow("Down") << 0 << 17 << int(Qt::Key_Down) << 18;
    QTest::newRow("a letter") << 80 << 20 << int(Qt::Key_A) << 21;
    QTest::newRow("Shift alone") << 7 << 30 << int(Qt::Key_Shift) << 31;
    QTest::newRow("Up") << 50 << 9 << int(Qt::Key_Up) << 8;
    QTest::newRow("Up in box 0") << 50 << 0 << int(Qt::Key_Up) << 0;
    QTest::newRow("Left") << 50 << 12 << int(Qt::Key_Left) << 12;
    QTest::newRow("Right") << 50 << 12 << int(Qt::Key_Right) << 12;
    QTest::newRow("Backspace") << 50 << 12 << int(Qt::Key_Backspace) << 12;
    QTest::newRow("Delete") << 50 << 12 << int(Qt::Key_Delete) << 12;
    QTest::newRow("digit") << 50 << 12 << int(Qt::Key_3) << 12;
}

void TestChallenge::actionKeys() {
    QFETCH(int, emptyBox);
    QFETCH(int, from);
    QFETCH(int, key);
    QFETCH(int, expected);
    TestMain t;
    QVERIFY(enterChallenge(t));
    fill(t, emptyBox);
    AnswerBox *box = page(t)->answerBox(from);
    box->setFocus();
    QTest::keyClick(box, Qt::Key(key), key == Qt::Key_Shift ? Qt::ShiftModifier : Qt::NoModifier);
    QCOMPARE(focusedBox(), expected);
    // With a box still empty nothing is marked.
    QCOMPARE(int(t.state.ChallengeFirstAttempt), int(True));
    QVERIFY(page(t)->clockTimer()->isActive());
    QVERIFY(page(t)->scoreLabel()->text().isEmpty());
}

void TestChallenge::lastEmptyBoxMarks_data() {
    QTest::addColumn<int>("lastEmpty");
    QTest::newRow("box 0") << 0;
    QTest::newRow("box 40") << 40;
    QTest::newRow("box 80") << 80;
}

void TestChallenge::lastEmptyBoxMarks() {
    QFETCH(int, lastEmpty);
    TestMain t;
    QVERIFY(enterChallenge(t));
    fill(t, lastEmpty);
    AnswerBox *box = page(t)->answerBox(lastEmpty);
    box->setFocus();
    typeText(box, QString::number(t.state.ChallengeAnswerKey[lastEmpty]));
    QCOMPARE(focusedBox(), lastEmpty); // typing never moves on
    QCOMPARE(int(t.state.ChallengeFirstAttempt), int(True));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(int(t.state.ChallengeFirstAttempt), int(False));
    QCOMPARE(page(t)->scoreLabel()->text(), QStringLiteral("まん点です！"));
    QCOMPARE(focusedBox(), lastEmpty);
}

void TestChallenge::tabGoesColumnByColumn() {
    TestMain t;
    QVERIFY(enterChallenge(t));
    QCOMPARE(focusedBox(), 0);
    QList<int> order{0};
    for (int n = 1; n < 81; ++n) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << focusedBox();
    }
    QList<int> expected;
    for (int column = 0; column < 9; ++column)
        for (int row = 0; row < 9; ++row)
            expected << 9 * row + column;
    QCOMPARE(order, expected);
    // Tab never marks or fills anything.
    QCOMPARE(int(t.state.ChallengeFirstAttempt), int(True));
}

void TestChallenge::fullMark_data() {
    QTest::addColumn<int>("currentBefore");
    QTest::addColumn<int>("bestBefore");
    QTest::addColumn<int>("currentAfter");
    QTest::addColumn<int>("bestAfter");
    QTest::addColumn<QString>("cellAfter");
    QTest::newRow("first full mark") << 0 << 0 << 1 << 1 << QStringLiteral("1");
    QTest::newRow("beats the best") << 4 << 4 << 5 << 5 << QStringLiteral("5");
    QTest::newRow("below the best") << 1 << 6 << 2 << 6 << QStringLiteral("6");
}

void TestChallenge::fullMark() {
    QFETCH(int, currentBefore);
    QFETCH(int, bestBefore);
    QFETCH(int, currentAfter);
    QFETCH(int, bestAfter);
    QFETCH(QString, cellAfter);
    TestMain t;
    QVERIFY(enterChallenge(t));
    const int row = t.state.CurrentPupilRow;
    t.state.ChallengeCurrentStreak = qint16(currentBefore);
    t.state.ChallengeBestStreak = qint16(bestBefore);
    t.state.RosterTable[row][4] = QString::number(bestBefore);
    fill(t);
    pressEnter(t, 12);

    QCOMPARE(page(t)->scoreLabel()->text(), QStringLiteral("まん点です！"));
    QVERIFY(page(t)->scoreLabel()->isVisible());
    QVERIFY(page(t)->picture()->isVisible());
    QVERIFY(!page(t)->clockTimer()->isActive());
    QVERIFY(page(t)->animationTimer()->isActive());
    QCOMPARE(int(t.state.ChallengeAnimationFrames), 6);
    QCOMPARE(int(t.state.ChallengeAnimationTick), 0);
    QCOMPARE(int(t.state.ChallengeFirstAttempt), int(False));
    QCOMPARE(int(t.state.ChallengeCurrentStreak), currentAfter);
    QCOMPARE(int(t.state.ChallengeBestStreak), bestAfter);
    QCOMPARE(t.state.RosterTable[row][4], cellAfter);
    for (int i = 0; i < 81; ++i) {
        QCOMPARE(background(page(t)->answerBox(i)), Colours::White);
        QCOMPARE(textColour(page(t)->answerBox(i)), Colours::Black);
    }

    // A new sheet keeps the result on view, hides the picture and lets the animation run on.
    QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinChallengeQuizRetryCommand")),
                      Qt::LeftButton);
    QCOMPARE(page(t)->scoreLabel()->text(), QStringLiteral("まん点です！"));
    QVERIFY(!page(t)->picture()->isVisible());
    QVERIFY(page(t)->animationTimer()->isActive());
    QVERIFY(page(t)->clockTimer()->isActive());
    QCOMPARE(int(t.state.ChallengeCurrentStreak), currentAfter);
}

void TestChallenge::fullMarkSavesRoster() {
    TestMain t(false);
    const QByteArray before = *encodeCp932(
        rosterHeaderLine() + QStringLiteral("\r\nはなこ;1;2;3;4\r\nたろう;3;0;1;0\r\n"));
    QVERIFY(writeBytes(t.state.rosterPath(), before));
    t.window->Form_Load();
    QVERIFY(enterChallenge(t, QStringLiteral("たろう")));
    QCOMPARE(int(t.state.CurrentPupilRow), 2);
    fill(t);
    pressEnter(t, 0);
    QCOMPARE(int(t.state.ChallengeBestStreak), 1);
    QCOMPARE(readBytes(t.state.rosterPath()),
             *encodeCp932(rosterHeaderLine() +
                          QStringLiteral("\r\nはなこ;1;2;3;4\r\nたろう;3;0;1;1\r\n")));
}

void TestChallenge::wrongBoxThenCorrected() {
    TestMain t;
    QVERIFY(enterChallenge(t));
    t.state.ChallengeCurrentStreak = 3;
    t.state.ChallengeBestStreak = 3;
    page(t)->QuorinChallengeTimer_Timer();
    page(t)->QuorinChallengeTimer_Timer();
    fill(t, -1, 40);
    pressEnter(t, 5);

    QCOMPARE(page(t)->scoreLabel()->text(), QStringLiteral("残念！"));
    QVERIFY(page(t)->scoreLabel()->isVisible());
    QVERIFY(!page(t)->picture()->isVisible());
    QCOMPARE(background(page(t)->answerBox(40)), Colours::WrongPink);
    QCOMPARE(textColour(page(t)->answerBox(40)), Colours::Red);
    for (int i : {0, 5, 39, 41, 80}) {
        QCOMPARE(background(page(t)->answerBox(i)), Colours::White);
        QCOMPARE(textColour(page(t)->answerBox(i)), Colours::Black);
    }
    QCOMPARE(int(t.state.ChallengeCurrentStreak), 0);
    QCOMPARE(int(t.state.ChallengeBestStreak), 3);
    QCOMPARE(int(t.state.ChallengeFirstAttempt), int(False));
    // The clock stopped on the time it showed.
    QVERIFY(!page(t)->clockTimer()->isActive());
    QCOMPARE(page(t)->timeLabel()->text(), QStringLiteral(" 2秒"));

    // Corrected and marked again: colours only.
    AnswerBox *box = page(t)->answerBox(40);
    box->setFocus();
    box->clear();
    typeText(box, QString::number(t.state.ChallengeAnswerKey[40]));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(background(box), Colours::White);
    QCOMPARE(textColour(box), Colours::Black);
    QCOMPARE(page(t)->scoreLabel()->text(), QStringLiteral("残念！"));
    QCOMPARE(int(t.state.ChallengeCurrentStreak), 0);
    QCOMPARE(int(t.state.ChallengeBestStreak), 3);
    QVERIFY(!page(t)->picture()->isVisible());
    QVERIFY(!page(t)->clockTimer()->isActive());
    QCOMPARE(int(t.state.ChallengeAnimationFrames), 0);
}

void TestChallenge::clockCaptions_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("running");
    QTest::newRow("9 s") << 8 << QStringLiteral(" 9秒") << true;
    QTest::newRow("59 s") << 58 << QStringLiteral(" 59秒") << true;
    QTest::newRow("60 s") << 59 << QStringLiteral(" 1分 0秒") << true;
    QTest::newRow("65 s") << 64 << QStringLiteral(" 1分 5秒") << true;
    QTest::newRow("an hour") << 3599 << QStringLiteral(" 60分 0秒") << true;
    QTest::newRow("the last second") << 32766 << QStringLiteral(" 546分 7秒") << false;
    QTest::newRow("no wrap beyond") << 32767 << QStringLiteral(" 546分 7秒") << false;
}

void TestChallenge::clockCaptions() {
    QFETCH(int, before);
    QFETCH(QString, caption);
    QFETCH(bool, running);
    TestMain t;
    QVERIFY(enterChallenge(t));
    QCOMPARE(page(t)->timeLabel()->text(), QString()); // blanked on entering the tab
    t.state.ChallengeElapsedSeconds = qint16(before);
    page(t)->QuorinChallengeTimer_Timer();
    QCOMPARE(page(t)->timeLabel()->text(), caption);
    QCOMPARE(page(t)->clockTimer()->isActive(), running);
    QCOMPARE(int(t.state.ChallengeElapsedSeconds), qMin(before + 1, 32767));
    QCOMPARE(ClockCaption(qMin(before + 1, 32767)), caption);
}

void TestChallenge::animation() {
    TestMain t;
    QVERIFY(enterChallenge(t));
    // Before the first full mark a step does nothing.
    page(t)->QuorinChallengeQuizTimer_Timer();
    QCOMPARE(page(t)->shownImagePosition(), 0);
    QVERIFY(page(t)->picture()->pixmap().isNull());

    const QList<QPixmap> &images = page(t)->animationImages();
    QCOMPARE(images.size(), 6);
    for (const QPixmap &image : images)
        QCOMPARE(image.size(), QSize(128, 128));

    fill(t);
    pressEnter(t, 80);
    QList<int> shown;
    while (page(t)->animationTimer()->isActive() && shown.size() < 30) {
        page(t)->QuorinChallengeQuizTimer_Timer();
        shown << page(t)->shownImagePosition();
        QCOMPARE(page(t)->picture()->pixmap().toImage(), images[shown.last() - 1].toImage());
    }
    QCOMPARE(shown, (QList<int>{1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6, 1}));
    QVERIFY(page(t)->picture()->isVisible());

    // Dealing hides the picture without stopping a playing animation; a new full mark
    // starts it again from the first picture.
    fill(t);
    QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinChallengeQuizRetryCommand")),
                      Qt::LeftButton);
    fill(t);
    pressEnter(t, 0);
    for (int n = 0; n < 4; ++n)
        page(t)->QuorinChallengeQuizTimer_Timer();
    QCOMPARE(page(t)->shownImagePosition(), 4);
    QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinChallengeQuizRetryCommand")),
                      Qt::LeftButton);
    QVERIFY(!page(t)->picture()->isVisible());
    QVERIFY(page(t)->animationTimer()->isActive());
    page(t)->QuorinChallengeQuizTimer_Timer();
    QCOMPARE(page(t)->shownImagePosition(), 5);
    fill(t);
    pressEnter(t, 0);
    page(t)->QuorinChallengeQuizTimer_Timer();
    QCOMPARE(page(t)->shownImagePosition(), 1);
    QVERIFY(page(t)->picture()->isVisible());
}

void TestChallenge::focusHighlightsHeaders_data() {
    QTest::addColumn<int>("box");
    QTest::addColumn<int>("rowHeader");
    QTest::addColumn<int>("columnHeader");
    QTest::newRow("box 40") << 40 << 13 << 4;
    QTest::newRow("box 9") << 9 << 10 << 0;
    QTest::newRow("box 80") << 80 << 17 << 8;
}

void TestChallenge::focusHighlightsHeaders() {
    QFETCH(int, box);
    QFETCH(int, rowHeader);
    QFETCH(int, columnHeader);
    TestMain t;
    QVERIFY(enterChallenge(t));
    page(t)->answerBox(box)->setFocus();
    for (int i = 0; i < 18; ++i) {
        const bool lit = i == rowHeader || i == columnHeader;
        QCOMPARE(labelBackground(page(t)->header(i)),
                 lit ? Colours::FocusBackground : Colours::menuBar());
    }
    QCOMPARE(background(page(t)->answerBox(box)), Colours::FocusBackground);
    QCOMPARE(textColour(page(t)->answerBox(box)), Colours::FocusText);
    // Leaving the box for a button restores both headers.
    t.find<QPushButton>(QStringLiteral("QuorinChallengeQuizRetryCommand"))->setFocus();
    QCOMPARE(labelBackground(page(t)->header(rowHeader)), Colours::menuBar());
    QCOMPARE(labelBackground(page(t)->header(columnHeader)), Colours::menuBar());
    QCOMPARE(background(page(t)->answerBox(box)), Colours::White);

    // Dealing while the box has the focus leaves only box 0's headers lit.
    page(t)->answerBox(box)->setFocus();
    page(t)->QuorinChallengeQuizRetryCommand_Click();
    QCOMPARE(focusedBox(), 0);
    for (int i = 0; i < 18; ++i)
        QCOMPARE(labelBackground(page(t)->header(i)),
                 i == 0 || i == 9 ? Colours::FocusBackground : Colours::menuBar());
}

void TestChallenge::snapshots() {
    TestMain t;
    QVERIFY(enterChallenge(t));
    page(t)->QuorinChallengeTimer_Timer();
    snapshot(t.window.get(), QStringLiteral("challenge-dealt"));

    for (int i = 0; i < 41; ++i)
        page(t)->answerBox(i)->setText(QString::number(t.state.ChallengeAnswerKey[i]));
    page(t)->answerBox(40)->setFocus();
    t.state.ChallengeElapsedSeconds = 64;
    page(t)->QuorinChallengeTimer_Timer();
    snapshot(t.window.get(), QStringLiteral("challenge-half-filled"));

    fill(t, -1, 22);
    pressEnter(t, 60);
    snapshot(t.window.get(), QStringLiteral("challenge-wrong"));

    QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinChallengeQuizRetryCommand")),
                      Qt::LeftButton);
    fill(t);
    pressEnter(t, 80);
    page(t)->QuorinChallengeQuizTimer_Timer();
    snapshot(t.window.get(), QStringLiteral("challenge-full-mark"));
    for (int n = 0; n < 3; ++n)
        page(t)->QuorinChallengeQuizTimer_Timer();
    snapshot(page(t)->picture(), QStringLiteral("challenge-picture-4"));
    QCOMPARE(page(t)->scoreLabel()->text(), QStringLiteral("まん点です！"));
}

QTEST_MAIN(TestChallenge)
#include "tst_challenge.moc"
