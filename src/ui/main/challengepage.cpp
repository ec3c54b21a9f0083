#include "ui/main/challengepage.h"

#include "classroom/classroom.h"
#include "core/challengeclock.h"
#include "core/keys.h"
#include "core/numericvalue.h"
#include "core/shuffle.h"
#include "ui/main/accessibility.h"
#include "ui/main/answerbox.h"
#include "ui/main/geometry.h"
#include "ui/main/keptnotice.h"
#include "ui/main/messagelabel.h"
#include "ui/main/navigation.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int kAnimationImages = 6;
constexpr qint16 kClockLimit = 32767;

// Sheet geometry inside the frame, in twips.
constexpr int kCellWidth = 735;
constexpr int kCellHeight = 495;
constexpr int kColumnLeft = 1680;
constexpr int kColumnStep = 840;
constexpr int kHeaderTop = 360;
constexpr int kRowHeaderLeft = 840;
constexpr int kRowTop = 960;
constexpr int kRowStep = 600;

// A header's number as the level pages write factors, full-width ("７").
QString spokenFactor(const QLabel *header) {
    return QString(QChar(0xFF10 + numericValueInt16(header->text())));
}

} // namespace

ChallengePage::ChallengePage(Classroom &classroom, Navigation &navigation, QWidget *parent)
    : QWidget(parent), m_classroom(classroom), m_navigation(navigation) {
    // The streak message above the frame, across its full width, at the same place and size
    // as on the level tabs; raised above the frame once that exists.
    m_streakLabel = new MessageLabel(this);
    nameControl(m_streakLabel, QStringLiteral("QuorinChallengeQuizScoreLabel"));
    placeOnTabPage(m_streakLabel, 120, 720, 12135, 615);

    m_frame = new QGroupBox(this);
    nameControl(m_frame, QStringLiteral("QuorinChallengeQuizFrame"));
    // As tall as the level frames, so the result label at the bottom of the sheet fits; the
    // buttons stand on the page over the frame's lower right corner.
    placeOnTabPage(m_frame, 120, 1200, 12135, 7335);
    m_streakLabel->raise();

    const QColor headerBackground = Colours::menuBar();
    for (int i = 0; i < kHeaderCount; ++i) {
        auto *label = new QLabel(QString::number(i % kRows + 1), m_frame);
        nameArrayControl(label, QStringLiteral("QuorinChallengeQuestion"), i);
        label->setFont(designFont(24, true));
        setBackgroundColour(label, headerBackground);
        if (i < kRows)
            placeInTwips(label, kColumnLeft + kColumnStep * i, kHeaderTop, kCellWidth, kCellHeight);
        else
            placeInTwips(label, kRowHeaderLeft, kRowTop + kRowStep * (i - kRows), kCellWidth,
                         kCellHeight);
        m_headers.append(label);
    }

    for (int i = 0; i < kBoxCount; ++i) {
        auto *box = new AnswerBox(QStringLiteral("QuorinChallengeAnswerTextBox"), i, m_frame);
        placeInTwips(box, kColumnLeft + kColumnStep * (i % kRows), kRowTop + kRowStep * (i / kRows),
                     kCellWidth, kCellHeight);
        connect(box, &AnswerBox::keyDown, this,
                &ChallengePage::QuorinChallengeAnswerTextBox_KeyDown);
        connect(box, &AnswerBox::gotFocus, this,
                &ChallengePage::QuorinChallengeAnswerTextBox_GotFocus);
        connect(box, &AnswerBox::lostFocus, this,
                &ChallengePage::QuorinChallengeAnswerTextBox_LostFocus);
        m_boxes.append(box);
    }

    m_timeLabel = new QLabel(QStringLiteral("00分00秒"), m_frame);
    nameControl(m_timeLabel, QStringLiteral("QuorinChallengeTimeLable"));
    placeInTwips(m_timeLabel, 9600, 360, 2295, 495);
    m_timeLabel->setFont(designFont(24, true, true));
    setTextColour(m_timeLabel, Colours::ClockGreen);

    m_score = new QLabel(m_frame);
    nameControl(m_score, QStringLiteral("QuorinChallengeScore"));
    placeInTwips(m_score, 360, 6480, 3975, 615);
    m_score->setFont(designFont(24));
    setTextColour(m_score, Colours::Red);
    m_score->setAccessibleDescription(QStringLiteral("けっか"));

    // Tall enough for a whole 128 x 128 picture.
    m_picture = new QLabel(m_frame);
    nameControl(m_picture, QStringLiteral("QuorinChallengeQuizPicture"));
    placeInTwips(m_picture, 9720, 2880, 1935, 1935);
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setAccessibleName(QStringLiteral("まん点のおいわい"));

    // On a screen at scale 2 the pictures drawn at twice the size keep them sharp.
    const bool sharp = devicePixelRatioF() > 1.0;
    for (int n = 1; n <= kAnimationImages; ++n) {
        QPixmap image = pngPixmap(QStringLiteral(":/animation/frame%1%2.png")
                                      .arg(n)
                                      .arg(sharp ? QStringLiteral("@2x") : QString()));
        image.setDevicePixelRatio(sharp ? 2.0 : 1.0);
        m_images.append(image);
    }

    // Both timers run from the start; the animation step does nothing before a full mark.
    m_clockTimer = new QTimer(m_frame);
    nameControl(m_clockTimer, QStringLiteral("QuorinChallengeTimer"));
    m_clockTimer->setInterval(1000);
    connect(m_clockTimer, &QTimer::timeout, this, &ChallengePage::QuorinChallengeTimer_Timer);
    m_clockTimer->start();
    m_animationTimer = new QTimer(m_frame);
    nameControl(m_animationTimer, QStringLiteral("QuorinChallengeQuizTimer"));
    m_animationTimer->setInterval(200);
    connect(m_animationTimer, &QTimer::timeout, this,
            &ChallengePage::QuorinChallengeQuizTimer_Timer);
    m_animationTimer->start();

    m_bestScore = new QPushButton(QStringLiteral("合格　発表"), this);
    nameControl(m_bestScore, QStringLiteral("QuorinChallengeQuizBestScoreCommand"));
    placeOnTabPage(m_bestScore, 5280, 7920, 2055, 375);
    m_retry = new QPushButton(QStringLiteral("もう一度"), this);
    nameControl(m_retry, QStringLiteral("QuorinChallengeQuizRetryCommand"));
    placeOnTabPage(m_retry, 7560, 7920, 1695, 375);
    m_fin = new QPushButton(QStringLiteral("チャレンジ　終了"), this);
    nameControl(m_fin, QStringLiteral("QuorinChallengeQuizFinCommand"));
    placeOnTabPage(m_fin, 9480, 7920, 2415, 375);
    for (QPushButton *b : {m_bestScore, m_retry, m_fin})
        b->raise();

    // Tab walks the sheet column by column: 0, 9, 18 ... 72, 1, 10 ... 80, then the buttons.
    QWidget *previous = nullptr;
    for (int column = 0; column < kRows; ++column)
        for (int row = 0; row < kRows; ++row) {
            QWidget *box = m_boxes[kRows * row + column];
            if (previous)
                QWidget::setTabOrder(previous, box);
            previous = box;
        }
    QWidget::setTabOrder(previous, m_bestScore);
    QWidget::setTabOrder(m_bestScore, m_retry);
    QWidget::setTabOrder(m_retry, m_fin);

    addKeptAnswersNotice(m_classroom, this, QStringLiteral("QuorinChallengeKeptAnswersLabel"));

    connect(m_retry, &QPushButton::clicked, this,
            &ChallengePage::QuorinChallengeQuizRetryCommand_Click);
    connect(m_fin, &QPushButton::clicked, this,
            &ChallengePage::QuorinChallengeQuizFinCommand_Click);
    connect(m_bestScore, &QPushButton::clicked, this,
            &ChallengePage::QuorinChallengeQuizBestScoreCommand_Click);
}

// ---- Dealing ------------------------------------------------------------------------------

void ChallengePage::ResetChallengeQuiz() {
    // A box that is hidden while it has the focus would pass the focus on along the tab
    // chain, box after box; let it go once instead (its colours and headers return to normal).
    QWidget *focus = QApplication::focusWidget();
    if (focus && m_frame->isAncestorOf(focus))
        focus->clearFocus();
    hideAll(m_headers);
    emptyAndHide(m_boxes);
    m_picture->setVisible(false);
}

void ChallengePage::dealHeaders(int firstLabel) {
    ApplicationState &s = m_classroom.state();
    Shuffle(s, kRows, m_classroom.random());
    for (int n = 0; n < kRows; ++n) {
        // The header numbers are the dealt positions counted from 1.
        s.QuestionOrder[n] = static_cast<qint16>(s.QuestionOrder[n] + 1);
        QLabel *label = m_headers[firstLabel + n];
        label->setText(QLatin1Char(' ') + QString::number(s.QuestionOrder[n]));
        label->setAlignment(Qt::AlignCenter);
    }
}

void ChallengePage::leaveSet() {
    // The answers typed into a sheet that was never marked are logged as they stand.
    ApplicationState &s = m_classroom.state();
    if (s.ChallengeFirstAttempt != True)
        return;
    s.ChallengeFirstAttempt = False;
    QList<FactAnswer> answers;
    for (int i = 0; i < kBoxCount; ++i)
        if (m_boxes[i]->isVisibleTo(this) && !m_boxes[i]->text().isEmpty())
            answers.append(m_boxes[i]->withFirstAnswer(
                {numericValueInt16(m_headers[kRows + i / kRows]->text()),
                 numericValueInt16(m_headers[i % kRows]->text()),
                 m_boxes[i]->value() == double(s.ChallengeAnswerKey[i])}));
    m_classroom.recordUnfinishedSet(LoggedActivity::Challenge, answers, m_dealtFor);
}

void ChallengePage::QuorinChallengeQuizRetryCommand_Click() {
    ApplicationState &s = m_classroom.state();
    leaveSet();
    ResetChallengeQuiz();
    m_frame->setEnabled(true);
    // The clock starts again from 0; its caption changes at the next tick.
    s.ChallengeElapsedSeconds = 0;
    m_clockTimer->start();
    s.ChallengeFirstAttempt = True;

    m_classroom.random().reseedFromClock();
    dealHeaders(0);     // column headers
    dealHeaders(kRows); // row headers

    for (int r = 0; r < kRows; ++r) {
        const int rowNumber = numericValueInt16(m_headers[kRows + r]->text());
        for (int c = 0; c < kRows; ++c)
            s.ChallengeAnswerKey[kRows * r + c] =
                static_cast<qint16>(rowNumber * numericValueInt16(m_headers[c]->text()));
    }

    for (QLabel *label : std::as_const(m_headers))
        label->setVisible(true);
    // Only the background is reset: the boxes are empty, and a box gets its text colour
    // from the focus colours before anything is typed into it.
    for (AnswerBox *box : std::as_const(m_boxes)) {
        setBackgroundColour(box, Colours::White);
        // Said by a screen reader: the row's number times the column's, as the headers show.
        box->setQuestion(spokenFactor(m_headers[kRows + box->index() / kRows]) +
                         QStringLiteral(" × ") + spokenFactor(m_headers[box->index() % kRows]));
        box->setAccessibleDescription(QString());
        box->setVisible(true);
    }
    // The focus goes to box 0 only while the challenge tab is the one shown: a sheet dealt in
    // the background (at sign-in) must not pull the focus away from the sign-in page.
    if (m_boxes[0]->isVisibleTo(window()))
        m_boxes[0]->setFocus(Qt::OtherFocusReason);
    m_dealtFor = m_classroom.pupilName();
    Q_EMIT retried();
}

void ChallengePage::QuorinChallengeQuizFinCommand_Click() {
    QuorinChallengeQuizRetryCommand_Click();
    m_navigation.ReturnToSignIn();
}

void ChallengePage::QuorinChallengeQuizBestScoreCommand_Click() {
    m_navigation.ShowScoreDialog();
}

// ---- Keys and focus -----------------------------------------------------------------------

void ChallengePage::QuorinChallengeAnswerTextBox_KeyDown(int index, qint16 keyCode) {
    if (index < 0 || index >= kBoxCount)
        return;
    // Editing keys and digits only edit the box.
    if (isEditingKey(keyCode))
        return;
    if (quizActionKeyGrades(m_boxes, index, keyCode))
        markSheet();
}

void ChallengePage::QuorinChallengeAnswerTextBox_GotFocus(int index) {
    if (index < 0 || index >= kBoxCount)
        return;
    setBackgroundColour(m_headers[index / kRows + kRows], Colours::FocusBackground);
    setBackgroundColour(m_headers[index % kRows], Colours::FocusBackground);
}

void ChallengePage::QuorinChallengeAnswerTextBox_LostFocus(int index) {
    if (index < 0 || index >= kBoxCount)
        return;
    const QColor normal = Colours::menuBar();
    setBackgroundColour(m_headers[index / kRows + kRows], normal);
    setBackgroundColour(m_headers[index % kRows], normal);
}

// ---- Marking ------------------------------------------------------------------------------

void ChallengePage::markSheet() {
    ApplicationState &s = m_classroom.state();
    m_clockTimer->stop();

    int correct = 0;
    QList<FactAnswer> answers;
    for (int i = 0; i < kBoxCount; ++i) {
        AnswerBox *box = m_boxes[i];
        const bool right = box->value() == double(s.ChallengeAnswerKey[i]);
        // The row's header times the column's, as the answer key has it.
        answers.append(
            box->withFirstAnswer({numericValueInt16(m_headers[kRows + i / kRows]->text()),
                                  numericValueInt16(m_headers[i % kRows]->text()), right}));
        if (right) {
            setBackgroundColour(box, Colours::White);
            setTextColour(box, Colours::Black);
            box->setAccessibleDescription(QStringLiteral("せいかい"));
            ++correct;
        } else {
            setBackgroundColour(box, Colours::WrongPink);
            setTextColour(box, Colours::Red);
            box->setAccessibleDescription(QStringLiteral("まちがい"));
        }
    }

    // Only the first marking of a sheet decides the result and the run of full marks.
    if (s.ChallengeFirstAttempt == True) {
        if (correct == kBoxCount) {
            m_score->setText(QStringLiteral("まん点です！"));
            m_picture->setVisible(true);
            s.ChallengeAnimationFrames = static_cast<qint16>(m_images.size());
            s.ChallengeAnimationTick = 0;
            m_animationTimer->start();
        } else {
            m_score->setText(QStringLiteral("残念！"));
        }
    }
    // The run step (on the first marking only), the end of the first attempt, the record.
    m_classroom.grade(Activity::Challenge, correct, answers);
    m_score->setVisible(true);
    announce(m_score, m_score->text());
}

// ---- Timers -------------------------------------------------------------------------------

void ChallengePage::QuorinChallengeTimer_Timer() {
    ApplicationState &s = m_classroom.state();
    // The count stops at its 16-bit limit (just over nine hours) instead of wrapping.
    s.ChallengeElapsedSeconds = saturatingIncrement(s.ChallengeElapsedSeconds);
    if (s.ChallengeElapsedSeconds >= kClockLimit)
        m_clockTimer->stop();
    m_timeLabel->setText(ClockCaption(s.ChallengeElapsedSeconds));
}

void ChallengePage::QuorinChallengeQuizTimer_Timer() {
    ApplicationState &s = m_classroom.state();
    const int frames = qMin<int>(s.ChallengeAnimationFrames, m_images.size());
    if (frames < 1)
        return;
    const int tick = qMax<int>(s.ChallengeAnimationTick, 0);
    m_shownPosition = tick % frames + 1;
    m_picture->setPixmap(m_images[m_shownPosition - 1]);
    s.ChallengeAnimationTick = saturatingIncrement(s.ChallengeAnimationTick);
    if (s.ChallengeAnimationTick > 3 * frames)
        m_animationTimer->stop();
}
