#pragma once
// Tabs 2..4: one quiz-level page class, instantiated three times with its parameters.
// A set is 20 facts drawn from the level's pool; with every box filled an action key grades
// the whole set, and the first grading of a set counts toward the run of full marks.

#include "core/applicationstate.h"

#include <QList>
#include <QString>
#include <QWidget>

class Classroom;
class Navigation;
class AnswerBox;
class MessageLabel;
class QGroupBox;
class QLabel;
class QPushButton;

struct LevelParams {
    Activity activity;  // Novice, Intermediate or Expert
    QString name;       // "Novice", "Intermediate", "Expert": the control-name infix
    int poolOffset;     // 9, 45, 0
    int poolSize;       // 36, 36, 81
    QString finCaption; // "レベル1　終了" ...
    bool buttonsInsideFrame;
    int scoreLeftTwips;     // 480 (Intermediate 600)
    int messageWidthTwips;  // 12015 (Novice) or 12135
    int messageHeightTwips; // 735 (Novice) or 615

    static LevelParams novice();
    static LevelParams intermediate();
    static LevelParams expert();
};

class LevelPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kQuestions = 20;
    static constexpr int kPointsPerAnswer = 5;

    LevelPage(Classroom &classroom, Navigation &navigation, const LevelParams &params,
              QWidget *parent);

    const LevelParams &params() const { return m_params; }
    QLabel *streakLabel() const;
    AnswerBox *answerBox(int index) const { return m_boxes.value(index); }
    QLabel *questionLabel(int index) const { return m_questions.value(index); }
    QLabel *resultLabel(int index) const { return m_results.value(index); }
    QLabel *scoreLabel() const { return m_score; }
    // The product expected in box `index` of the current set.
    qint16 expectedAnswer(int index) const;

public Q_SLOTS:
    // "もう一度": a new question set. Also run on entering the tab, at sign-in and by Fin.
    void QuizRetryCommand_Click();
    // Leaves the level: a fresh set, then back to the sign-in tab.
    void QuizFinCommand_Click();
    // "100点　発表": the full-mark list.
    void QuizBestScoreCommand_Click();
    // Hides and empties the level's controls (ResetNoviceQuiz and its twins).
    void ResetQuiz();
    // The set is left (a new set, another pupil, the program closing): answers typed into a
    // set that was not graded go to the answer log as unfinished.
    void leaveSet();
    // The key contract of the answer boxes, then grading.
    void AnswerTextBox_KeyDown(int index, qint16 keyCode);

    // The names the main window and the navigation use.
    void retry() { QuizRetryCommand_Click(); }
    void fin() { QuizFinCommand_Click(); }
    void bestScore() { QuizBestScoreCommand_Click(); }

Q_SIGNALS:
    // Emitted at the end of every new question set.
    void retried();

private:
    QString controlName(const QString &role) const;
    qint16 *answerKey() const;
    void gradeSet();

    Classroom &m_classroom;
    Navigation &m_navigation;
    LevelParams m_params;
    QString m_dealtFor; // the pupil the set was dealt to
    QGroupBox *m_frame = nullptr;
    MessageLabel *m_streakLabel = nullptr;
    QList<QLabel *> m_questions;
    QList<AnswerBox *> m_boxes;
    QList<QLabel *> m_results;
    QLabel *m_score = nullptr;
    QPushButton *m_retry = nullptr;
    QPushButton *m_fin = nullptr;
    QPushButton *m_bestScore = nullptr;
};
