#include "ui/dialogs/quorinscoredialog.h"

#include "records/datafile.h"

#include "classroom/classroom.h"
#include "core/numericvalue.h"
#include "records/roster.h"
#include "ui/main/geometry.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {
constexpr int kColumns = 3;
constexpr int kChallengeTab = 5;
constexpr int kWidthTwips = 12270;
constexpr int kHeightTwips = 9015;
} // namespace

QuorinScoreDialog::QuorinScoreDialog(Classroom &classroom)
    : QDialog(nullptr), m_classroom(classroom) {
    setObjectName(QStringLiteral("QuorinScoreDialog"));
    setWindowTitle(QStringLiteral("まん点リスト"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The design's size where the screen has room for it; the teacher may make it smaller or
    // larger, and its content scales with it (resizeEvent).
    resize(twipsToPixels(kWidthTwips), twipsToPixels(kHeightTwips));
    setMinimumSize(size() * 0.4);
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

void QuorinScoreDialog::resizeEvent(QResizeEvent *event) {
    QDialog::resizeEvent(event);
    scaleDesign(this, qMin(qreal(width()) / twipsToPixels(kWidthTwips),
                           qreal(height()) / twipsToPixels(kHeightTwips)));
    const int rowHeight = m_list->fontMetrics().height() + 6;
    m_list->setGridSize(QSize((m_list->width() - 2 * m_list->frameWidth()) / kColumns, rowHeight));
}

void QuorinScoreDialog::Form_Load() {
    // The roster file is read again, so the list shows it as last saved.
    m_classroom.rereadRoster();
    const int tab = m_classroom.state().CurrentTab;
    m_heading->setText(tab >= kChallengeTab ? QStringLiteral("合格　発表！")
                                            : QStringLiteral("100点　発表！"));
    m_list->clear();
    m_list->addItems(m_classroom.fullMarkNames(tab));
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
