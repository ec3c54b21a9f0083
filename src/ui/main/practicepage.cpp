#include "ui/main/practicepage.h"

#include "ui/main/frmmain.h"
#include "ui/main/geometry.h"

#include <QGroupBox>
#include <QPushButton>

PracticePage::PracticePage(frmMain &main, QWidget *parent) : QWidget(parent), m_main(main) {
    m_frame = new QGroupBox(this);
    nameControl(m_frame, QStringLiteral("QuorinPracticeFrame"));
    placeOnTabPage(m_frame, 120, 720, 12135, 7815);

    m_retry = new QPushButton(QStringLiteral("もう一度"), m_frame);
    nameControl(m_retry, QStringLiteral("QuorinPracticeRetryCommand"));
    placeInTwips(m_retry, 7680, 7200, 1695, 375);
    m_fin = new QPushButton(QStringLiteral("れんしゅう終了"), m_frame);
    nameControl(m_fin, QStringLiteral("QuorinPracticeFinCommand"));
    placeInTwips(m_fin, 9720, 7200, 2055, 375);

    connect(m_retry, &QPushButton::clicked, this, &PracticePage::QuorinPracticeRetryCommand_Click);
    connect(m_fin, &QPushButton::clicked, this, &PracticePage::QuorinPracticeFinCommand_Click);
}

void PracticePage::QuorinPracticeRetryCommand_Click() { Q_EMIT retried(); }

void PracticePage::QuorinPracticeFinCommand_Click() {
    QuorinPracticeRetryCommand_Click();
    m_main.ReturnToSignIn();
}
