#pragma once
// Printing on paper. The printer dialog and the printer live in a module of their own
// (printmodule.cpp), loaded the first time the teacher prints: Qt Print Support, and all it
// loads, stays out of the program's start.

#include <QString>
#include <functional>

class QPainter;
class QRect;
class QWidget;

// Draws the page into `page` (device pixels of the printer).
using PagePainter = std::function<void(QPainter &painter, const QRect &page)>;
// Draws page `index` (0-based) of a document into `page`.
using PagesPainter = std::function<void(QPainter &painter, const QRect &page, int index)>;

enum class PrintResult { Printed, Cancelled, Failed, NoModule };

// Asks for a printer with the printer dialog (owned by `owner`, titled `dialogTitle`) and
// prints one A4 portrait page, the whole sheet to its edges, drawn by `paint`.
PrintResult printOnePage(QWidget *owner, const QString &documentName, const QString &dialogTitle,
                         const PagePainter &paint);
// The same for `pages` A4 portrait pages, each drawn by `paint` with its index.
PrintResult printPages(QWidget *owner, const QString &documentName, const QString &dialogTitle,
                       int pages, const PagesPainter &paint);

// The entry point of the module, looked up by this name.
using PrintPagesFunction = int (*)(QWidget *owner, const QString &documentName,
                                   const QString &dialogTitle, int pages,
                                   const PagesPainter &paint);
#define QUORIN_PRINT_ENTRY "quorinPrintPages"
