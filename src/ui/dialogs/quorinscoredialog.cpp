#include "ui/dialogs/quorinscoredialog.h"

#include "records/datafile.h"

#include "core/numericvalue.h"
#include "records/roster.h"
#include "ui/main/frmmain.h"
#include "ui/main/geometry.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {
constexpr int kColumns = 3;
constexpr int kChallengeTab = 5;
} // namespace

QuorinScoreDialog::QuorinScoreDialog(frmMain &main) : QDialog(nullptr), m_main(main) {
    setObjectName(QStringLiteral("QuorinScoreDialog"));
    setWindowTitle(QStringLiteral("まん点リスト"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twipsToPixels(12270), twipsToPixels(9015));
    setFont(designFont(12));

    // Names run down the first column, then the second and the third, like a multi-column
    // list box; more names than fit scroll sideways.
    m_list = new QListWidget(this);
    nameControl(m_list, QStringLiteral("QuorinScoreList"));
    placeInTwips(m_list, 0, 0, 12255, 7980);
    m_list->setFont(designFont(24));
    m_list->setSortingEnabled(false);
    m_list->setViewMode(QListView::ListMode);
    m_list->setFlow(QListView::TopToBottom);
    m_list->setWrapping(true);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setUniformItemSizes(true);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setTextElideMode(Qt::ElideRight);
    const int rowHeight = m_list->fontMetrics().height() + 6;
    m_list->setGridSize(QSize((m_list->width() - 2 * m_list->frameWidth()) / kColumns, rowHeight));
    m_list->setAccessibleName(QStringLiteral("まん点の人"));

    m_heading = new QLabel(this);
    nameControl(m_heading, QStringLiteral("QuorinScoreLabel"));
    placeInTwips(m_heading, 240, 8160, 9135, 615);
    m_heading->setFont(designFont(24));

    m_ok = new QPushButton(QStringLiteral("戻る"), this);
    nameControl(m_ok, QStringLiteral("OKButton"));
    placeInTwips(m_ok, 9960, 8280, 1215, 375);
    m_ok->setFont(designFont(12));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QuorinScoreDialog::OKButton_Click);
}

void QuorinScoreDialog::rereadRoster() {
    // Any failure leaves the roster in memory as it was; a malformed line keeps what was
    // read before it. Nothing is reported.
    const std::optional<QByteArray> bytes = readDataFile(m_main.state().rosterPath());
    if (bytes)
        applyRosterRead(m_main.state(), parseRoster(*bytes));
}

void QuorinScoreDialog::Form_Load() {
    rereadRoster();
    const ApplicationState &s = m_main.state();
    m_heading->setText(s.CurrentTab >= kChallengeTab ? QStringLiteral("合格　発表！")
                                                     : QStringLiteral("100点　発表！"));
    m_list->clear();
    // The column of the selected activity: 1..4 for tabs 2..5. From any other tab there is
    // no activity, and nothing is listed.
    const int column = s.CurrentTab - 1;
    if (column < 1 || column > 4)
        return;
    // Roster order, stopping at the first empty name and never past the last row.
    for (int row = 0; row < kRosterRows; ++row) {
        const QString &name = s.RosterTable[row][0];
        if (name.isEmpty())
            break;
        if (numericValue(s.RosterTable[row][column]) != 0.0)
            m_list->addItem(name);
    }
}

QStringList QuorinScoreDialog::names() const {
    QStringList out;
    for (int i = 0; i < m_list->count(); ++i)
        out << m_list->item(i)->text();
    return out;
}

void QuorinScoreDialog::OKButton_Click() {
    close();
}
