#pragma once
// Tab 1: practice on one row of the table. The pupil chooses a row (or a random one), answers
// its nine facts in order and then the same nine shuffled; every answer is marked as soon as
// it is confirmed, and only a correct answer opens the next question. Nothing is recorded.

#include <QWidget>

class Classroom;
class Navigation;
class AnswerBox;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

class PracticePage : public QWidget {
    Q_OBJECT
public:
    PracticePage(Classroom &classroom, Navigation &navigation, QWidget *parent);

    static constexpr int kOptionCount = 10; // rows 1..9 and "???"
    static constexpr int kRandomOption = 9;
    static constexpr int kQuestionCount = 18; // left column 0..8, right column 9..17

    // Hides every question, box, mark and the evaluation, empties the boxes and disables the
    // row buttons (which keep their selection).
    void ResetPractice();

public Q_SLOTS:
    void QuorinPracticeRetryCommand_Click();
    void QuorinPracticeFinCommand_Click();
    // A row button was chosen: 0..8 stand for the rows 1..9, 9 for a random row.
    void QuorinPracticeSelectOption_Click(int index);
    // A key went down in answer box `index`: editing and digit keys do nothing, every other
    // key confirms the answer in that box.
    void QuorinPracticeAnswerTextBox_KeyDown(int index, qint16 keyCode);

Q_SIGNALS:
    // Emitted at the end of every Retry (a fresh page, waiting for a row).
    void retried();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void clearRowSelection();
    void showQuestion(int index);
    void hideLeftColumn();

    Classroom &m_classroom;
    Navigation &m_navigation;
    QGroupBox *m_frame = nullptr;
    QGroupBox *m_selectFrame = nullptr;
    QButtonGroup *m_optionGroup = nullptr;
    QRadioButton *m_options[kOptionCount] = {};
    QLabel *m_questions[kQuestionCount] = {};
    AnswerBox *m_boxes[kQuestionCount] = {};
    QLabel *m_results[kQuestionCount] = {};
    QLabel *m_evaluation = nullptr;
    bool m_answerLogged[kQuestionCount] = {}; // the question's first answer is in the log
    QPushButton *m_retry = nullptr;
    QPushButton *m_fin = nullptr;
};
