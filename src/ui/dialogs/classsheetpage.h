#pragma once
// The class sheet on paper: one A4 page in portrait drawn with a QPainter, for the printer and
// for a PDF file, and the colours the window and the page share.

#include "classroom/classsheet.h"
#include "classroom/kukucheck.h"
#include "print/paperprint.h"

#include <QColor>
#include <QDate>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

class QPainter;
class QRect;

// Millimetres on the page to device pixels, from the top left corner inside the margin.
struct PageScale {
    QPointF origin;
    qreal perMm;
    qreal px(qreal mm) const { return mm * perMm; }
    QRectF rect(qreal x, qreal y, qreal w, qreal h) const {
        return QRectF(origin.x() + px(x), origin.y() + px(y), px(w), px(h));
    }
    QFont font(qreal heightMm, bool bold = false) const;
};
// The scale of an A4 page `page` wide (device pixels), with a margin of `marginMm`.
PageScale a4Scale(const QRect &page, qreal marginMm);
// Text in a rectangle, made smaller until it fits. With `smallestPx`, the text is not drawn
// when it would have to be smaller than that; returns whether it was drawn.
bool drawFitted(QPainter &p, const QRectF &r, const QString &text, QFont font, int flags,
                int smallestPx = 1);
// Writes A4 portrait pages drawn by `paint` as a PDF; returns why it failed, or an empty text.
QString writePdfPages(const QString &path, const QString &title, int pages,
                      const PagesPainter &paint);

// The colour of a fact's cell: grey when nothing was answered, from green (no wrong first
// answer) through yellow to red (half of them wrong, or more).
QColor factColour(const FactTally &fact);
// A cell's text: "25%", or "－" when nothing was answered.
QString factShareText(const FactTally &fact);
// The known share of a fact in the grid ("◎40%"); for one pupil's grid "◎" when known.
QString factKnownText(const FactTally &fact, bool onePupil);
// Who the grid is for: "クラス全体" or "たろうさん".
QString sheetSubject(const ClassSheet &sheet);
// The activities' captions as the sheet's table heads them.
QString sheetActivityCaption(int activity);

// Draws the sheet into `page` (device pixels) with the date it is printed.
void paintClassSheetPage(QPainter &painter, const QRect &page, const ClassSheet &sheet,
                         const QDate &printed);

// The sheet's pages: the sheet, and the class's 九九けんてい once any pupil has a cell done.
int classSheetPages(const QList<PupilCard> &cards);
void paintClassSheetPages(QPainter &painter, const QRect &page, const ClassSheet &sheet,
                          const QList<PupilCard> &cards, const QDate &printed, int index);
// Writes the sheet's pages as an A4 PDF; returns why it failed, or an empty text.
QString writeClassSheetPdf(const QString &path, const ClassSheet &sheet, const QDate &printed,
                           const QList<PupilCard> &cards = {});
