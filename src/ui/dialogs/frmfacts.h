#pragma once
// The signed-in pupil's own windows about the 81 facts: the map of what they know, and the
// practice of the facts they do not know yet.

#include "classroom/factstate.h"

#include <QDialog>

class AnswerBox;
class Classroom;
class QLabel;
class QPushButton;

// わたしの 九九: the 81 facts in the colour and mark of their state, with the count of the
// known ones.
class frmFactMap : public QDialog {
    Q_OBJECT
public:
    frmFactMap(const PupilFacts &facts, int limitMs, QWidget *parent = nullptr);

    // The mark and the word of a state, as the map shows them.
    static QString mark(FactState state);
    static QString word(FactState state);
};

// にがて れんしゅう: a set of kWeakSetSize questions, shown one after the other as in the
// practice page: each answer is marked at once, a wrong one is put right in its box, and
// every first answer goes to the answer log (nothing else: no run, no record).
class frmWeakPractice : public QDialog {
    Q_OBJECT
public:
    frmWeakPractice(Classroom &classroom, bool numberPad, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void deal();
    void showQuestion(int index);
    void answer(int index, qint16 keyCode);

    Classroom &m_classroom;
    WeakSet m_set;
    QList<QLabel *> m_questions;
    QList<AnswerBox *> m_boxes;
    QList<QLabel *> m_marks;
    QList<bool> m_answered;
    QLabel *m_intro = nullptr;
    QLabel *m_end = nullptr;
    QPushButton *m_again = nullptr;
    int m_right = 0;
    bool m_enterAnswered = false; // the last answer's Enter is still on its way
};
