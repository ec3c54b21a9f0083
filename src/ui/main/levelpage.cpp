#include "ui/main/levelpage.h"

#include "classroom/classroom.h"
#include "core/keys.h"
#include "core/shuffle.h"
#include "ui/main/accessibility.h"
#include "ui/main/answerbox.h"
#include "ui/main/geometry.h"
#include "ui/main/keptnotice.h"
#include "ui/main/messagelabel.h"
#include "ui/main/navigation.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace {

// Design geometry in twips. The frame's position is measured from the top of the tab strip;
// the positions of the questions, boxes, marks and score are inside the frame.
constexpr int kFrameLeft = 120;
constexpr int kFrameTop = 1200;
constexpr int kFrameWidth = 12135;
constexpr int kFrameHeight = 7335;
constexpr int kMessageLeft = 120;
constexpr int kMessageTop = 720;
constexpr int kRowTop = 480;
constexpr int kRowPitch = 600;
constexpr int kRowHeight = 495;
constexpr int kQuestionLeft[2] = {600, 6600};
constexpr int kQuestionWidth = 3000;
constexpr int kBoxLeft[2] = {3600, 9600};
constexpr int kBoxWidth = 735;
constexpr int kResultLeft[2] = {4920, 10920};
constexpr int kResultWidth = 615;
constexpr int kScoreTop = 6600;
constexpr int kScoreWidth = 3975;
constexpr int kScoreHeight = 615;
// The button row: 375 high, its top 7920 below the top of the tab strip.
constexpr int kButtonRowTop = 7920;
constexpr int kButtonHeight = 375;
constexpr int kBestScoreLeft = 5280;
constexpr int kBestScoreWidth = 2055;
constexpr int kRetryLeft = 7560;
constexpr int kRetryWidth = 1695;
constexpr int kFinLeft = 9480;
constexpr int kFinWidth = 2415;

int rowTop(int index) {
    return kRowTop + kRowPitch * (index % 10);
}
int column(int index) {
    return index < 10 ? 0 : 1;
}

} // namespace

LevelParams LevelParams::novice() {
    return {Activity::Novice,
            QStringLiteral("Novice"),
            9,
            36,
            QStringLiteral("レベル1　終了"),
            true,
            480,
            12015,
            735};
}
LevelParams LevelParams::intermediate() {
    return {Activity::Intermediate,
            QStringLiteral("Intermediate"),
            45,
            36,
            QStringLiteral("レベル2　終了"),
            false,
            600,
            12135,
            615};
}
LevelParams LevelParams::expert() {
    return {Activity::Expert,
            QStringLiteral("Expert"),
            0,
            81,
            QStringLiteral("レベル3　終了"),
            false,
            480,
            12135,
            615};
}

QString LevelPage::controlName(const QString &role) const {
    return QStringLiteral("Quorin") + m_params.name + role;
}

LevelPage::LevelPage(Classroom &classroom, Navigation &navigation, const LevelParams &params,
                     QWidget *parent)
    : QWidget(parent), m_classroom(classroom), m_navigation(navigation), m_params(params) {
    // The streak message above the frame, at the design's size: two lines of the long
    // message fit at the design font size. It reaches a little over the frame's top edge,
    // so it is raised above the frame.
    m_streakLabel = new MessageLabel(this);
    nameControl(m_streakLabel, controlName(QStringLiteral("QuizScoreLabel")));
    placeOnTabPage(m_streakLabel, kMessageLeft, kMessageTop, m_params.messageWidthTwips,
                   m_params.messageHeightTwips);

    m_frame = new QGroupBox(this);
    nameControl(m_frame, controlName(QStringLiteral("QuizFrame")));
    placeOnTabPage(m_frame, kFrameLeft, kFrameTop, kFrameWidth, kFrameHeight);
    m_frame->setFont(designFont(9));
    m_streakLabel->raise();

    // Created in index order so the Tab key walks the boxes 0..19.
    const QFont bigBold = designFont(24, true);
    // The widest question any box may ask, which must stay whole however small the window.
    QString widestFact;
    int widest = 0;
    const QFontMetrics bigBoldMetrics(bigBold);
    for (const QString &fact : m_classroom.state().FactText) {
        const int width = bigBoldMetrics.horizontalAdvance(fact.trimmed());
        if (width > widest) {
            widest = width;
            widestFact = fact.trimmed();
        }
    }
    for (int i = 0; i < kQuestions; ++i) {
        auto *question = new QLabel(m_frame);
        nameArrayControl(question, controlName(QStringLiteral("Question")), i);
        placeInTwips(question, kQuestionLeft[column(i)], rowTop(i), kQuestionWidth, kRowHeight);
        question->setFont(bigBold);
        keepTextWhole(question, widestFact);
        question->hide();
        m_questions.append(question);

        auto *box = new AnswerBox(controlName(QStringLiteral("AnswerTextBox")), i, m_frame);
        placeInTwips(box, kBoxLeft[column(i)], rowTop(i), kBoxWidth, kRowHeight);
        box->hide();
        connect(box, &AnswerBox::keyDown, this, &LevelPage::AnswerTextBox_KeyDown);
        m_boxes.append(box);

        auto *result = new QLabel(m_frame);
        nameArrayControl(result, controlName(QStringLiteral("Result")), i);
        placeInTwips(result, kResultLeft[column(i)], rowTop(i), kResultWidth, kRowHeight);
        result->setFont(bigBold);
        setTextColour(result, Colours::Red);
        result->setText(QStringLiteral("◎"));
        result->hide();
        m_results.append(result);
    }

    m_score = new QLabel(m_frame);
    nameControl(m_score, controlName(QStringLiteral("Score")));
    placeInTwips(m_score, m_params.scoreLeftTwips, kScoreTop, kScoreWidth, kScoreHeight);
    m_score->setFont(designFont(24));
    setTextColour(m_score, Colours::Red);
    m_score->setAccessibleDescription(QStringLiteral("てんすう"));
    m_score->hide();

    // Novice keeps its buttons inside the frame; the other levels put them on the page.
    QWidget *buttonParent = m_params.buttonsInsideFrame ? static_cast<QWidget *>(m_frame) : this;
    m_bestScore = new QPushButton(QStringLiteral("100点　発表"), buttonParent);
    nameControl(m_bestScore, controlName(QStringLiteral("QuizBestScoreCommand")));
    m_retry = new QPushButton(QStringLiteral("もう一度"), buttonParent);
    nameControl(m_retry, controlName(QStringLiteral("QuizRetryCommand")));
    m_fin = new QPushButton(m_params.finCaption, buttonParent);
    nameControl(m_fin, controlName(QStringLiteral("QuizFinCommand")));
    // The same place on the tab whatever the parent, so the row lines up on every tab.
    const int left = m_params.buttonsInsideFrame ? -kFrameLeft : 0;
    const int top =
        m_params.buttonsInsideFrame ? kButtonRowTop - kFrameTop : kButtonRowTop - kTabRowTwips;
    placeInTwips(m_bestScore, left + kBestScoreLeft, top, kBestScoreWidth, kButtonHeight);
    placeInTwips(m_retry, left + kRetryLeft, top, kRetryWidth, kButtonHeight);
    placeInTwips(m_fin, left + kFinLeft, top, kFinWidth, kButtonHeight);
    for (QPushButton *b : {m_bestScore, m_retry, m_fin}) {
        b->setFont(designFont(12));
        b->raise();
    }

    addKeptAnswersNotice(m_classroom, this, controlName(QStringLiteral("KeptAnswersLabel")));

    connect(m_retry, &QPushButton::clicked, this, &LevelPage::QuizRetryCommand_Click);
    connect(m_fin, &QPushButton::clicked, this, &LevelPage::QuizFinCommand_Click);
    connect(m_bestScore, &QPushButton::clicked, this, &LevelPage::QuizBestScoreCommand_Click);
}

QLabel *LevelPage::streakLabel() const {
    return m_streakLabel;
}

qint16 *LevelPage::answerKey() const {
    ApplicationState &s = m_classroom.state();
    switch (m_params.activity) {
    case Activity::Novice:
        return s.NoviceAnswerKey;
    case Activity::Intermediate:
        return s.IntermediateAnswerKey;
    default:
        return s.ExpertAnswerKey;
    }
}

qint16 LevelPage::expectedAnswer(int index) const {
    return index >= 0 && index < kQuestions ? answerKey()[index] : 0;
}

void LevelPage::ResetQuiz() {
    hideAll(m_questions);
    emptyAndHide(m_boxes);
    hideAll(m_results);
    m_score->hide();
}

void LevelPage::leaveSet() {
    // The answers typed into a set that was never graded are logged as they stand.
    ActivityFields f = activityFields(m_classroom.state(), m_params.activity);
    if (f.FirstAttempt != True)
        return;
    f.FirstAttempt = False;
    const qint16 *key = answerKey();
    QList<FactAnswer> answers;
    for (int i = 0; i < kQuestions; ++i)
        if (m_boxes[i]->isVisibleTo(this) && !m_boxes[i]->text().isEmpty())
            answers.append(m_boxes[i]->withFirstAnswer(
                factAnswer(m_questions[i]->text(), m_boxes[i]->value() == double(key[i]))));
    m_classroom.recordUnfinishedSet(LoggedActivity(int(m_params.activity) + 1), answers,
                                    m_dealtFor);
}

void LevelPage::QuizRetryCommand_Click() {
    ApplicationState &s = m_classroom.state();
    leaveSet();
    ResetQuiz();
    m_frame->setEnabled(true);
    activityFields(s, m_params.activity).FirstAttempt = True;
    RandomSource &random = m_classroom.random();
    random.reseedFromClock();
    Shuffle(s, m_params.poolSize, random);
    qint16 *key = answerKey();
    for (int i = 0; i < kQuestions; ++i) {
        const int fact = s.QuestionOrder[i] + m_params.poolOffset;
        m_questions[i]->setText(s.FactText[fact]);
        key[i] = s.FactProduct[fact];
        m_boxes[i]->setQuestion(s.FactText[fact].trimmed());
    }
    for (int i = 0; i < kQuestions; ++i) {
        m_questions[i]->show();
        m_boxes[i]->show();
    }
    // The focus goes to box 0 only while the level's tab is the one shown: a set dealt in
    // the background (at sign-in) must not pull the focus away from the sign-in page.
    if (m_boxes[0]->isVisibleTo(window()))
        m_boxes[0]->setFocus(Qt::OtherFocusReason);
    m_dealtFor = m_classroom.pupilName();
    Q_EMIT retried();
}

void LevelPage::QuizFinCommand_Click() {
    QuizRetryCommand_Click();
    m_navigation.ReturnToSignIn();
}

void LevelPage::QuizBestScoreCommand_Click() {
    m_navigation.ShowScoreDialog();
}

void LevelPage::AnswerTextBox_KeyDown(int index, qint16 keyCode) {
    // Editing keys and digits belong to the box itself.
    if (isEditingKey(keyCode))
        return;
    if (quizActionKeyGrades(m_boxes, index, keyCode))
        gradeSet();
}

void LevelPage::gradeSet() {
    const qint16 *key = answerKey();
    int correct = 0;
    QList<FactAnswer> answers;
    for (int i = 0; i < kQuestions; ++i) {
        const bool right = m_boxes[i]->value() == double(key[i]);
        answers.append(m_boxes[i]->withFirstAnswer(factAnswer(m_questions[i]->text(), right)));
        m_results[i]->setText(right ? QStringLiteral("◎") : QStringLiteral("×"));
        announce(m_results[i], right ? QStringLiteral("せいかい") : QStringLiteral("まちがい"));
        setTextColour(m_results[i], Colours::Red);
        m_results[i]->show();
        if (right)
            ++correct;
    }
    m_score->setText(QStringLiteral(" %1点です").arg(correct * kPointsPerAnswer));
    announce(m_score, m_score->text().trimmed());
    m_score->show();
    // Only the first grading of a set counts toward the run; a later one only refreshes
    // the marks, the score and the message.
    m_classroom.grade(m_params.activity, correct, answers);
}
