#include "ui/main/servermodule.h"

#ifdef QUORIN_SERVER_MODULE
#include <QCoreApplication>
#include <QLibrary>

namespace {
QString &moduleFolder() {
    static QString folder;
    return folder;
}
} // namespace

void setClassServerModuleFolder(const QString &folder) {
    moduleFolder() = folder;
}

const ClassServerEntries *classServerModule() {
    static const ClassServerEntries *entries = nullptr;
    if (entries)
        return entries;
    // Beside the program (Windows, the build tree), or in the program's own library folder
    // (an installation on Linux), as the printing module.
    const QString programFolder = QCoreApplication::applicationDirPath();
    QStringList folders{programFolder,
                        programFolder + QStringLiteral("/" QUORIN_SERVER_MODULE_FOLDER)};
    if (!moduleFolder().isEmpty())
        folders.prepend(moduleFolder());
    for (const QString &folder : folders) {
        QLibrary module(folder + QStringLiteral("/" QUORIN_SERVER_MODULE));
        if (const auto entry =
                reinterpret_cast<ClassServerEntryFunction>(module.resolve(QUORIN_SERVER_ENTRY))) {
            entries = entry();
            return entries;
        }
    }
    return nullptr;
}
#else
void setClassServerModuleFolder(const QString &) {
}
const ClassServerEntries *classServerModule() {
    return nullptr;
}
#endif
