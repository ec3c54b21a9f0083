#pragma once
// 九九けんてい on paper: a pupil's 九九カード on an A4 page (the stamps of the pupil's own
// passes and the teacher's, the day of each, the rows passed all three ways, the nine readings
// of each row), and the class's view of the check (pupils × rows) as a page of the class sheet.
// The card is for the pupil: its texts are hiragana, or kanji of the first two grades.

#include "classroom/kukucheck.h"

#include <QDate>
#include <QList>
#include <QString>

class QPainter;
class QRect;

// The day on the card: "12月7日".
QString cardDayText(const QDate &day);

// Draws the pupil's card into `page` (device pixels of an A4 portrait page).
void paintKukuCardPage(QPainter &painter, const QRect &page, const PupilCard &pupil,
                       const QString &className, const QDate &printed);
// Draws the class's view: a line per pupil, a column per row (classCellText), and how many
// pupils passed each row.
void paintKenteiClassPage(QPainter &painter, const QRect &page, const QList<PupilCard> &cards,
                          const QString &className, const QDate &printed);

// Writes the cards as an A4 PDF, one card per page; returns why it failed, or an empty text.
QString writeKukuCardsPdf(const QString &path, const QList<PupilCard> &cards,
                          const QString &className, const QDate &printed);
