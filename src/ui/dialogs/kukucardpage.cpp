#include "ui/dialogs/kukucardpage.h"

#include "ui/dialogs/classsheetpage.h"

#include <QPainter>

namespace {

const QColor kInk(0x30, 0x30, 0x30);
const QColor kOwnStamp(0xD0, 0x30, 0x30); // the pupil's own pass: a red round stamp
const QColor kOwnFill(0xFF, 0xE8, 0xE8);
const QColor kTeacherStamp(0x20, 0x50, 0xC0); // the teacher's: a blue square one
const QColor kTeacherFill(0xE4, 0xEC, 0xFF);
const QColor kPassedRow(0xFF, 0xF4, 0xC0); // a row done all three ways
const QColor kHead(0xE8, 0xE8, 0xE8);

// The card's columns in millimetres: the row's name, the three ways, ごうかく.
constexpr qreal kLabelW = 24, kWayW = 44, kPassW = 30;

void drawOwnStamp(QPainter &p, const PageScale &m, const QRectF &r) {
    p.setPen(QPen(kOwnStamp, m.px(0.7)));
    p.setBrush(kOwnFill);
    p.drawEllipse(r);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r.adjusted(m.px(1), m.px(1), -m.px(1), -m.px(1)));
    // The word fits inside the inner ring whatever the stamp's size.
    p.setFont(m.font(r.width() / m.perMm * 0.21, true));
    p.drawText(r, Qt::AlignCenter, QStringLiteral("できた"));
}

void drawTeacherStamp(QPainter &p, const PageScale &m, const QRectF &r) {
    p.setPen(QPen(kTeacherStamp, m.px(0.7)));
    p.setBrush(kTeacherFill);
    p.drawRect(r.adjusted(m.px(0.8), m.px(0.8), -m.px(0.8), -m.px(0.8)));
    p.setBrush(Qt::NoBrush);
    p.setFont(m.font(r.width() / m.perMm * 0.29, true));
    p.drawText(r, Qt::AlignCenter, QStringLiteral("先生"));
}

// One way of one row: the stamp, then the day it was done.
void drawCell(QPainter &p, const PageScale &m, const QRectF &cell, const CardCell &c) {
    if (!c.done())
        return;
    const qreal size = m.px(12.5);
    const QRectF stamp(cell.left() + m.px(3), cell.center().y() - size / 2, size, size);
    if (c.passed.isValid())
        drawOwnStamp(p, m, stamp);
    else
        drawTeacherStamp(p, m, stamp);
    p.setPen(kInk);
    drawFitted(p,
               QRectF(stamp.right() + m.px(1.5), cell.top(),
                      cell.right() - stamp.right() - m.px(2.5), cell.height()),
               cardDayText(c.passed.isValid() ? c.passed : c.stamped), m.font(4.2),
               Qt::AlignLeft | Qt::AlignVCenter);
}

// The nine readings of the row in two lines (five and four), each in its own place; false
// when they do not fit at a size a child can read, and nothing is drawn then.
bool drawReadings(QPainter &p, const PageScale &m, const QRectF &band, int row) {
    const qreal lineH = band.height() / 2, colW = band.width() / 5;
    const QFont font = m.font(3.3);
    const int smallest = qRound(m.px(2.4));
    p.setFont(font);
    for (int b = 1; b <= 9; ++b) {
        const QRectF need =
            p.boundingRect(QRectF(0, 0, colW * 4, lineH * 4), Qt::AlignLeft, kukuReading(row, b));
        const qreal shrink = qMin(1.0, (colW - m.px(1)) / need.width());
        if (font.pixelSize() * shrink < smallest)
            return false;
    }
    p.setPen(kInk);
    for (int b = 1; b <= 9; ++b) {
        const int line = b <= 5 ? 0 : 1, col = b <= 5 ? b - 1 : b - 6;
        const QRectF r(band.left() + colW * col + m.px(0.5), band.top() + lineH * line,
                       colW - m.px(1), lineH);
        drawFitted(p, r, kukuReading(row, b), font, Qt::AlignLeft | Qt::AlignVCenter, smallest);
    }
    return true;
}

void drawHeading(QPainter &p, const PageScale &m, qreal width, const QString &title,
                 const QString &right, const QString &under) {
    p.setPen(Qt::black);
    drawFitted(p, m.rect(0, 0, width * 0.55, 11), title, m.font(7.5, true),
               Qt::AlignLeft | Qt::AlignVCenter);
    drawFitted(p, m.rect(width * 0.55, 0, width * 0.45, 11), right, m.font(6),
               Qt::AlignRight | Qt::AlignVCenter);
    drawFitted(p, m.rect(0, 12, width, 6), under, m.font(3.4), Qt::AlignLeft | Qt::AlignVCenter);
    p.setPen(QPen(Qt::black, m.px(0.3)));
    p.drawLine(m.rect(0, 19, width, 0).topLeft(), m.rect(0, 19, width, 0).topRight());
}

} // namespace

QString cardDayText(const QDate &day) {
    return day.isValid() ? QStringLiteral("%1月%2日").arg(day.month()).arg(day.day()) : QString();
}

void paintKukuCardPage(QPainter &p, const QRect &page, const PupilCard &pupil,
                       const QString &className, const QDate &printed) {
    const PageScale m = a4Scale(page, 12);
    const qreal width = 210 - 24;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    drawHeading(p, m, width, QStringLiteral("九九カード"), QStringLiteral("なまえ　") + pupil.name,
                className + QStringLiteral("　　") +
                    printed.toString(QStringLiteral("yyyy年M月d日")));

    // What the marks mean, in the pupil's words.
    const qreal ly = 21;
    drawOwnStamp(p, m, m.rect(0, ly, 9, 9));
    p.setPen(kInk);
    p.setFont(m.font(3.4));
    p.drawText(m.rect(10.5, ly, 48, 9), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("じぶんで できた"));
    drawTeacherStamp(p, m, m.rect(58, ly, 9, 9));
    p.setPen(kInk);
    p.setFont(m.font(3.4));
    p.drawText(m.rect(68.5, ly, 48, 9), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("先生に きいて もらった"));
    p.fillRect(m.rect(122, ly + 1.5, 9, 6), kPassedRow);
    p.drawText(m.rect(132.5, ly, width - 132.5, 9), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("3つ ぜんぶで ごうかく"));

    // The table: a head line, then a band per row of the table with its readings under it.
    const qreal top = 33, headH = 8, rowH = (297 - 12 - top - headH - 2) / 9.0, cellH = 16;
    const qreal xs[5] = {0, kLabelW, kLabelW + kWayW, kLabelW + 2 * kWayW, kLabelW + 3 * kWayW};
    const qreal ws[5] = {kLabelW, kWayW, kWayW, kWayW, kPassW};
    const QString heads[5] = {QStringLiteral("だん"), checkWayLabel(CheckWay::Up),
                              checkWayLabel(CheckWay::Down), checkWayLabel(CheckWay::Mixed),
                              QStringLiteral("ごうかく")};
    p.setPen(QPen(kInk, m.px(0.25)));
    for (int c = 0; c < 5; ++c) {
        const QRectF r = m.rect(xs[c], top, ws[c], headH);
        p.fillRect(r, kHead);
        p.drawRect(r);
        drawFitted(p, r, heads[c], m.font(4, true), Qt::AlignCenter);
    }
    for (int row = 1; row <= 9; ++row) {
        const qreal y = top + headH + rowH * (row - 1);
        const bool passed = pupil.card.rowPassed(row);
        const QRectF band = m.rect(0, y, width, rowH);
        if (passed)
            p.fillRect(band, kPassedRow);
        p.setPen(QPen(kInk, m.px(0.25)));
        p.drawRect(band);
        const QRectF label = m.rect(0, y, kLabelW, cellH);
        p.setPen(Qt::black);
        drawFitted(p, label, QStringLiteral("%1のだん").arg(row), m.font(5, true), Qt::AlignCenter);
        for (int way = 0; way < kCheckWays; ++way) {
            const QRectF cell = m.rect(xs[way + 1], y, kWayW, cellH);
            p.setPen(QPen(kInk, m.px(0.25)));
            p.drawRect(cell);
            drawCell(p, m, cell, pupil.card.cell(row, CheckWay(way)));
        }
        const QRectF pass = m.rect(xs[4], y, kPassW, cellH);
        p.setPen(QPen(kInk, m.px(0.25)));
        p.drawRect(pass);
        if (passed) {
            const QRectF mark = pass.adjusted(m.px(2.5), m.px(3), -m.px(2.5), -m.px(3));
            p.setPen(QPen(kOwnStamp, m.px(0.8)));
            p.drawRoundedRect(mark, m.px(2), m.px(2));
            drawFitted(p, mark, QStringLiteral("ごうかく"), m.font(4.6, true), Qt::AlignCenter);
        }
        drawReadings(p, m, m.rect(1, y + cellH, width - 2, rowH - cellH), row);
    }
    p.restore();
}

void paintKenteiClassPage(QPainter &p, const QRect &page, const QList<PupilCard> &cards,
                          const QString &className, const QDate &printed) {
    const PageScale m = a4Scale(page, 12);
    const qreal width = 210 - 24;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    drawHeading(p, m, width, QStringLiteral("九九けんてい　クラスのようす"), className,
                QStringLiteral("◎ 合格（3通りすべて）　2・1 できた通りの数　・ まだ　　印刷日　") +
                    printed.toString(QStringLiteral("yyyy年M月d日")));

    const int n = int(cards.size());
    const qreal top = 22, nameW = 51, colW = (width - nameW) / 9;
    const qreal rowH = qMin<qreal>(7.0, (297 - 12 - top) / (n + 2));
    const auto line = [&](int i, const QString &name, const std::array<QString, 9> &cells,
                          bool head) {
        const qreal y = top + rowH * i;
        const QRectF nameCell = m.rect(0, y, nameW, rowH);
        if (head)
            p.fillRect(m.rect(0, y, width, rowH), kHead);
        else if (i % 2 == 0)
            p.fillRect(m.rect(0, y, width, rowH), QColor(0xF4, 0xF4, 0xF4));
        p.setPen(QPen(kInk, m.px(0.2)));
        p.drawRect(nameCell);
        p.setPen(Qt::black);
        drawFitted(p, nameCell.adjusted(m.px(1), 0, -m.px(1), 0), name,
                   m.font(qMin<qreal>(3.4, rowH * 0.62), head), Qt::AlignLeft | Qt::AlignVCenter);
        for (int k = 0; k < 9; ++k) {
            const QRectF r = m.rect(nameW + colW * k, y, colW, rowH);
            if (cells[k] == QStringLiteral("◎"))
                p.fillRect(r, kPassedRow);
            p.setPen(QPen(kInk, m.px(0.2)));
            p.drawRect(r);
            p.setPen(Qt::black);
            drawFitted(p, r, cells[k], m.font(qMin<qreal>(3.6, rowH * 0.66), head),
                       Qt::AlignCenter);
        }
    };
    std::array<QString, 9> heads;
    for (int row = 1; row <= 9; ++row)
        heads[row - 1] = QStringLiteral("%1の段").arg(row);
    line(0, QStringLiteral("名前"), heads, true);
    for (int i = 0; i < n; ++i) {
        std::array<QString, 9> cells;
        for (int row = 1; row <= 9; ++row)
            cells[row - 1] = classCellText(cards[i].card, row);
        line(i + 1, cards[i].name, cells, false);
    }
    const std::array<int, 9> counts = rowPassCounts(cards);
    std::array<QString, 9> totals;
    for (int k = 0; k < 9; ++k)
        totals[k] = QStringLiteral("%1人").arg(counts[k]);
    line(n + 1, QStringLiteral("合格した人"), totals, true);
    p.restore();
}

QString writeKukuCardsPdf(const QString &path, const QList<PupilCard> &cards,
                          const QString &className, const QDate &printed) {
    if (cards.isEmpty())
        return QStringLiteral("カードにする児童がいません。");
    return writePdfPages(path,
                         cards.size() == 1 ? QStringLiteral("九九カード　") + cards[0].name
                                           : QStringLiteral("九九カード　") + className,
                         int(cards.size()), [&](QPainter &painter, const QRect &page, int index) {
                             paintKukuCardPage(painter, page, cards[index], className, printed);
                         });
}
