#pragma once
// Tab 5: the timed 9 x 9 challenge sheet. Eighty-one answer boxes under nine shuffled column
// headers and beside nine shuffled row headers, a clock, the result of the first marking and
// a short picture animation for a full mark.

#include <QList>
#include <QPixmap>
#include <QString>
#include <QWidget>

class Classroom;
class Navigation;
class AnswerBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

class ChallengePage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRows = 9;
    static constexpr int kBoxCount = kRows * kRows; // boxes 0..80, box i in row i / 9
    static constexpr int kHeaderCount = 2 * kRows;  // 0..8 columns, 9..17 rows

    ChallengePage(Classroom &classroom, Navigation &navigation, QWidget *parent);

    QLabel *streakLabel() const { return m_streakLabel; }
    QLabel *timeLabel() const { return m_timeLabel; }
    QLabel *scoreLabel() const { return m_score; }
    QLabel *picture() const { return m_picture; }
    AnswerBox *answerBox(int index) const { return m_boxes.value(index); }
    QLabel *header(int index) const { return m_headers.value(index); }
    QTimer *clockTimer() const { return m_clockTimer; }
    QTimer *animationTimer() const { return m_animationTimer; }
    // The frames of the animation, in the order they are shown (positions 1..6).
    const QList<QPixmap> &animationImages() const { return m_images; }
    // The position (1..6) of the picture the animation last showed; 0 before the first.
    int shownImagePosition() const { return m_shownPosition; }

public Q_SLOTS:
    // Deals a new sheet.
    void QuorinChallengeQuizRetryCommand_Click();
    // The sheet is left (a new sheet, another pupil, the program closing): answers typed into
    // a sheet that was not marked go to the answer log as unfinished.
    void leaveSet();
    // Deals a new sheet and returns to the sign-in tab.
    void QuorinChallengeQuizFinCommand_Click();
    // Opens the full-mark list.
    void QuorinChallengeQuizBestScoreCommand_Click();

    // Navigation between the boxes, and marking once every box holds a number.
    void QuorinChallengeAnswerTextBox_KeyDown(int index, qint16 keyCode);
    // The box's two headers light up while it has the focus.
    void QuorinChallengeAnswerTextBox_GotFocus(int index);
    void QuorinChallengeAnswerTextBox_LostFocus(int index);

    // One clock tick (every second while the sheet is open).
    void QuorinChallengeTimer_Timer();
    // One animation step (every 200 ms while the animation plays).
    void QuorinChallengeQuizTimer_Timer();

Q_SIGNALS:
    // Emitted at the end of every deal.
    void retried();

private:
    void ResetChallengeQuiz();
    void dealHeaders(int firstLabel);
    void markSheet();

    Classroom &m_classroom;
    Navigation &m_navigation;
    QGroupBox *m_frame = nullptr;
    QLabel *m_streakLabel = nullptr;
    QLabel *m_timeLabel = nullptr;
    QLabel *m_score = nullptr;
    QLabel *m_picture = nullptr;
    QList<QLabel *> m_headers;
    QList<AnswerBox *> m_boxes;
    QList<QPixmap> m_images;
    QTimer *m_clockTimer = nullptr;
    QTimer *m_animationTimer = nullptr;
    QPushButton *m_retry = nullptr;
    QPushButton *m_fin = nullptr;
    QPushButton *m_bestScore = nullptr;
    int m_shownPosition = 0;
    QString m_dealtFor; // the pupil the sheet was dealt to
};
