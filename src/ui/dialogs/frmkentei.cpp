#include "ui/dialogs/frmkentei.h"

#include "classroom/classroom.h"
#include "core/keys.h"
#include "core/numericvalue.h"
#include "print/paperprint.h"
#include "ui/dialogs/kukucardpage.h"
#include "ui/main/accessibility.h"
#include "ui/main/answerbox.h"
#include "ui/main/geometry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QColor kPassedColour(170, 230, 170);
const QColor kStampedColour(190, 210, 255);

QLabel *textLabel(const QString &text, QWidget *parent, qreal points) {
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setFont(designFont(points));
    return label;
}

QPushButton *button(const QString &text, const QString &name, QWidget *parent) {
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setFont(designFont(12));
    b->setAutoDefault(false);
    b->setMinimumHeight(40);
    return b;
}

QString fullWidth(int n) {
    QString text;
    for (QChar c : QString::number(n))
        text += QChar(c.unicode() - u'0' + 0xFF10);
    return text;
}

QString seconds(int ms) {
    return QString::number(ms / 1000.0, 'f', 1) + QStringLiteral(" びょう");
}

} // namespace

QString frmKentei::cellText(const CardCell &cell) {
    const QDate day = cell.passed.isValid() ? cell.passed : cell.stamped;
    if (!day.isValid())
        return QString();
    const QString date = QStringLiteral("%1/%2").arg(day.month()).arg(day.day());
    return cell.passed.isValid() ? QStringLiteral("◎ ") + date : QStringLiteral("先生 ◎ ") + date;
}

frmKentei::frmKentei(Classroom &classroom, std::function<bool()> teacherAllowed, QWidget *parent)
    : QDialog(parent), m_classroom(classroom), m_teacherAllowed(std::move(teacherAllowed)) {
    setObjectName(QStringLiteral("frmKentei"));
    setWindowTitle(QStringLiteral("九九けんてい"));
    auto *layout = new QVBoxLayout(this);
    m_rows = m_classroom.taughtRows();

    auto *rows = new QHBoxLayout;
    for (int row = 1; row <= 9; ++row) {
        auto *b = button(QStringLiteral("%1のだん").arg(row),
                         QStringLiteral("KenteiRowCommand_%1").arg(row), this);
        b->setProperty("index", row);
        b->setCheckable(true);
        b->setEnabled(rowTaught(m_rows, row));
        connect(b, &QPushButton::clicked, this, [this, row] { chooseRow(row); });
        rows->addWidget(b);
        m_rowButtons << b;
    }
    layout->addLayout(rows);
    auto *ways = new QHBoxLayout;
    for (int way = 0; way < kCheckWays; ++way) {
        auto *b = button(checkWayLabel(CheckWay(way)),
                         QStringLiteral("KenteiWayCommand_%1").arg(way), this);
        b->setProperty("index", way);
        b->setCheckable(true);
        connect(b, &QPushButton::clicked, this, [this, way] { chooseWay(CheckWay(way)); });
        ways->addWidget(b);
        m_wayButtons << b;
    }
    m_start = button(QStringLiteral("はじめる"), QStringLiteral("KenteiStartCommand"), this);
    connect(m_start, &QPushButton::clicked, this, &frmKentei::start);
    ways->addSpacing(24);
    ways->addWidget(m_start);
    layout->addLayout(ways);

    auto *ask = new QHBoxLayout;
    m_question = textLabel(QString(), this, 28);
    m_question->setObjectName(QStringLiteral("KenteiQuestionLabel"));
    m_question->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_box = new AnswerBox(QStringLiteral("KenteiAnswerTextBox"), 0, this);
    m_box->setFixedWidth(110);
    m_box->setReadOnly(true);
    connect(m_box, &AnswerBox::keyDown, this, &frmKentei::answer);
    m_clock = textLabel(QString(), this, 18);
    m_clock->setObjectName(QStringLiteral("KenteiClockLabel"));
    setTextColour(m_clock, Colours::ClockGreen);
    ask->addWidget(m_question, 1);
    ask->addWidget(m_box);
    ask->addWidget(m_clock, 1);
    layout->addLayout(ask);
    m_message = textLabel(QStringLiteral("だんと やりかたを えらんで、「はじめる」を おしてね。"),
                          this, 15);
    m_message->setObjectName(QStringLiteral("KenteiMessageLabel"));
    m_message->setWordWrap(true);
    layout->addWidget(m_message);

    // 九九カード: a row per row of the table, a column per way, and ごうかく.
    auto *card = new QGridLayout;
    card->setSpacing(2);
    card->addWidget(textLabel(QStringLiteral("九九カード"), this, 13), 0, 0);
    for (int way = 0; way < kCheckWays; ++way)
        card->addWidget(textLabel(checkWayLabel(CheckWay(way)), this, 13), 0, way + 1);
    card->addWidget(textLabel(QStringLiteral("ごうかく"), this, 13), 0, kCheckWays + 1);
    for (int row = 1; row <= 9; ++row) {
        card->addWidget(textLabel(QStringLiteral("%1のだん").arg(row), this, 13), row, 0);
        for (int way = 0; way < kCheckWays; ++way) {
            auto *cell = textLabel(QString(), this, 12);
            cell->setObjectName(QStringLiteral("KenteiCardCell_%1_%2").arg(row).arg(way));
            cell->setMinimumSize(110, 30);
            cell->setFrameShape(QFrame::Box);
            cell->setAutoFillBackground(true);
            card->addWidget(cell, row, way + 1);
            m_cells << cell;
        }
        auto *passed = textLabel(QString(), this, 13);
        passed->setObjectName(QStringLiteral("KenteiRowPassedLabel_%1").arg(row));
        passed->setMinimumWidth(90);
        setTextColour(passed, Colours::Red);
        card->addWidget(passed, row, kCheckWays + 1);
        m_passedRows << passed;
    }
    layout->addLayout(card);

    auto *buttons = new QHBoxLayout;
    m_stamp = button(QStringLiteral("先生の はんこ"), QStringLiteral("KenteiStampCommand"), this);
    connect(m_stamp, &QPushButton::clicked, this, &frmKentei::stamp);
    auto *close = button(QStringLiteral("とじる"), QStringLiteral("KenteiCloseCommand"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto *print =
        button(QStringLiteral("カードを いんさつ"), QStringLiteral("KenteiCardPrintCommand"), this);
    connect(print, &QPushButton::clicked, this, &frmKentei::printCard);
    auto *pdf =
        button(QStringLiteral("PDFに ほぞん"), QStringLiteral("KenteiCardPdfCommand"), this);
    connect(pdf, &QPushButton::clicked, this, &frmKentei::saveCardPdf);
    // A card is somebody's: nothing to print while nobody is signed in.
    print->setEnabled(!m_classroom.pupilName().isEmpty());
    pdf->setEnabled(print->isEnabled());
    buttons->addWidget(m_stamp);
    buttons->addStretch();
    buttons->addWidget(print);
    buttons->addWidget(pdf);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    m_ticker = new QTimer(this);
    m_ticker->setInterval(100);
    connect(m_ticker, &QTimer::timeout, this, &frmKentei::tick);
    for (int row : {5, 2, 3, 4, 6, 7, 8, 9, 1})
        if (rowTaught(m_rows, row)) {
            chooseRow(row);
            break;
        }
    chooseWay(CheckWay::Up);
    showCard();
}

void frmKentei::chooseRow(int row) {
    if (m_check && m_check->running())
        return;
    m_row = row;
    for (QPushButton *b : std::as_const(m_rowButtons))
        b->setChecked(b->property("index").toInt() == row);
}

void frmKentei::chooseWay(CheckWay way) {
    if (m_check && m_check->running())
        return;
    m_way = way;
    for (QPushButton *b : std::as_const(m_wayButtons))
        b->setChecked(b->property("index").toInt() == int(way));
}

void frmKentei::start() {
    m_check = m_classroom.startCheck(m_row, m_way);
    if (!m_check)
        return;
    const int limit = m_check->limitMs();
    m_message->setText(
        QStringLiteral("%1のだん %2。").arg(m_row).arg(checkWayLabel(m_way)) +
        (limit ? QStringLiteral("%1 びょう いないで ぜんぶ こたえよう。").arg(limit / 1000)
               : QStringLiteral("ぜんぶ こたえよう。")));
    m_since.start();
    m_ticker->start();
    tick();
    showQuestion();
}

void frmKentei::showQuestion() {
    const QString text = QStringLiteral("%1　×　%2　＝　")
                             .arg(fullWidth(m_check->row()), fullWidth(m_check->multiplier()));
    m_question->setText(text);
    m_box->setText(QString());
    m_box->newQuestion();
    m_box->setQuestion(text.trimmed());
    m_box->setReadOnly(false);
    m_box->setFocus(Qt::OtherFocusReason);
    // Timed here, not by the box: one box answers all nine and keeps the focus between them,
    // so the box's own clock (started when it gets the focus) would not start again.
    m_asked.start();
}

void frmKentei::keyPressEvent(QKeyEvent *event) {
    // Enter in the answer box answers; it must not press a button as well.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (focusWidget() == m_box || m_enterAnswered)) {
        m_enterAnswered = false;
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmKentei::answer(int, qint16 keyCode) {
    if (isEditingKey(keyCode) || keyCode != VK::Return || !m_check || !m_check->running() ||
        m_box->text().isEmpty())
        return;
    const int given = int(numericValue(m_box->text()));
    const KukuCheck::Outcome outcome =
        m_classroom.answerCheck(*m_check, given, int(m_asked.elapsed()));
    if (outcome == KukuCheck::Outcome::Running) {
        showQuestion();
        return;
    }
    m_enterAnswered = true;
    finish(outcome);
}

void frmKentei::finish(KukuCheck::Outcome outcome) {
    m_ticker->stop();
    m_clock->setText(seconds(m_check->totalMs()));
    m_box->setReadOnly(true);
    const FactAnswer &last = m_check->lastAnswer();
    switch (outcome) {
    case KukuCheck::Outcome::Passed:
        m_message->setText(QStringLiteral("ごうかく！ %1のだん %2、%3。")
                               .arg(m_row)
                               .arg(checkWayLabel(m_way), seconds(m_check->totalMs())));
        break;
    case KukuCheck::Outcome::TooSlow:
        m_message->setText(QStringLiteral("ぜんぶ せいかい！ %1。つぎは %2 びょう いないを "
                                          "めざそう。")
                               .arg(seconds(m_check->totalMs()))
                               .arg(m_check->limitMs() / 1000));
        break;
    default:
        m_box->setText(QString::number(last.a * last.b));
        m_message->setText(QStringLiteral("おしい！ %1 × %2 は %3（%4）。もういちど やってみよう。")
                               .arg(last.a)
                               .arg(last.b)
                               .arg(last.a * last.b)
                               .arg(kukuReading(last.a, last.b)));
        break;
    }
    announce(m_message, m_message->text());
    m_start->setText(QStringLiteral("もういちど"));
    m_start->setFocus(Qt::OtherFocusReason);
    showCard();
}

void frmKentei::stamp() {
    if (m_check && m_check->running())
        return;
    if (!m_teacherAllowed || !m_teacherAllowed())
        return;
    m_classroom.stampCheck(m_row, m_way);
    showCard();
}

void frmKentei::tick() {
    m_clock->setText(seconds(int(m_since.elapsed())));
}

void frmKentei::showCard() {
    const KukuCard card = m_classroom.kukuCard();
    for (int row = 1; row <= 9; ++row) {
        for (int way = 0; way < kCheckWays; ++way) {
            const CardCell &cell = card.cell(row, CheckWay(way));
            QLabel *label = m_cells[(row - 1) * kCheckWays + way];
            label->setText(cellText(cell));
            setBackgroundColour(label, cell.passed.isValid()    ? kPassedColour
                                       : cell.stamped.isValid() ? kStampedColour
                                                                : Colours::White);
            setTextColour(label, Colours::Black);
        }
        m_passedRows[row - 1]->setText(card.rowPassed(row) ? QStringLiteral("ごうかく")
                                                           : QString());
    }
}

PupilCard frmKentei::pupilCard() {
    return {m_classroom.pupilName(), m_classroom.kukuCard()};
}

void frmKentei::printCard() {
    if (m_check && m_check->running())
        return;
    const PupilCard card = pupilCard();
    const QString className = m_classroom.className();
    const PrintResult result = printPages(
        this, QStringLiteral("九九カード　") + card.name, QStringLiteral("カードを いんさつ"), 1,
        [&](QPainter &painter, const QRect &page, int) {
            paintKukuCardPage(painter, page, card, className, QDate::currentDate());
        });
    if (result == PrintResult::Failed || result == PrintResult::NoModule)
        m_message->setText(QStringLiteral("いんさつ できませんでした。先生に いってね。"));
}

void frmKentei::saveCardPdf() {
    if (m_check && m_check->running())
        return;
    const PupilCard card = pupilCard();
    QString path;
    if (m_pdfPathHook) {
        path = m_pdfPathHook();
    } else {
        // The Documents folder, or the data folder where there is none.
        QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = m_classroom.state().DataFolder;
        const QString suggested =
            folder + QStringLiteral("/九九カード_%1_%2.pdf")
                         .arg(QString(card.name).replace(
                                  QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|]")),
                                  QStringLiteral("_")),
                              QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
        path = QFileDialog::getSaveFileName(this, QStringLiteral("PDFに ほぞん"), suggested,
                                            QStringLiteral("PDF (*.pdf)"));
    }
    if (path.isEmpty())
        return;
    const QString problem =
        writeKukuCardsPdf(path, {card}, m_classroom.className(), QDate::currentDate());
    m_message->setText(problem.isEmpty()
                           ? QStringLiteral("PDFに ほぞん しました。")
                           : QStringLiteral("ほぞん できませんでした。先生に いってね。"));
}

frmKenteiSettings::frmKenteiSettings(Classroom &classroom, QWidget *parent)
    : QDialog(parent), m_classroom(classroom) {
    setObjectName(QStringLiteral("frmKenteiSettings"));
    setWindowTitle(QStringLiteral("九九けんていの設定"));
    auto *layout = new QVBoxLayout(this);
    auto *rowsLabel =
        new QLabel(QStringLiteral("クラスで習った段（九九けんていと、にがて れんしゅうに出します。"
                                  "このフォルダーを使うすべてのコンピューターに同じに効きます）："),
                   this);
    rowsLabel->setWordWrap(true);
    layout->addWidget(rowsLabel);
    auto *rows = new QHBoxLayout;
    const quint16 taught = m_classroom.taughtRows();
    // In the order the textbooks teach them.
    for (int row : {5, 2, 3, 4, 6, 7, 8, 9, 1}) {
        auto *box = new QCheckBox(QStringLiteral("%1の段").arg(row), this);
        box->setObjectName(QStringLiteral("KenteiTaughtCheck_%1").arg(row));
        box->setProperty("index", row);
        box->setChecked(rowTaught(taught, row));
        rows->addWidget(box);
        m_rowChecks << box;
    }
    layout->addLayout(rows);
    auto *limits = new QGridLayout;
    limits->addWidget(new QLabel(QStringLiteral("時間の決まり（このコンピューター）："), this), 0,
                      0, 1, 2);
    for (int way = 0; way < kCheckWays; ++way) {
        auto *label = new QLabel(checkWayLabel(CheckWay(way)), this);
        auto *combo = new QComboBox(this);
        combo->setObjectName(QStringLiteral("KenteiLimitCombo_%1").arg(way));
        combo->setProperty("index", way);
        for (int ms : kCheckLimitsMs)
            combo->addItem(ms ? QStringLiteral("%1秒以内").arg(ms / 1000)
                              : QStringLiteral("時間は見ない"),
                           ms);
        combo->setCurrentIndex(combo->findData(Classroom::checkLimitMs(CheckWay(way))));
        label->setBuddy(combo);
        limits->addWidget(label, way + 1, 0);
        limits->addWidget(combo, way + 1, 1);
        m_limitCombos << combo;
    }
    layout->addLayout(limits);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("KenteiSettingsProblemLabel"));
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->setWordWrap(true);
    layout->addWidget(m_problem);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("KenteiSettingsOK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &frmKenteiSettings::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void frmKenteiSettings::save() {
    quint16 rows = 0;
    for (QCheckBox *box : std::as_const(m_rowChecks))
        if (box->isChecked())
            rows |= quint16(1u << box->property("index").toInt());
    for (QComboBox *combo : std::as_const(m_limitCombos))
        Classroom::setCheckLimitMs(CheckWay(combo->property("index").toInt()),
                                   combo->currentData().toInt());
    const QString problem = m_classroom.setTaughtRows(rows);
    if (!problem.isEmpty()) {
        m_problem->setText(QStringLiteral("習った段を保存できませんでした：") + problem);
        return;
    }
    accept();
}
