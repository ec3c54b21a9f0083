#include "ui/dialogs/classsheetpage.h"

#include "ui/dialogs/kukucardpage.h"
#include "ui/main/geometry.h"

#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QtMath>

namespace {

// Lines and text: a dark grey that prints crisply on any printer.
const QColor kInk(0x30, 0x30, 0x30);

QString wrongShareText(int answered, int wrong) {
    return answered ? QString::number(qRound(100.0 * wrong / answered)) + u'%'
                    : QStringLiteral("－");
}

void drawGrid(QPainter &p, const PageScale &m, const ClassSheet &sheet, qreal x, qreal y) {
    const qreal head = 7, cellW = 9.2, cellH = 8;
    p.setPen(QPen(kInk, m.px(0.2)));
    const QRectF corner = m.rect(x, y, head, 6);
    p.fillRect(corner, QColor(0xE0, 0xE0, 0xE0));
    p.setFont(m.font(3.2, true));
    p.drawText(corner, Qt::AlignCenter, QStringLiteral("×"));
    for (int k = 0; k < 9; ++k) {
        const QRectF top = m.rect(x + head + cellW * k, y, cellW, 6);
        const QRectF side = m.rect(x, y + 6 + cellH * k, head, cellH);
        p.fillRect(top, QColor(0xE0, 0xE0, 0xE0));
        p.fillRect(side, QColor(0xE0, 0xE0, 0xE0));
        p.drawText(top, Qt::AlignCenter, QString::number(k + 1));
        p.drawText(side, Qt::AlignCenter, QString::number(k + 1));
    }
    for (int a = 1; a <= 9; ++a)
        for (int b = 1; b <= 9; ++b) {
            const FactTally &fact = sheet.facts[(a - 1) * 9 + (b - 1)];
            const QRectF cell =
                m.rect(x + head + cellW * (b - 1), y + 6 + cellH * (a - 1), cellW, cellH);
            p.fillRect(cell, factColour(fact));
            p.drawRect(cell);
            p.setFont(m.font(3.0, true));
            p.drawText(cell.adjusted(0, 0, 0, -cell.height() * 0.4),
                       Qt::AlignHCenter | Qt::AlignBottom, factShareText(fact));
            if (fact.answered) {
                p.setFont(m.font(2.2));
                p.drawText(cell.adjusted(0, cell.height() * 0.6, 0, 0),
                           Qt::AlignHCenter | Qt::AlignTop,
                           QString::number(fact.answered) + QStringLiteral("問"));
            }
            // Beside the wrong share: how many know the fact (the class: their share; one
            // pupil: ◎ when known).
            p.setFont(m.font(2.2, true));
            p.drawText(cell.adjusted(0, m.px(0.3), -m.px(0.6), 0), Qt::AlignRight | Qt::AlignTop,
                       factKnownText(fact, !sheet.pupil.isEmpty()));
        }
    // The legend under the grid.
    const qreal ly = y + 6 + cellH * 9 + 2;
    p.setFont(m.font(2.6));
    const int steps[] = {0, 10, 20, 30, 40, 50};
    for (int i = 0; i < 6; ++i) {
        FactTally sample{100, steps[i]};
        const QRectF swatch = m.rect(x + 13.5 * i, ly, 4, 4);
        p.fillRect(swatch, factColour(sample));
        p.drawRect(swatch);
        p.drawText(m.rect(x + 13.5 * i + 4.8, ly - 1, 9, 6), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::number(steps[i]) +
                       (i == 5 ? QStringLiteral("%～") : QStringLiteral("%")));
    }
    const QRectF none = m.rect(x, ly + 5.5, 4, 4);
    p.fillRect(none, factColour(FactTally{}));
    p.drawRect(none);
    p.drawText(m.rect(x + 4.8, ly + 4.5, 80, 6), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("答えなし　　数字の下は答えた問題の数　　右上の◎はおぼえた人の割合"));
}

void drawTable(QPainter &p, const PageScale &m, const ClassSheet &sheet, qreal x, qreal y,
               qreal width, qreal height) {
    const int n = int(sheet.pupils.size());
    // One column of rows while they stay at least 4.6 mm high, two side by side beyond.
    const int blocks = (n + 1) * 4.6 <= height ? 1 : 2;
    const int perBlock = qMax(1, (n + blocks - 1) / blocks);
    const qreal gap = 4;
    const qreal blockW = (width - gap * (blocks - 1)) / blocks;
    const qreal rowH = qMin<qreal>(6.0, height / (perBlock + 1));
    // Name, the four runs, the answers and the wrong share, in shares of the block's width.
    const qreal shares[8] = {0.27, 0.095, 0.095, 0.095, 0.115, 0.11, 0.11, 0.11};
    const QString heads[8] = {QStringLiteral("名前"),     sheetActivityCaption(0),
                              sheetActivityCaption(1),    sheetActivityCaption(2),
                              sheetActivityCaption(3),    QStringLiteral("答えた数"),
                              QStringLiteral("まちがい"), QStringLiteral("おぼえた九九")};
    const QFont headFont = m.font(qMin<qreal>(2.9, rowH * 0.62), true);
    const QFont cellFont = m.font(qMin<qreal>(3.0, rowH * 0.66));
    p.setPen(QPen(kInk, m.px(0.2)));
    for (int block = 0; block < blocks; ++block) {
        const qreal bx = x + block * (blockW + gap);
        qreal cx = bx;
        for (int c = 0; c < 8; ++c) {
            const QRectF r = m.rect(cx, y, blockW * shares[c], rowH);
            p.fillRect(r, QColor(0xE0, 0xE0, 0xE0));
            p.drawRect(r);
            drawFitted(p, r, heads[c], headFont, Qt::AlignCenter);
            cx += blockW * shares[c];
        }
        for (int i = 0; i < perBlock; ++i) {
            const int index = block * perBlock + i;
            if (index >= n)
                break;
            const PupilLine &line = sheet.pupils[index];
            const QString cells[8] = {line.name,
                                      QString(),
                                      QString(),
                                      QString(),
                                      QString(),
                                      QString::number(line.answered),
                                      wrongShareText(line.answered, line.wrong),
                                      QString::number(line.known)};
            cx = bx;
            const qreal ry = y + rowH * (i + 1);
            for (int c = 0; c < 8; ++c) {
                const QRectF r = m.rect(cx, ry, blockW * shares[c], rowH);
                if (i % 2)
                    p.fillRect(r, QColor(0xF4, 0xF4, 0xF4));
                if (c >= 1 && c <= 4 && line.holdsRecord[c - 1])
                    p.fillRect(r, QColor(0xFF, 0xF0, 0xB0));
                p.drawRect(r);
                QString text = cells[c];
                if (c >= 1 && c <= 4)
                    text = (line.holdsRecord[c - 1] ? QStringLiteral("★") : QString()) +
                           QString::number(line.best[c - 1]);
                if (c == 6 && line.answered == 0)
                    text = QStringLiteral("－");
                drawFitted(p, r.adjusted(m.px(0.8), 0, -m.px(0.8), 0), text, cellFont,
                           (c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
                cx += blockW * shares[c];
            }
        }
    }
}

} // namespace

QFont PageScale::font(qreal heightMm, bool bold) const {
    QFont f = designFont(10, bold);
    f.setPixelSize(qMax(1, qRound(px(heightMm))));
    return f;
}

PageScale a4Scale(const QRect &page, qreal marginMm) {
    const qreal perMm = page.width() / 210.0;
    return {QPointF(page.left() + marginMm * perMm, page.top() + marginMm * perMm), perMm};
}

bool drawFitted(QPainter &p, const QRectF &r, const QString &text, QFont font, int flags,
                int smallestPx) {
    bool fits = false;
    for (int i = 0; i < 12; ++i) {
        p.setFont(font);
        const QRectF needed = p.boundingRect(r, flags, text);
        fits = needed.height() <= r.height() + 0.5 && needed.width() <= r.width() + 0.5;
        if (fits || font.pixelSize() * 9 / 10 < smallestPx)
            break;
        font.setPixelSize(qMax(1, font.pixelSize() * 9 / 10));
    }
    if (!fits && smallestPx > 1)
        return false;
    p.setFont(font);
    p.drawText(r, flags, text);
    return true;
}

QString writePdfPages(const QString &path, const QString &title, int pages,
                      const PagesPainter &paint) {
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageOrientation(QPageLayout::Portrait);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(300);
    writer.setTitle(title);
    QPainter painter;
    if (!painter.begin(&writer))
        return QStringLiteral("PDFファイルを作れませんでした。");
    for (int index = 0; index < pages; ++index) {
        if (index > 0)
            writer.newPage();
        paint(painter, QRect(0, 0, writer.width(), writer.height()), index);
    }
    if (!painter.end())
        return QStringLiteral("PDFファイルを書きこめませんでした。");
    return QString();
}

QColor factColour(const FactTally &fact) {
    if (fact.answered == 0)
        return QColor(0xDD, 0xDD, 0xDD);
    // Green at no wrong answer, yellow at a quarter, red at half or more.
    const qreal t = qBound(0.0, fact.wrongShare() / 0.5, 1.0);
    return QColor::fromHsvF(0.33 * (1.0 - t), 0.25 + 0.5 * t, 1.0);
}

QString factKnownText(const FactTally &fact, bool onePupil) {
    if (onePupil)
        return fact.state == FactState::Known ? QStringLiteral("◎") : QString();
    if (fact.pupils == 0 || fact.knownBy == 0)
        return QString();
    return QStringLiteral("◎") + QString::number(qRound(100.0 * fact.knownBy / fact.pupils)) + u'%';
}

QString factShareText(const FactTally &fact) {
    return wrongShareText(fact.answered, fact.wrong);
}

QString sheetSubject(const ClassSheet &sheet) {
    return sheet.pupil.isEmpty() ? QStringLiteral("クラス全体")
                                 : sheet.pupil + QStringLiteral("さん");
}

QString sheetActivityCaption(int activity) {
    return loggedActivityLabel(LoggedActivity(activity + 1));
}

void paintClassSheetPage(QPainter &p, const QRect &page, const ClassSheet &sheet,
                         const QDate &printed) {
    const qreal margin = 12;
    const PageScale m = a4Scale(page, margin);
    const qreal width = 210 - 2 * margin;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::black);

    // Heading: the sheet, the class, the day printed; then the period and whom the grid shows.
    drawFitted(p, m.rect(0, 0, 130, 9), QStringLiteral("クラスのようす　") + sheet.className,
               m.font(6, true), Qt::AlignLeft | Qt::AlignVCenter);
    p.setFont(m.font(3.2));
    p.drawText(m.rect(130, 0, width - 130, 9), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("印刷日　") + printed.toString(QStringLiteral("yyyy年M月d日")));
    drawFitted(p, m.rect(0, 10, width, 6),
               QStringLiteral("期間：") + sheetPeriodLabel(sheet.period) + QStringLiteral("（") +
                   sheetRangeText(sheet.range) + QStringLiteral("）　答えた問題　") +
                   QString::number(sheet.answered) + QStringLiteral("問"),
               m.font(3.6), Qt::AlignLeft | Qt::AlignVCenter);
    p.setPen(QPen(Qt::black, m.px(0.3)));
    p.drawLine(m.rect(0, 17, width, 0).topLeft(), m.rect(0, 17, width, 0).topRight());

    // The grid of facts.
    drawFitted(p, m.rect(0, 19, 92, 5),
               QStringLiteral("はじめの答えでまちがえた割合（") + sheetSubject(sheet) +
                   QStringLiteral("）"),
               m.font(3.6, true), Qt::AlignLeft | Qt::AlignVCenter);
    drawGrid(p, m, sheet, 0, 25);

    // The class records, the pupils with no answer, what was read.
    const qreal rx = 100, rw = width - rx;
    p.setPen(Qt::black);
    p.setFont(m.font(3.6, true));
    p.drawText(m.rect(rx, 19, rw, 5), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("クラスの記録（最高連続100点）"));
    for (int k = 0; k < 4; ++k) {
        const ClassRecord &record = sheet.records[k];
        drawFitted(p, m.rect(rx + 2, 25 + 5.5 * k, rw - 2, 5.5),
                   sheetActivityCaption(k) + QStringLiteral("：") +
                       (record.holder.isEmpty()
                            ? QStringLiteral("まだいません")
                            : record.holder + QStringLiteral("さん　") +
                                  QString::number(record.run) + QStringLiteral("回")),
                   m.font(3.3), Qt::AlignLeft | Qt::AlignVCenter);
    }
    p.setFont(m.font(3.6, true));
    p.drawText(m.rect(rx, 49, rw, 5), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("この期間に答えていない人（%1人）").arg(sheet.idle.size()));
    drawFitted(p, m.rect(rx + 2, 55, rw - 2, 45),
               sheet.idle.isEmpty() ? QStringLiteral("いません")
                                    : sheet.idle.join(QStringLiteral("、")),
               m.font(3.3), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
    QString read = QStringLiteral("答えの記録：%1台のコンピューター").arg(sheet.files.size());
    if (sheet.damagedLines)
        read += QStringLiteral("。読めない行 %1 行はとばしました").arg(sheet.damagedLines);
    if (!sheet.unreadable.isEmpty())
        read +=
            QStringLiteral("。読めないファイル：") + sheet.unreadable.join(QStringLiteral("、"));
    drawFitted(p, m.rect(rx, 101, rw, 9), read + QStringLiteral("。"), m.font(2.7),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);

    // The pupils.
    p.setFont(m.font(3.6, true));
    p.drawText(m.rect(0, 121, width, 5), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("ひとりひとりのようす"));
    p.setFont(m.font(2.7));
    p.drawText(m.rect(45, 121, width - 45, 5), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("レベル・チャレンジ：最高連続100点の回数（★はクラスの記録）　"
                              "答えた数・まちがい：この期間"));
    drawTable(p, m, sheet, 0, 127, width, 273 - 127);
    p.restore();
}

int classSheetPages(const QList<PupilCard> &cards) {
    return anyCardCell(cards) ? 2 : 1;
}

void paintClassSheetPages(QPainter &painter, const QRect &page, const ClassSheet &sheet,
                          const QList<PupilCard> &cards, const QDate &printed, int index) {
    if (index == 0)
        paintClassSheetPage(painter, page, sheet, printed);
    else
        paintKenteiClassPage(painter, page, cards, sheet.className, printed);
}

QString writeClassSheetPdf(const QString &path, const ClassSheet &sheet, const QDate &printed,
                           const QList<PupilCard> &cards) {
    return writePdfPages(path, QStringLiteral("クラスのようす　") + sheet.className,
                         classSheetPages(cards),
                         [&](QPainter &painter, const QRect &page, int index) {
                             paintClassSheetPages(painter, page, sheet, cards, printed, index);
                         });
}
