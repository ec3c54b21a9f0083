#include "ui/main/challengepage.h"

#include "ui/main/frmmain.h"
#include "ui/main/geometry.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

ChallengePage::ChallengePage(frmMain &main, QWidget *parent) : QWidget(parent), m_main(main) {
    m_streakLabel = new QLabel(this);
    nameControl(m_streakLabel, QStringLiteral("QuorinChallengeQuizScoreLabel"));
    m_frame = new QGroupBox(this);
    nameControl(m_frame, QStringLiteral("QuorinChallengeQuizFrame"));
    placeOnTabPage(m_frame, 120, 1200, 12135, 6615);
    m_timeLabel = new QLabel(QStringLiteral("00分00秒"), m_frame);
    nameControl(m_timeLabel, QStringLiteral("QuorinChallengeTimeLable"));
    placeInTwips(m_timeLabel, 9600, 360, 2295, 495);

    m_bestScore = new QPushButton(QStringLiteral("合格　発表"), this);
    nameControl(m_bestScore, QStringLiteral("QuorinChallengeQuizBestScoreCommand"));
    placeOnTabPage(m_bestScore, 5280, 7920, 2055, 375);
    m_retry = new QPushButton(QStringLiteral("もう一度"), this);
    nameControl(m_retry, QStringLiteral("QuorinChallengeQuizRetryCommand"));
    placeOnTabPage(m_retry, 7560, 7920, 1695, 375);
    m_fin = new QPushButton(QStringLiteral("チャレンジ　終了"), this);
    nameControl(m_fin, QStringLiteral("QuorinChallengeQuizFinCommand"));
    placeOnTabPage(m_fin, 9480, 7920, 2415, 375);

    connect(m_retry, &QPushButton::clicked, this,
            &ChallengePage::QuorinChallengeQuizRetryCommand_Click);
    connect(m_fin, &QPushButton::clicked, this,
            &ChallengePage::QuorinChallengeQuizFinCommand_Click);
    connect(m_bestScore, &QPushButton::clicked, this,
            &ChallengePage::QuorinChallengeQuizBestScoreCommand_Click);
}

void ChallengePage::QuorinChallengeQuizRetryCommand_Click() { Q_EMIT retried(); }

void ChallengePage::QuorinChallengeQuizFinCommand_Click() {
    QuorinChallengeQuizRetryCommand_Click();
    m_main.ReturnToSignIn();
}

void ChallengePage::QuorinChallengeQuizBestScoreCommand_Click() { m_main.ShowScoreDialog(); }
