#include "records/ownfile.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QDir>
#include <fcntl.h>
#include <io.h>
#include <qt_windows.h>
#endif

namespace {

QString quoted(const QString &path) {
    return QStringLiteral("「") + QFileInfo(path).fileName() + QStringLiteral("」");
}

QString linkReason(const QString &path) {
    return quoted(path) + QStringLiteral("はリンクなので、開きません。"
                                         "消すか名前を変えてください。");
}
QString specialReason(const QString &path) {
    return quoted(path) + QStringLiteral("はふつうのファイルではない（フォルダーや特別な"
                                         "ファイル）ので、開きません。");
}
QString secondNameReason(const QString &path) {
    return quoted(path) + QStringLiteral("にはほかの名前（ハードリンク）があるので、"
                                         "書きこみません。");
}
QString cannotOpenReason(const QString &path) {
    return quoted(path) + QStringLiteral("を開けませんでした。");
}
QString tooLargeReason() {
    return QStringLiteral("ファイルが大きすぎます（このプログラムのファイルではありません）。");
}

} // namespace

OwnPathCheck checkOwnPath(const QString &path) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    if (S_ISLNK(st.st_mode))
        return {true, false, linkReason(path)};
    if (!S_ISREG(st.st_mode))
        return {true, false, specialReason(path)};
    return {true, true, QString()};
#else
    const QFileInfo info(path);
    if (info.isSymLink() || info.isJunction() || info.isShortcut())
        return {true, false, linkReason(path)};
    if (!info.exists())
        return {};
    if (!info.isFile())
        return {true, false, specialReason(path)};
    return {true, true, QString()};
#endif
}

OwnFile openOwnFile(const QString &path, OwnFileMode mode) {
    OwnFile own;
#ifdef Q_OS_UNIX
    // O_NOFOLLOW: a link at the name fails with ELOOP instead of being followed. O_NONBLOCK: a
    // FIFO put there opens at once (and is refused below) instead of waiting for a writer.
    int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    flags |= mode == OwnFileMode::Read ? O_RDONLY : (O_RDWR | O_APPEND | O_CREAT);
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0666);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            own.state = OwnFile::Missing;
            return own;
        }
        own.state = OwnFile::Refused;
        own.reason = errno == ELOOP ? linkReason(path) : cannotOpenReason(path);
        return own;
    }
    struct stat st {};
    QString refusal;
    if (::fstat(fd, &st) != 0)
        refusal = cannotOpenReason(path);
    else if (!S_ISREG(st.st_mode))
        refusal = specialReason(path);
    else if (mode == OwnFileMode::Append && st.st_nlink > 1)
        refusal = secondNameReason(path);
    if (!refusal.isEmpty()) {
        ::close(fd);
        own.state = OwnFile::Refused;
        own.reason = refusal;
        return own;
    }
    // Reads of an ordinary file never wait, so the flag can stay.
    own.file = std::make_unique<QFile>();
    const QIODevice::OpenMode qtMode = mode == OwnFileMode::Read
                                           ? QIODevice::ReadOnly
                                           : (QIODevice::ReadWrite | QIODevice::Append);
    if (!own.file->open(fd, qtMode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        own.file.reset();
        own.state = OwnFile::Refused;
        own.reason = cannotOpenReason(path);
        return own;
    }
    own.state = OwnFile::Opened;
    return own;
#else
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, which is then refused, instead of what
    // it leads to. FILE_SHARE_DELETE: another copy may still replace or remove the file while
    // this one reads it, as on Unix (without it, Windows refuses that copy's save and lock).
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const DWORD access = mode == OwnFileMode::Read ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
    const HANDLE handle = CreateFileW(
        name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        mode == OwnFileMode::Read ? OPEN_EXISTING : OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            own.state = OwnFile::Missing;
            return own;
        }
        own.state = OwnFile::Refused;
        own.reason = cannotOpenReason(path);
        return own;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    QString refusal;
    if (!GetFileInformationByHandle(handle, &info))
        refusal = cannotOpenReason(path);
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        refusal = linkReason(path);
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
             GetFileType(handle) != FILE_TYPE_DISK)
        refusal = specialReason(path);
    else if (mode == OwnFileMode::Append && info.nNumberOfLinks > 1)
        refusal = secondNameReason(path);
    const int fd = refusal.isEmpty()
                       ? _open_osfhandle(intptr_t(handle), _O_BINARY | (mode == OwnFileMode::Read
                                                                            ? _O_RDONLY
                                                                            : _O_RDWR | _O_APPEND))
                       : -1;
    if (fd < 0) {
        CloseHandle(handle);
        own.state = OwnFile::Refused;
        own.reason = refusal.isEmpty() ? cannotOpenReason(path) : refusal;
        return own;
    }
    own.file = std::make_unique<QFile>();
    const QIODevice::OpenMode qtMode = mode == OwnFileMode::Read
                                           ? QIODevice::ReadOnly
                                           : (QIODevice::ReadWrite | QIODevice::Append);
    if (!own.file->open(fd, qtMode, QFileDevice::AutoCloseHandle)) {
        _close(fd);
        own.file.reset();
        own.state = OwnFile::Refused;
        own.reason = cannotOpenReason(path);
        return own;
    }
    own.state = OwnFile::Opened;
    return own;
#endif
}

std::optional<QByteArray> readOwnFile(QFile &file, qint64 maxBytes, QString *reason) {
    // The size is asked of the open file, and the read is bounded whatever it says, so a file
    // that grows while it is read is caught too.
    if (file.size() > maxBytes) {
        *reason = tooLargeReason();
        return std::nullopt;
    }
    // In pieces of the size it says (at least 64 KiB): one read of the whole bound would have
    // the buffer for it made first, 16 MiB for every small file (slow where that memory is
    // cleared, as under Wine).
    QByteArray bytes;
    const qint64 piece = qMax<qint64>(file.size() + 1, 64 * 1024);
    while (bytes.size() <= maxBytes) {
        const QByteArray more = file.read(qMin(piece, maxBytes + 1 - bytes.size()));
        if (more.isEmpty())
            break;
        bytes += more;
    }
    if (file.error() != QFileDevice::NoError) {
        *reason = QStringLiteral("ファイルを読んでいる途中で失敗しました。");
        return std::nullopt;
    }
    if (bytes.size() > maxBytes) {
        *reason = tooLargeReason();
        return std::nullopt;
    }
    return bytes;
}
