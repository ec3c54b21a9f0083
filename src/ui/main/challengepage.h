#pragma once
// Tab 5: the timed 9 x 9 challenge sheet.

#include <QWidget>

class frmMain;
class QGroupBox;
class QLabel;
class QPushButton;

class ChallengePage : public QWidget {
    Q_OBJECT
public:
    ChallengePage(frmMain &main, QWidget *parent);

    QLabel *streakLabel() const { return m_streakLabel; }
    QLabel *timeLabel() const { return m_timeLabel; }

public Q_SLOTS:
    void QuorinChallengeQuizRetryCommand_Click();
    void QuorinChallengeQuizFinCommand_Click();
    void QuorinChallengeQuizBestScoreCommand_Click();

Q_SIGNALS:
    void retried();

private:
    frmMain &m_main;
    QGroupBox *m_frame = nullptr;
    QLabel *m_streakLabel = nullptr;
    QLabel *m_timeLabel = nullptr;
    QPushButton *m_retry = nullptr;
    QPushButton *m_fin = nullptr;
    QPushButton *m_bestScore = nullptr;
};
