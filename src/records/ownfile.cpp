#include "records/ownfile.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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
[[maybe_unused]] QString secondNameReason(const QString &path) {
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
    const OwnPathCheck check = checkOwnPath(path);
    if (check.exists && !check.ordinaryFile) {
        own.state = OwnFile::Refused;
        own.reason = check.reason;
        return own;
    }
    if (!check.exists && mode == OwnFileMode::Read)
        return own;
    own.file = std::make_unique<QFile>(path);
    const QIODevice::OpenMode qtMode = mode == OwnFileMode::Read
                                           ? QIODevice::ReadOnly
                                           : (QIODevice::ReadWrite | QIODevice::Append);
    if (!own.file->open(qtMode)) {
        own.file.reset();
        own.state = QFileInfo::exists(path) ? OwnFile::Refused : OwnFile::Missing;
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
    QByteArray bytes = file.read(maxBytes + 1);
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
