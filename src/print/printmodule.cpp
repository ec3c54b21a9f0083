// The module that prints (see paperprint.h): the only code of the program that links Qt Print
// Support.

#include "print/paperprint.h"

#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

extern "C" Q_DECL_EXPORT int quorinPrintOnePage(QWidget *owner, const QString &documentName,
                                                const QString &dialogTitle,
                                                const PagePainter &paint) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFullPage(true);
    printer.setDocName(documentName);
    QPrintDialog dialog(&printer, owner);
    dialog.setWindowTitle(dialogTitle);
    if (dialog.exec() != QDialog::Accepted)
        return int(PrintResult::Cancelled);
    QPainter painter;
    if (!painter.begin(&printer))
        return int(PrintResult::Failed);
    paint(painter, printer.pageLayout().fullRectPixels(printer.resolution()));
    painter.end();
    return int(PrintResult::Printed);
}
