#include "ui/main/levelpage.h"

#include "ui/main/frmmain.h"
#include "ui/main/geometry.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

LevelParams LevelParams::novice() {
    return {Activity::Novice, QStringLiteral("Novice"), 9, 36, QStringLiteral("レベル1　終了"),
            true, 480};
}
LevelParams LevelParams::intermediate() {
    return {Activity::Intermediate, QStringLiteral("Intermediate"), 45, 36,
            QStringLiteral("レベル2　終了"), false, 600};
}
LevelParams LevelParams::expert() {
    return {Activity::Expert, QStringLiteral("Expert"), 0, 81, QStringLiteral("レベル3　終了"),
            false, 480};
}

QString LevelPage::controlName(const QString &role) const {
    return QStringLiteral("Quorin") + m_params.name + role;
}

LevelPage::LevelPage(frmMain &main, const LevelParams &params, QWidget *parent)
    : QWidget(parent), m_main(main), m_params(params) {
    m_streakLabel = new QLabel(this);
    nameControl(m_streakLabel, controlName(QStringLiteral("QuizScoreLabel")));
    m_frame = new QGroupBox(this);
    nameControl(m_frame, controlName(QStringLiteral("QuizFrame")));
    placeOnTabPage(m_frame, 120, 1200, 12135, 7335);

    QWidget *buttonParent = m_params.buttonsInsideFrame ? static_cast<QWidget *>(m_frame) : this;
    m_bestScore = new QPushButton(QStringLiteral("100点　発表"), buttonParent);
    nameControl(m_bestScore, controlName(QStringLiteral("QuizBestScoreCommand")));
    m_retry = new QPushButton(QStringLiteral("もう一度"), buttonParent);
    nameControl(m_retry, controlName(QStringLiteral("QuizRetryCommand")));
    m_fin = new QPushButton(m_params.finCaption, buttonParent);
    nameControl(m_fin, controlName(QStringLiteral("QuizFinCommand")));
    // One row 375 twips high whose top is 7920 twips below the top of the tab strip.
    const int rowTop = m_params.buttonsInsideFrame ? 7920 - 1200 : 7920 - kTabRowTwips;
    placeInTwips(m_bestScore, 5280, rowTop, 2055, 375);
    placeInTwips(m_retry, 7560, rowTop, 1695, 375);
    placeInTwips(m_fin, 9480, rowTop, 2415, 375);
    if (!m_params.buttonsInsideFrame)
        for (QPushButton *b : {m_bestScore, m_retry, m_fin})
            b->raise();

    connect(m_retry, &QPushButton::clicked, this, &LevelPage::retry);
    connect(m_fin, &QPushButton::clicked, this, &LevelPage::fin);
    connect(m_bestScore, &QPushButton::clicked, this, &LevelPage::bestScore);
}

void LevelPage::retry() { Q_EMIT retried(); }

void LevelPage::fin() {
    retry();
    m_main.ReturnToSignIn();
}

void LevelPage::bestScore() { m_main.ShowScoreDialog(); }
