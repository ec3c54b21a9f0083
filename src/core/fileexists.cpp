#include "core/fileexists.h"

#include <QFileInfo>

bool FileExists(const QString &path) noexcept {
    try {
        if (path.isEmpty() || path.contains(QChar(u'\0')))
            return false;
        const QFileInfo info(path);
        // Hidden files do not count (a dot file on Unix, the hidden attribute on Windows).
        return info.exists() && info.isFile() && !info.isHidden();
    } catch (...) {
        return false;
    }
}
