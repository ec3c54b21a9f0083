#include "ui/main/answerbox.h"

#include "core/keys.h"
#include "core/numericvalue.h"
#include "ui/main/geometry.h"

#include <QKeyEvent>
#include <QPointer>

bool quizActionKeyGrades(const QList<AnswerBox *> &boxes, int index, qint16 keyCode) {
    if (index < 0 || index >= boxes.size())
        return false;
    if (keyCode == VK::Up) {
        if (index > 0)
            boxes[index - 1]->setFocus(Qt::OtherFocusReason);
        return false;
    }
    for (const AnswerBox *box : boxes) {
        if (box->value() == 0.0) {
            if (index < boxes.size() - 1)
                boxes[index + 1]->setFocus(Qt::OtherFocusReason);
            return false;
        }
    }
    return true;
}

AnswerBox::AnswerBox(const QString &arrayName, int index, QWidget *parent)
    : QLineEdit(parent), m_index(index) {
    nameArrayControl(this, arrayName, index);
    setFont(designFont(24));
    // Answers are typed as plain digits; no input-method composition in the boxes.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhPreferNumbers);
    setAccessibleName(QStringLiteral("こたえ %1").arg(index + 1));
    setTextMargins(0, 0, 0, 0);
    connect(this, &QLineEdit::textChanged, this, &AnswerBox::onTextChanged);
}

void AnswerBox::setQuestion(const QString &spoken) {
    setAccessibleName(spoken);
}

double AnswerBox::value() const {
    return numericValue(text());
}

bool AnswerBox::filterEmpties(const QString &text) {
    const double v = numericValue(text);
    return v == 0.0 || v >= 100.0;
}

FactAnswer AnswerBox::withFirstAnswer(FactAnswer answer) const {
    if (m_firstMs >= 0) {
        answer.ms = m_firstMs;
        answer.given = m_firstGiven;
    }
    return answer;
}

void AnswerBox::newQuestion() {
    m_focusedAt.invalidate();
    m_firstMs = -1;
    m_firstGiven = 0;
}

void AnswerBox::onTextChanged() {
    // Step 1: a value of exactly 0 empties the box (this re-enters once, harmlessly).
    if (numericValue(text()) == 0.0 && !text().isEmpty())
        setText(QString());
    // Step 2: a value of 100 or more empties it too.
    if (numericValue(text()) >= 100.0)
        setText(QString());
}

void AnswerBox::keyPressEvent(QKeyEvent *event) {
    const qint16 code = virtualKeyCode(event->key(), event->modifiers(), event->nativeVirtualKey(),
                                       event->nativeScanCode(), event->text());
    // A key held down answers nothing: its repeats would confirm the next, still empty box
    // (or type a digit twice). Only moving the caret and deleting keep repeating. The X
    // server repeats a key as a release and a press with the same time stamp; the toolkit
    // does not always mark that pair as a repeat, so the time stamp is checked as well.
    const bool repeated =
        event->isAutoRepeat() ||
        (m_releasedAt != 0 && event->key() == m_releasedKey && event->timestamp() == m_releasedAt);
    const bool keepsRepeating =
        code == VK::Left || code == VK::Right || code == VK::Back || code == VK::Delete;
    if (repeated && !keepsRepeating) {
        event->accept();
        return;
    }
    // The first confirm of a number: what the log keeps of how the pupil answered.
    const bool confirms = code == VK::Return || code == VK::Down || code == VK::Tab;
    if (confirms && m_firstMs < 0 && value() > 0 && m_focusedAt.isValid()) {
        m_firstMs = int(qMin<qint64>(m_focusedAt.elapsed(), 86'400'000));
        m_firstGiven = int(value());
    }
    QPointer<AnswerBox> self(this);
    Q_EMIT keyDown(m_index, code);
    if (self)
        QLineEdit::keyPressEvent(event);
}

void AnswerBox::keyReleaseEvent(QKeyEvent *event) {
    m_releasedKey = event->key();
    m_releasedAt = event->timestamp();
    QLineEdit::keyReleaseEvent(event);
}

void AnswerBox::focusInEvent(QFocusEvent *event) {
    // Gaining the focus changes only the colours: the line edit would select the whole text
    // (and put the caret at its end) when the focus comes by the Tab key.
    const int caret = cursorPosition();
    if (!m_focusedAt.isValid())
        m_focusedAt.start();
    QLineEdit::focusInEvent(event);
    deselect();
    setCursorPosition(caret);
    setBackgroundColour(this, Colours::FocusBackground);
    setTextColour(this, Colours::FocusText);
    Q_EMIT gotFocus(m_index);
}

void AnswerBox::focusOutEvent(QFocusEvent *event) {
    QLineEdit::focusOutEvent(event);
    setBackgroundColour(this, Colours::White);
    setTextColour(this, Colours::Black);
    Q_EMIT lostFocus(m_index);
}
