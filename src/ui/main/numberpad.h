#pragma once
// The on-screen number pad beside the pages, for pupils who answer with the mouse or a
// finger: ten digit keys, a key that clears the answer and a key that confirms it. Each key
// sends the focused answer box the same key events the keyboard would, so the boxes' filter,
// moving on and grading work exactly as with the keyboard. The keys never take the focus.

#include <QWidget>

class AnswerBox;
class QPushButton;

class NumberPad : public QWidget {
    Q_OBJECT
public:
    // A key's side in logical pixels: a fingertip target at any content scale.
    static constexpr int kKeySize = 60;

    explicit NumberPad(QWidget *parent = nullptr);

    // The answer box the keys go to: the focused one in this window, or none.
    AnswerBox *target() const;

private:
    QPushButton *addKey(const QString &name, const QString &caption, const QString &spoken);
    void sendKey(int qtKey, const QString &text);
    void typeDigit(int digit);
    void clearAnswer();
    void confirmAnswer();
    void updateKeys();
    QList<QPushButton *> m_keys;
};
