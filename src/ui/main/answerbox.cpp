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

double AnswerBox::value() const {
    return numericValue(text());
}

bool AnswerBox::filterEmpties(const QString &text) {
    const double v = numericValue(text);
    return v == 0.0 || v >= 100.0;
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
    QPointer<AnswerBox> self(this);
    Q_EMIT keyDown(m_index, code);
    if (self)
        QLineEdit::keyPressEvent(event);
}

void AnswerBox::focusInEvent(QFocusEvent *event) {
    // Gaining the focus changes only the colours: the line edit would select the whole text
    // (and put the caret at its end) when the focus comes by the Tab key.
    const int caret = cursorPosition();
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
