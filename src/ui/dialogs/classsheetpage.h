#pragma once
// The class sheet on paper: one A4 page in portrait drawn with a QPainter, for the printer and
// for a PDF file, and the colours the window and the page share.

#include "classroom/classsheet.h"

#include <QColor>
#include <QDate>
#include <QString>

class QPainter;
class QRect;

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

// Writes the sheet as a one-page A4 PDF; returns why it failed, or an empty text.
QString writeClassSheetPdf(const QString &path, const ClassSheet &sheet, const QDate &printed);
