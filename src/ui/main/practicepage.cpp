#include "ui/main/practicepage.h"

#include "classroom/classroom.h"
#include "core/applicationstate.h"
#include "core/keys.h"
#include "core/numericvalue.h"
#include "core/shuffle.h"
#include "ui/main/accessibility.h"
#include "ui/main/answerbox.h"
#include "ui/main/geometry.h"
#include "ui/main/keptnotice.h"
#include "ui/main/navigation.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <iterator>

namespace {

const QString kOptionCaptions[PracticePage::kOptionCount] = {
    QStringLiteral("１"), QStringLiteral("2"),  QStringLiteral("3"), QStringLiteral("4"),
    QStringLiteral("5"),  QStringLiteral("6"),  QStringLiteral("7"), QStringLiteral("8"),
    QStringLiteral("9"),  QStringLiteral("???")};

// Row r (0..8) of either column, in twips from the top of the practice frame.
int rowTop(int index) {
    return 1440 + 600 * (index % 9);
}
bool inLeftColumn(int index) {
    return index < 9;
}

// A row button that a finger can hit: the whole button, its caption and the space around it,
// chooses the row, not only the small circle and the tight box around the caption.
class RowOption : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }
};

} // namespace

PracticePage::PracticePage(Classroom &classroom, Navigation &navigation, QWidget *parent)
    : QWidget(parent), m_classroom(classroom), m_navigation(navigation) {
    m_frame = new QGroupBox(this);
    nameControl(m_frame, QStringLiteral("QuorinPracticeFrame"));
    placeOnTabPage(m_frame, 120, 720, 12135, 7815);

    // The row choice. The buttons form one exclusive group; Retry clears the selection.
    m_selectFrame = new QGroupBox(QStringLiteral("なんだんのれんしゅうをしますか？"), m_frame);
    nameControl(m_selectFrame, QStringLiteral("QuorinPracticeSelectFrame"));
    placeInTwips(m_selectFrame, 120, 240, 11895, 855);
    m_optionGroup = new QButtonGroup(this);
    m_optionGroup->setExclusive(true);
    for (int k = 0; k < kOptionCount; ++k) {
        auto *option = new RowOption(kOptionCaptions[k], m_selectFrame);
        nameArrayControl(option, QStringLiteral("QuorinPracticeSelectOption"), k);
        option->setFont(designFont(24));
        option->setAccessibleName(k == kRandomOption ? QStringLiteral("どれかのだん")
                                                     : QStringLiteral("%1のだん").arg(k + 1));
        // As tall as the frame leaves below its caption, and as wide as the gaps between
        // the buttons allow, so the caption is never clipped and a tap near it still counts.
        if (k == kRandomOption)
            placeInTwips(option, 10240, 300, 1455, 540);
        else
            placeInTwips(option, 1240 + 1000 * k, 300, 960, 540);
        option->installEventFilter(this);
        m_optionGroup->addButton(option, k);
        m_options[k] = option;
        connect(option, &QRadioButton::clicked, this,
                [this, k] { QuorinPracticeSelectOption_Click(k); });
    }

    // Two columns of nine rows: question, answer box and mark. Created row by row of the
    // left column and then of the right, so Tab walks the boxes in question order.
    for (int i = 0; i < kQuestionCount; ++i) {
        const int columnLeft = inLeftColumn(i) ? 0 : 6000;
        auto *question = new QLabel(m_frame);
        nameArrayControl(question, QStringLiteral("QuorinPracticeQuestion"), i);
        question->setFont(designFont(24, true));
        question->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        placeInTwips(question, 600 + columnLeft, rowTop(i), 3000, 495);
        m_questions[i] = question;

        auto *box = new AnswerBox(QStringLiteral("QuorinPracticeAnswerTextBox"), i, m_frame);
        placeInTwips(box, 3600 + columnLeft, rowTop(i), 735, 495);
        connect(box, &AnswerBox::keyDown, this, &PracticePage::QuorinPracticeAnswerTextBox_KeyDown);
        m_boxes[i] = box;

        auto *result = new QLabel(QStringLiteral("◎"), m_frame);
        nameArrayControl(result, QStringLiteral("QuorinPracticeResult"), i);
        result->setFont(designFont(24, true));
        result->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        setTextColour(result, Colours::Red);
        placeInTwips(result, 4920 + columnLeft, rowTop(i), 615, 495);
        m_results[i] = result;
    }

    m_evaluation = new QLabel(m_frame);
    nameControl(m_evaluation, QStringLiteral("QuorinPracticeEvaluation"));
    m_evaluation->setFont(designFont(24));
    m_evaluation->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    placeInTwips(m_evaluation, 720, 7080, 6615, 615);

    m_retry = new QPushButton(QStringLiteral("もう一度"), m_frame);
    nameControl(m_retry, QStringLiteral("QuorinPracticeRetryCommand"));
    placeInTwips(m_retry, 7680, 7200, 1695, 375);
    m_fin = new QPushButton(QStringLiteral("れんしゅう終了"), m_frame);
    nameControl(m_fin, QStringLiteral("QuorinPracticeFinCommand"));
    placeInTwips(m_fin, 9720, 7200, 2055, 375);

    addKeptAnswersNotice(m_classroom, this, QStringLiteral("QuorinPracticeKeptAnswersLabel"));

    connect(m_retry, &QPushButton::clicked, this, &PracticePage::QuorinPracticeRetryCommand_Click);
    connect(m_fin, &QPushButton::clicked, this, &PracticePage::QuorinPracticeFinCommand_Click);

    // Start in the choosing state (sign-in and entering the tab run Retry as well).
    ResetPractice();
    for (QRadioButton *option : m_options)
        option->setEnabled(true);
}

void PracticePage::ResetPractice() {
    for (QRadioButton *option : m_options)
        option->setEnabled(false);
    hideAll(m_questions);
    emptyAndHide(m_boxes);
    hideAll(m_results);
    m_evaluation->hide();
}

void PracticePage::clearRowSelection() {
    // An exclusive group cannot lose its checked button, so lift the exclusivity meanwhile.
    m_optionGroup->setExclusive(false);
    for (QRadioButton *option : m_options)
        option->setChecked(false);
    m_optionGroup->setExclusive(true);
}

void PracticePage::QuorinPracticeRetryCommand_Click() {
    ResetPractice();
    m_classroom.state().PracticeMissCount = 0;
    m_selectFrame->setEnabled(true);
    for (QRadioButton *option : m_options)
        option->setEnabled(true);
    clearRowSelection();
    // When the page is on screen, the keyboard starts on the row buttons.
    if (isVisible())
        m_options[0]->setFocus(Qt::OtherFocusReason);
    Q_EMIT retried();
}

void PracticePage::QuorinPracticeFinCommand_Click() {
    QuorinPracticeRetryCommand_Click();
    m_navigation.ReturnToSignIn();
}

void PracticePage::QuorinPracticeSelectOption_Click(int index) {
    if (index < 0 || index >= kOptionCount)
        return;
    ApplicationState &s = m_classroom.state();
    RandomSource &random = m_classroom.random();
    ResetPractice();

    int row = index;
    if (row == kRandomOption) {
        random.reseedFromClock();
        row = qBound(0, static_cast<int>(9.0 * double(random.next())), 8);
    }

    // Left column: the row's nine facts in order.
    for (int i = 0; i < 9; ++i) {
        const int fact = 9 * row + i;
        m_questions[i]->setText(s.FactText[fact]);
        m_boxes[i]->setQuestion(s.FactText[fact].trimmed());
        s.PracticeAnswerKey[i] = s.FactProduct[fact];
    }
    // Right column: the same nine facts in shuffled order.
    random.reseedFromClock();
    Shuffle(s, 9, random);
    for (int i = 9; i < kQuestionCount; ++i) {
        const int fact = 9 * row + s.QuestionOrder[i - 9];
        m_questions[i]->setText(s.FactText[fact]);
        m_boxes[i]->setQuestion(s.FactText[fact].trimmed());
        s.PracticeAnswerKey[i] = s.FactProduct[fact];
    }

    std::fill(std::begin(m_answerLogged), std::end(m_answerLogged), false);
    // After "???" the chosen row's button is the selected one.
    m_options[row]->setChecked(true);
    showQuestion(0);
}

void PracticePage::showQuestion(int index) {
    m_questions[index]->show();
    m_boxes[index]->show();
    m_boxes[index]->setFocus(Qt::OtherFocusReason);
}

void PracticePage::hideLeftColumn() {
    for (int j = 0; j < 9; ++j) {
        m_questions[j]->hide();
        m_boxes[j]->setText(QString());
        m_boxes[j]->hide();
        m_boxes[j]->newQuestion();
        m_results[j]->hide();
    }
}

void PracticePage::QuorinPracticeAnswerTextBox_KeyDown(int index, qint16 keyCode) {
    if (index < 0 || index >= kQuestionCount)
        return;
    if (isEditingKey(keyCode))
        return;

    // Any other key confirms the answer in this box.
    ApplicationState &s = m_classroom.state();
    QLabel *result = m_results[index];
    const bool right = numericValue(m_boxes[index]->text()) == double(s.PracticeAnswerKey[index]);
    // Any key marks the answer, but only a number confirmed with Enter is one for the log: an
    // empty box, a letter, Tab or the way back are no answer the pupil gave.
    if (!m_answerLogged[index] && keyCode == VK::Return && !m_boxes[index]->text().isEmpty()) {
        m_answerLogged[index] = true;
        m_classroom.recordAnswer(
            LoggedActivity::Practice,
            m_boxes[index]->withFirstAnswer(factAnswer(m_questions[index]->text(), right)));
    }
    if (right) {
        result->setText(QStringLiteral("◎"));
        announce(result, QStringLiteral("せいかい"));
        setTextColour(result, Colours::Red);
        result->show();
        if (index != kQuestionCount - 1) {
            showQuestion(index + 1);
        } else {
            m_evaluation->setText(s.PracticeMissCount == 0
                                      ? QStringLiteral("よくできました！おめでとう。")
                                      : QStringLiteral("残念！がんばりましょう。"));
            announce(m_evaluation, m_evaluation->text());
            m_evaluation->show();
        }
        // The left column goes once its last question is answered; the focus is in box 9.
        if (index >= 8)
            hideLeftColumn();
    } else {
        s.PracticeMissCount = saturatingIncrement(s.PracticeMissCount);
        result->setText(QStringLiteral("？"));
        announce(result, QStringLiteral("まちがい"));
        setTextColour(result, Colours::Blue);
        result->show();
    }
}

bool PracticePage::eventFilter(QObject *watched, QEvent *event) {
    // Enter on a row button chooses it, like Space.
    if (event->type() == QEvent::KeyPress) {
        auto *option = qobject_cast<QRadioButton *>(watched);
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (option && option->isEnabled() && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            option->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
