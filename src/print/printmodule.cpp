// The module that prints (see paperprint.h): the only code of the program that links Qt Print
// Support.

#include "print/paperprint.h"

#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

extern "C" Q_DECL_EXPORT int quorinPrintPages(QWidget *owner, const QString &documentName,
                                              const QString &dialogTitle, int pages,
                                              const PagesPainter &paint) {
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
    const QRect page = printer.pageLayout().fullRectPixels(printer.resolution());
    for (int index = 0; index < pages; ++index) {
        if (index > 0 && !printer.newPage()) {
            painter.end();
            return int(PrintResult::Failed);
        }
        paint(painter, page, index);
    }
    painter.end();
    return int(PrintResult::Printed);
}
