#pragma once
// The answer box shared by all five activities: the value filter on every change, the focus
// colours, and key events turned into virtual-key codes for the activity's key handler.

#include "classroom/answerlog.h"

#include <QElapsedTimer>
#include <QLineEdit>

class AnswerBox;

// The quiz families' key contract after the editing keys: Up moves to the previous box;
// any other action key moves to the next box while some box of the family is still empty
// (value 0). Returns true when every box holds a value and the set is to be graded.
bool quizActionKeyGrades(const QList<AnswerBox *> &boxes, int index, qint16 keyCode);

// Empties each box, then hides it: the order every page's reset uses.
template <typename Boxes> void emptyAndHide(const Boxes &boxes);

class AnswerBox : public QLineEdit {
    Q_OBJECT
public:
    AnswerBox(const QString &arrayName, int index, QWidget *parent);

    int index() const { return m_index; }
    // What a screen reader says for the box: the question it answers ("７　×　８　＝").
    void setQuestion(const QString &spoken);
    // The numeric value of the box's text (0 for an empty box).
    double value() const;

    // The first answer given since the box was last emptied and hidden: how long after the
    // box first got the focus it was confirmed with a number in it, and that number, put
    // into `answer` (unchanged when the box was never confirmed so).
    FactAnswer withFirstAnswer(FactAnswer answer) const;
    // A new question: the time and the first answer start again.
    void newQuestion();

    // The filter's decision for a text: true when the box must be emptied (value 0, or
    // value 100 or more).
    static bool filterEmpties(const QString &text);

Q_SIGNALS:
    // A key went down in the box: its index and virtual-key code. Emitted before the box
    // handles the key itself; the key is never swallowed.
    void keyDown(int index, qint16 keyCode);
    void gotFocus(int index);
    void lostFocus(int index);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void onTextChanged();
    int m_index;
    // The last key released in this box and when: a press of the same key at the same
    // moment is the key's auto-repeat.
    int m_releasedKey = 0;
    quint64 m_releasedAt = 0;
    QElapsedTimer m_focusedAt; // since the question's box first got the focus
    int m_firstMs = -1;
    int m_firstGiven = 0;
};

template <typename Boxes> void emptyAndHide(const Boxes &boxes) {
    for (AnswerBox *box : boxes) {
        box->setText(QString());
        box->hide();
        box->newQuestion();
    }
}
