#include "print/paperprint.h"

#include <QCoreApplication>
#include <QLibrary>

PrintResult printOnePage(QWidget *owner, const QString &documentName, const QString &dialogTitle,
                         const PagePainter &paint) {
    // Beside the program (Windows, the build tree), or in the program's own library folder
    // (an installation on Linux). Once loaded the module stays loaded.
    const QString programFolder = QCoreApplication::applicationDirPath();
    for (const QString &folder :
         {programFolder, programFolder + QStringLiteral("/" QUORIN_PRINT_MODULE_FOLDER)}) {
        QLibrary module(folder + QStringLiteral("/" QUORIN_PRINT_MODULE));
        if (const auto print =
                reinterpret_cast<PrintOnePageFunction>(module.resolve(QUORIN_PRINT_ENTRY)))
            return PrintResult(print(owner, documentName, dialogTitle, paint));
    }
    return PrintResult::NoModule;
}
