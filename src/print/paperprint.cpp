#include "print/paperprint.h"

#include <QCoreApplication>
#include <QLibrary>

PrintResult printPages(QWidget *owner, const QString &documentName, const QString &dialogTitle,
                       int pages, const PagesPainter &paint) {
    // Beside the program (Windows, the build tree), or in the program's own library folder
    // (an installation on Linux). Once loaded the module stays loaded.
    const QString programFolder = QCoreApplication::applicationDirPath();
    for (const QString &folder :
         {programFolder, programFolder + QStringLiteral("/" QUORIN_PRINT_MODULE_FOLDER)}) {
        QLibrary module(folder + QStringLiteral("/" QUORIN_PRINT_MODULE));
        if (const auto print =
                reinterpret_cast<PrintPagesFunction>(module.resolve(QUORIN_PRINT_ENTRY)))
            return PrintResult(print(owner, documentName, dialogTitle, pages, paint));
    }
    return PrintResult::NoModule;
}

PrintResult printOnePage(QWidget *owner, const QString &documentName, const QString &dialogTitle,
                         const PagePainter &paint) {
    return printPages(
        owner, documentName, dialogTitle, 1,
        [&paint](QPainter &painter, const QRect &page, int) { paint(painter, page); });
}
