#include "ui/dialogs/quorinscoredialog.h"

#include "ui/main/frmmain.h"
#include "ui/main/geometry.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

QuorinScoreDialog::QuorinScoreDialog(frmMain &main) : QDialog(nullptr), m_main(main) {
    setObjectName(QStringLiteral("QuorinScoreDialog"));
    setWindowTitle(QStringLiteral("まん点リスト"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twipsToPixels(12270), twipsToPixels(9015));
    m_list = new QListWidget(this);
    nameControl(m_list, QStringLiteral("QuorinScoreList"));
    placeInTwips(m_list, 0, 0, 12255, 7980);
    m_heading = new QLabel(this);
    nameControl(m_heading, QStringLiteral("QuorinScoreLabel"));
    placeInTwips(m_heading, 240, 8160, 9135, 615);
    m_ok = new QPushButton(QStringLiteral("戻る"), this);
    nameControl(m_ok, QStringLiteral("OKButton"));
    placeInTwips(m_ok, 9960, 8280, 1215, 375);
    connect(m_ok, &QPushButton::clicked, this, &QuorinScoreDialog::OKButton_Click);
}

void QuorinScoreDialog::Form_Load() {}

void QuorinScoreDialog::OKButton_Click() { close(); }
