#include "ui/dialogs/frmclasssheet.h"

#include "classroom/classroom.h"
#include "print/paperprint.h"
#include "ui/dialogs/classsheetpage.h"
#include "ui/dialogs/kukucardpage.h"
#include "ui/main/geometry.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kCellWidth = 54;
constexpr int kCellHeight = 42;

// Labels show names and file names as they are, never read as markup.
QLabel *plainLabel(QWidget *parent, const QString &text = QString()) {
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel *heading(const QString &text, QWidget *parent) {
    auto *label = plainLabel(parent, text);
    label->setFont(designFont(11, true));
    return label;
}

QTableWidgetItem *cell(const QString &text, Qt::Alignment alignment) {
    auto *item = new QTableWidgetItem(text);
    item->setTextAlignment(alignment);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

} // namespace

frmClassSheet::frmClassSheet(Classroom &classroom, QWidget *parent)
    : QDialog(parent), m_classroom(classroom), m_today(QDate::currentDate()) {
    setObjectName(QStringLiteral("frmClassSheet"));
    setWindowTitle(QStringLiteral("クラスのようす"));
    setFont(designFont(10));

    // Everything but the status and the close button scrolls, so the window fits any
    // screen and the button never runs off it.
    auto *outer = new QVBoxLayout(this);
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("ClassSheetScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto *content = new QWidget(scroll);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *choices = new QHBoxLayout;
    m_period = new QComboBox(this);
    m_period->setObjectName(QStringLiteral("ClassSheetPeriod"));
    for (SheetPeriod period : {SheetPeriod::ThisWeek, SheetPeriod::ThisMonth, SheetPeriod::All})
        m_period->addItem(sheetPeriodLabel(period));
    m_pupil = new QComboBox(this);
    m_pupil->setObjectName(QStringLiteral("ClassSheetPupil"));
    m_pupil->setMinimumContentsLength(12);
    auto *reload = new QPushButton(QStringLiteral("最新にする"), this);
    reload->setObjectName(QStringLiteral("ClassSheetReloadCommand"));
    auto *print = new QPushButton(QStringLiteral("印刷..."), this);
    print->setObjectName(QStringLiteral("ClassSheetPrintCommand"));
    auto *pdf = new QPushButton(QStringLiteral("PDFに保存..."), this);
    pdf->setObjectName(QStringLiteral("ClassSheetPdfCommand"));
    auto *periodLabel = new QLabel(QStringLiteral("期間(&K)："), this);
    periodLabel->setBuddy(m_period);
    auto *pupilLabel = new QLabel(QStringLiteral("ます目に出す人(&M)："), this);
    pupilLabel->setBuddy(m_pupil);
    choices->addWidget(periodLabel);
    choices->addWidget(m_period);
    choices->addSpacing(12);
    choices->addWidget(pupilLabel);
    choices->addWidget(m_pupil);
    choices->addStretch();
    choices->addWidget(reload);
    choices->addWidget(print);
    choices->addWidget(pdf);
    layout->addLayout(choices);

    // The class's name, remembered for this data folder; empty: the folder's name.
    auto *naming = new QHBoxLayout;
    m_className = new QLineEdit(this);
    m_className->setObjectName(QStringLiteral("ClassSheetClassName"));
    m_className->setMaxLength(40);
    auto *nameLabel = new QLabel(QStringLiteral("クラスの名前(&N)："), this);
    nameLabel->setBuddy(m_className);
    naming->addWidget(nameLabel);
    naming->addWidget(m_className);
    naming->addStretch();
    layout->addLayout(naming);
    connect(m_className, &QLineEdit::editingFinished, this, [this] {
        m_classroom.setClassName(m_className->text());
        m_roster.className = m_classroom.className();
        setWindowTitle(QStringLiteral("クラスのようす　") + m_roster.className);
        showSheet();
    });

    m_range = plainLabel(this);
    m_range->setObjectName(QStringLiteral("ClassSheetRange"));
    layout->addWidget(m_range);

    auto *body = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addWidget(heading(QStringLiteral("ひとりひとりのようす"), this));
    m_table = new QTableWidget(0, 8, this);
    m_table->setObjectName(QStringLiteral("ClassSheetPupilTable"));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("名前"), sheetActivityCaption(0), sheetActivityCaption(1),
         sheetActivityCaption(2), sheetActivityCaption(3), QStringLiteral("答えた数"),
         QStringLiteral("まちがい"), QStringLiteral("おぼえた九九")});
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setMinimumWidth(460);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    left->addWidget(m_table, 1);
    auto *note =
        new QLabel(QStringLiteral("レベル・チャレンジは最高連続100点の回数（★はクラスの記録）、"
                                  "答えた数・まちがいはこの期間のはじめの答えです。"),
                   this);
    note->setWordWrap(true);
    left->addWidget(note);
    body->addLayout(left, 1);

    auto *right = new QVBoxLayout;
    m_gridTitle = heading(QString(), this);
    right->addWidget(m_gridTitle);
    m_grid = new QTableWidget(9, 9, this);
    m_grid->setObjectName(QStringLiteral("ClassSheetFactGrid"));
    QStringList numbers;
    for (int k = 1; k <= 9; ++k)
        numbers << QString::number(k);
    m_grid->setHorizontalHeaderLabels(numbers);
    m_grid->setVerticalHeaderLabels(numbers);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->horizontalHeader()->setDefaultSectionSize(kCellWidth);
    m_grid->verticalHeader()->setDefaultSectionSize(kCellHeight);
    m_grid->setSelectionMode(QAbstractItemView::NoSelection);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setFixedSize(m_grid->verticalHeader()->sizeHint().width() + 9 * kCellWidth + 4,
                         m_grid->horizontalHeader()->sizeHint().height() + 9 * kCellHeight + 4);
    right->addWidget(m_grid);
    QString legend = QStringLiteral("色：");
    for (int share : {0, 10, 20, 30, 40, 50})
        legend += QStringLiteral("<span style='color:%1; font-size:15pt'>■</span>%2%%3　")
                      .arg(factColour(FactTally{100, share}).name())
                      .arg(share)
                      .arg(share == 50 ? QStringLiteral("～") : QString());
    legend += QStringLiteral("<span style='color:%1; font-size:15pt'>■</span>答えなし")
                  .arg(factColour(FactTally{}).name());
    auto *legendLabel = new QLabel(legend, this);
    legendLabel->setTextFormat(Qt::RichText);
    right->addWidget(legendLabel);
    right->addWidget(new QLabel(QStringLiteral("たて：かけられる数（だん）　よこ：かける数　"
                                               "下の数：答えた問題の数"),
                                this));
    right->addSpacing(6);
    right->addWidget(heading(QStringLiteral("クラスの記録（最高連続100点）"), this));
    m_records = plainLabel(this);
    m_records->setObjectName(QStringLiteral("ClassSheetRecords"));
    right->addWidget(m_records);
    right->addSpacing(6);
    m_idle = new QLabel(this);
    m_idle->setObjectName(QStringLiteral("ClassSheetIdle"));
    m_idle->setTextFormat(Qt::RichText); // the names in it are escaped
    m_idle->setWordWrap(true);
    m_idle->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_idle->setMaximumWidth(m_grid->width());
    right->addWidget(m_idle, 1);
    body->addLayout(right);
    layout->addLayout(body, 1);
    scroll->setWidget(content);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("ClassSheetTabs"));
    m_tabs->addTab(scroll, QStringLiteral("クラスのようす"));
    outer->addWidget(m_tabs, 1);

    // The class's 九九けんてい: a line per pupil, a column per row of the table.
    auto *kentei = new QWidget(m_tabs);
    kentei->setObjectName(QStringLiteral("ClassSheetKenteiPage"));
    auto *kenteiLayout = new QVBoxLayout(kentei);
    // The heading over the buttons: the window stays as narrow as the sheet's own tab.
    kenteiLayout->addWidget(heading(QStringLiteral("九九けんてい（クラス）"), kentei));
    auto *kenteiHead = new QHBoxLayout;
    auto *cardsPrint = new QPushButton(QStringLiteral("カードを印刷（全員）..."), kentei);
    cardsPrint->setObjectName(QStringLiteral("ClassSheetCardsPrintCommand"));
    auto *cardsPdf = new QPushButton(QStringLiteral("カードをPDFに保存（全員）..."), kentei);
    cardsPdf->setObjectName(QStringLiteral("ClassSheetCardsPdfCommand"));
    kenteiHead->addWidget(cardsPrint);
    kenteiHead->addWidget(cardsPdf);
    kenteiHead->addStretch();
    kenteiLayout->addLayout(kenteiHead);
    m_kentei = new QTableWidget(0, 10, kentei);
    m_kentei->setObjectName(QStringLiteral("ClassSheetKenteiTable"));
    QStringList kenteiHeads{QStringLiteral("名前")};
    for (int row = 1; row <= 9; ++row)
        kenteiHeads << QStringLiteral("%1の段").arg(row);
    m_kentei->setHorizontalHeaderLabels(kenteiHeads);
    m_kentei->verticalHeader()->hide();
    m_kentei->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_kentei->horizontalHeader()->setDefaultSectionSize(
        m_kentei->fontMetrics().horizontalAdvance(QStringLiteral("9の段")) + 24);
    m_kentei->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_kentei->setSelectionMode(QAbstractItemView::NoSelection);
    m_kentei->verticalHeader()->setDefaultSectionSize(m_kentei->fontMetrics().height() + 6);
    kenteiLayout->addWidget(m_kentei, 1);
    auto *kenteiNote = new QLabel(
        QStringLiteral("◎：合格（あがり・さがり・ばらばらの3通りすべて、先生のはんこも入れて）　"
                       "2・1：できた通りの数　・：まだ。いちばん下の行は合格した人の数です。"
                       "シートの印刷とPDFでは2ページ目になります。"),
        kentei);
    kenteiNote->setWordWrap(true);
    kenteiLayout->addWidget(kenteiNote);
    m_tabs->addTab(kentei, QStringLiteral("九九けんてい"));

    auto *bottom = new QHBoxLayout;
    auto *statusColumn = new QVBoxLayout;
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ClassSheetProgress"));
    m_progress->setRange(0, 1000);
    m_progress->setFormat(QStringLiteral("答えの記録を読んでいます… %p%"));
    m_progress->hide();
    statusColumn->addWidget(m_progress);
    m_status = plainLabel(this);
    m_status->setObjectName(QStringLiteral("ClassSheetStatus"));
    m_status->setWordWrap(true);
    statusColumn->addWidget(m_status);
    m_logProblem = plainLabel(this);
    m_logProblem->setObjectName(QStringLiteral("ClassSheetLogProblem"));
    m_logProblem->setWordWrap(true);
    setTextColour(m_logProblem, QColor(0xC0, 0, 0));
    statusColumn->addWidget(m_logProblem);
    bottom->addLayout(statusColumn, 1);
    m_outcome = plainLabel(this);
    m_outcome->setObjectName(QStringLiteral("ClassSheetOutcome"));
    m_outcome->setWordWrap(true);
    m_outcome->hide();
    outer->addWidget(m_outcome);
    auto *close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("ClassSheetCloseCommand"));
    bottom->addWidget(close);
    outer->addLayout(bottom);

    connect(m_period, &QComboBox::currentIndexChanged, this, &frmClassSheet::showSheet);
    connect(m_pupil, &QComboBox::currentIndexChanged, this, &frmClassSheet::showSheet);
    connect(reload, &QPushButton::clicked, this, &frmClassSheet::refresh);
    connect(print, &QPushButton::clicked, this, &frmClassSheet::PrintCommand_Click);
    connect(pdf, &QPushButton::clicked, this, &frmClassSheet::PdfCommand_Click);
    connect(cardsPrint, &QPushButton::clicked, this, &frmClassSheet::CardsPrintCommand_Click);
    connect(cardsPdf, &QPushButton::clicked, this, &frmClassSheet::CardsPdfCommand_Click);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    m_readingDisables = {reload, print, pdf, cardsPrint, cardsPdf};
    // Enter in the class's name only sets the name: no button of the window is pressed by it.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);
    m_readTimer = new QTimer(this);
    m_readTimer->setInterval(0); // a slice of reading whenever no event waits
    connect(m_readTimer, &QTimer::timeout, this, &frmClassSheet::readSlice);
    resize(1020, 760);
}

frmClassSheet::~frmClassSheet() {
    stopReading();
}

bool frmClassSheet::isReading() const {
    return m_reader != nullptr || m_readingCards;
}

void frmClassSheet::stopReading() {
    // Either reading: the sheet's, or the cards' after it.
    m_readingCards = false;
    m_reader.reset();
    m_readTimer->stop();
    m_progress->hide();
}

void frmClassSheet::readSlice() {
    if (!m_reader) {
        readCardsSlice();
        return;
    }
    // About 25 ms of reading between the events: the window answers at once all the while.
    if (m_reader->readFor(25)) {
        logsRead();
        return;
    }
    const qint64 total = m_reader->bytesTotal(), done = m_reader->bytesDone();
    m_progress->setValue(total > 0 ? int(qMin<qint64>(1000, done * 1000 / total)) : 0);
}

void frmClassSheet::setToday(const QDate &today) {
    m_today = today;
    showSheet();
}

void frmClassSheet::Form_Load() {
    refresh();
}

void frmClassSheet::refresh() {
    stopReading();
    m_roster = m_classroom.classRoster();
    setWindowTitle(QStringLiteral("クラスのようす　") + m_roster.className);
    m_className->setText(m_classroom.givenClassName());
    // The logs may be large: they are read a slice at a time while the window stays usable,
    // showing the roster meanwhile.
    m_reader = std::make_unique<AnswerLogReader>(m_classroom.state().DataFolder);
    m_logs = AnswerLogs();
    for (QPushButton *button : std::as_const(m_readingDisables))
        button->setEnabled(false);
    m_progress->setValue(0);
    m_progress->show();
    m_readTimer->start();
    showSheet();
}

void frmClassSheet::logsRead() {
    m_logs = std::move(m_reader->logs());
    m_reader.reset();
    // The cards next, from the classroom's own reading of the logs (only what is new since
    // its last look), a slice at each tick like the sheet's.
    m_readingCards = true;
    // The pupil list keeps the chosen pupil while that name is still there.
    const QString chosen = m_pupil->currentIndex() > 0 ? m_pupil->currentText() : QString();
    const QSignalBlocker block(m_pupil);
    m_pupil->clear();
    m_pupil->addItem(QStringLiteral("クラス全体"));
    m_pupil->addItems(sheetPupilChoices(m_roster, m_logs));
    m_pupil->setCurrentIndex(qMax(0, m_pupil->findText(chosen)));
    showSheet();
}

void frmClassSheet::readCardsSlice() {
    if (!m_readingCards)
        return;
    QStringList names;
    for (const RosterPupil &pupil : std::as_const(m_roster.pupils))
        names << pupil.name;
    std::optional<QList<PupilCard>> cards = m_classroom.classCards(names, 25);
    if (!cards)
        return;
    m_cards = std::move(*cards);
    m_readingCards = false;
    m_readTimer->stop();
    m_progress->hide();
    for (QPushButton *button : std::as_const(m_readingDisables))
        button->setEnabled(true);
    showCards();
    showSheet();
}

void frmClassSheet::showCards() {
    const int n = int(m_cards.size());
    m_kentei->setRowCount(n + 1);
    const QColor passed(0xFF, 0xF0, 0xB0);
    for (int i = 0; i < n; ++i) {
        m_kentei->setItem(i, 0, cell(m_cards[i].name, Qt::AlignLeft | Qt::AlignVCenter));
        for (int row = 1; row <= 9; ++row) {
            QTableWidgetItem *item = cell(classCellText(m_cards[i].card, row), Qt::AlignCenter);
            if (m_cards[i].card.rowPassed(row))
                item->setBackground(passed);
            m_kentei->setItem(i, row, item);
        }
    }
    const std::array<int, 9> counts = rowPassCounts(m_cards);
    QFont bold = m_kentei->font();
    bold.setBold(true);
    QTableWidgetItem *total = cell(QStringLiteral("合格した人"), Qt::AlignLeft | Qt::AlignVCenter);
    total->setFont(bold);
    m_kentei->setItem(n, 0, total);
    for (int row = 1; row <= 9; ++row) {
        QTableWidgetItem *item = cell(QStringLiteral("%1人").arg(counts[row - 1]), Qt::AlignCenter);
        item->setFont(bold);
        item->setBackground(QColor(0xE8, 0xE8, 0xE8));
        m_kentei->setItem(n, row, item);
    }
}

void frmClassSheet::showSheet() {
    const QString pupil = m_pupil->currentIndex() > 0 ? m_pupil->currentText() : QString();
    m_sheet = buildClassSheet(m_roster, m_logs, SheetPeriod(m_period->currentIndex()), m_today,
                              pupil, Classroom::factLimitMs());
    m_sheet.logProblem = m_classroom.answerLogProblem();
    m_range->setText(QStringLiteral("期間：") + sheetRangeText(m_sheet.range) +
                     QStringLiteral("　　答えた問題：") + QString::number(m_sheet.answered) +
                     QStringLiteral("問"));

    m_table->setRowCount(int(m_sheet.pupils.size()));
    for (int row = 0; row < m_sheet.pupils.size(); ++row) {
        const PupilLine &line = m_sheet.pupils[row];
        m_table->setItem(row, 0, cell(line.name, Qt::AlignLeft | Qt::AlignVCenter));
        for (int k = 0; k < 4; ++k) {
            QTableWidgetItem *item = cell((line.holdsRecord[k] ? QStringLiteral("★") : QString()) +
                                              QString::number(line.best[k]),
                                          Qt::AlignRight | Qt::AlignVCenter);
            if (line.holdsRecord[k])
                item->setBackground(QColor(0xFF, 0xF0, 0xB0));
            m_table->setItem(row, k + 1, item);
        }
        m_table->setItem(row, 5,
                         cell(QString::number(line.answered), Qt::AlignRight | Qt::AlignVCenter));
        FactTally share{line.answered, line.wrong};
        m_table->setItem(row, 6, cell(factShareText(share), Qt::AlignRight | Qt::AlignVCenter));
        m_table->setItem(row, 7,
                         cell(QString::number(line.known), Qt::AlignRight | Qt::AlignVCenter));
    }

    m_gridTitle->setText(QStringLiteral("はじめの答えでまちがえた割合（") + sheetSubject(m_sheet) +
                         QStringLiteral("）"));
    for (int a = 1; a <= 9; ++a)
        for (int b = 1; b <= 9; ++b) {
            const FactTally &fact = m_sheet.facts[(a - 1) * 9 + (b - 1)];
            QString text = factShareText(fact);
            if (fact.answered)
                text += QStringLiteral("\n%1問").arg(fact.answered);
            const QString known = factKnownText(fact, !m_sheet.pupil.isEmpty());
            if (!known.isEmpty())
                text += u'\n' + known;
            QTableWidgetItem *item = cell(text, Qt::AlignCenter);
            item->setBackground(factColour(fact));
            item->setForeground(Qt::black);
            item->setToolTip(QStringLiteral("%1 × %2：%3問のうち %4問まちがい")
                                 .arg(a)
                                 .arg(b)
                                 .arg(fact.answered)
                                 .arg(fact.wrong));
            m_grid->setItem(a - 1, b - 1, item);
        }

    QStringList records;
    for (int k = 0; k < 4; ++k) {
        const ClassRecord &record = m_sheet.records[k];
        records << sheetActivityCaption(k) + QStringLiteral("：") +
                       (record.holder.isEmpty()
                            ? QStringLiteral("まだいません")
                            : QStringLiteral("%1さん　%2回").arg(record.holder).arg(record.run));
    }
    m_records->setText(records.join(u'\n'));
    m_idle->setText(QStringLiteral("<b>この期間に答えていない人（%1人）</b><br>%2")
                        .arg(m_sheet.idle.size())
                        .arg(m_sheet.idle.isEmpty()
                                 ? QStringLiteral("いません")
                                 : m_sheet.idle.join(QStringLiteral("、")).toHtmlEscaped()));

    QString status =
        isReading() ? QStringLiteral("答えの記録を読んでいます。")
                    : QStringLiteral("答えの記録：%1台のコンピューターのファイルを読みました。")
                          .arg(m_sheet.files.size());
    if (m_sheet.damagedLines)
        status += QStringLiteral("読めない行が %1 行あったので、とばしました。")
                      .arg(m_sheet.damagedLines);
    if (!m_sheet.unreadable.isEmpty())
        status +=
            QStringLiteral("読めないファイル：") + m_sheet.unreadable.join(QStringLiteral("、"));
    m_status->setText(status);
    m_logProblem->setText(m_sheet.logProblem);
    m_logProblem->setVisible(!m_sheet.logProblem.isEmpty());
}

void frmClassSheet::PrintCommand_Click() {
    const PrintResult result = printPages(
        this, windowTitle(), QStringLiteral("クラスのようすを印刷"), classSheetPages(m_cards),
        [this](QPainter &painter, const QRect &page, int index) {
            paintClassSheetPages(painter, page, m_sheet, m_cards, QDate::currentDate(), index);
        });
    if (result == PrintResult::Failed || result == PrintResult::NoModule)
        showOutcome(QStringLiteral("印刷できませんでした。"), true);
}

QString frmClassSheet::pdfPath(const QString &fileName) {
    if (m_pdfPathHook)
        return m_pdfPathHook();
    // The Documents folder, or the data folder where there is none (never the root).
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = m_classroom.state().DataFolder;
    const QString suggested =
        folder + u'/' +
        fileName.arg(QString(m_roster.className)
                         .replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|]")),
                                  QStringLiteral("_")),
                     m_today.toString(QStringLiteral("yyyyMMdd")));
    return QFileDialog::getSaveFileName(this, QStringLiteral("PDFに保存"), suggested,
                                        QStringLiteral("PDF (*.pdf)"));
}

void frmClassSheet::PdfCommand_Click() {
    const QString path = pdfPath(QStringLiteral("クラスのようす_%1_%2.pdf"));
    if (path.isEmpty())
        return;
    const QString problem = writeClassSheetPdf(path, m_sheet, QDate::currentDate(), m_cards);
    showOutcome((problem.isEmpty() ? QStringLiteral("PDFに保存しました：") : problem + u'\n') +
                    QDir::toNativeSeparators(path),
                !problem.isEmpty());
}

void frmClassSheet::CardsPrintCommand_Click() {
    if (m_cards.isEmpty())
        return showOutcome(QStringLiteral("名簿に児童がいないので、カードはありません。"), true);
    const PrintResult result =
        printPages(this, QStringLiteral("九九カード　") + m_roster.className,
                   QStringLiteral("九九カードを印刷（全員）"), int(m_cards.size()),
                   [this](QPainter &painter, const QRect &page, int index) {
                       paintKukuCardPage(painter, page, m_cards[index], m_roster.className,
                                         QDate::currentDate());
                   });
    if (result == PrintResult::Failed || result == PrintResult::NoModule)
        showOutcome(QStringLiteral("印刷できませんでした。"), true);
}

void frmClassSheet::CardsPdfCommand_Click() {
    if (m_cards.isEmpty())
        return showOutcome(QStringLiteral("名簿に児童がいないので、カードはありません。"), true);
    const QString path = pdfPath(QStringLiteral("九九カード_%1_%2.pdf"));
    if (path.isEmpty())
        return;
    const QString problem =
        writeKukuCardsPdf(path, m_cards, m_roster.className, QDate::currentDate());
    showOutcome((problem.isEmpty() ? QStringLiteral("PDFに保存しました：") : problem + u'\n') +
                    QDir::toNativeSeparators(path),
                !problem.isEmpty());
}

void frmClassSheet::showOutcome(const QString &text, bool failed) {
    // Under the sheet rather than in a box: the teacher reads it there, nothing waits.
    m_outcome->setText(text);
    setTextColour(m_outcome, failed ? QColor(0xC0, 0, 0) : QColor(Qt::black));
    m_outcome->show();
}
