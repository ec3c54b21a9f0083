#include "records/datafile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QThread>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::optional<qint64> g_failAfterBytes;
QString g_failingSaveName; // empty: every save fails while g_failAfterBytes is set
QString g_unreadableName;

QString notAFileReason() {
    return QStringLiteral("ファイルではないもの（フォルダーなど）が同じ名前で置かれています。");
}
QString noReadPermissionReason() {
    return QStringLiteral("ファイルを読む許可がありません。");
}

// Windows refuses to replace a file that another program (a virus scanner, a backup, an
// editor) holds open for a moment; the rename is tried again after a short pause there.
#ifdef Q_OS_WIN
constexpr int kCommitAttempts = 3;
#else
constexpr int kCommitAttempts = 1;
#endif

QString folderOf(const QString &path) {
    return QFileInfo(path).absolutePath();
}

// Why a file could not be opened for writing, judged from its folder.
QString openFailureReason(const QString &path) {
    const QFileInfo folder(folderOf(path));
    if (!folder.exists() || !folder.isDir())
        return QStringLiteral("フォルダーが見つかりません。");
    const QFileInfo file(path);
    if (file.exists() && !file.isFile())
        return QStringLiteral("同じ名前のフォルダーがあります。");
    if (!folder.isWritable())
        return QStringLiteral("このフォルダーには書きこめません（読み取り専用です）。");
    return QStringLiteral("ファイルを開けませんでした。");
}

} // namespace

SaveFaultForTesting::SaveFaultForTesting(qint64 failAfterBytes, const QString &fileName) {
    g_failAfterBytes = failAfterBytes;
    g_failingSaveName = fileName;
}

SaveFaultForTesting::~SaveFaultForTesting() {
    g_failAfterBytes.reset();
    g_failingSaveName.clear();
}

ReadFaultForTesting::ReadFaultForTesting(const QString &fileName) {
    g_unreadableName = fileName;
}

ReadFaultForTesting::~ReadFaultForTesting() {
    g_unreadableName.clear();
}

SaveResult saveDataFile(const QString &path, const QByteArray &bytes,
                        const std::function<bool()> &stillCurrent) {
    // Writing beside and renaming would replace a file the teacher made read-only.
    const QFileInfo existing(path);
    if (existing.isFile() && !existing.isWritable())
        return {false, QStringLiteral("ファイルが読み取り専用になっています。")};
    for (int attempt = 1;; ++attempt) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {false, openFailureReason(path)};
        qint64 toWrite = bytes.size();
        if (g_failAfterBytes &&
            (g_failingSaveName.isEmpty() || g_failingSaveName == existing.fileName()))
            toWrite = qBound<qint64>(0, *g_failAfterBytes, toWrite);
        const qint64 written = toWrite > 0 ? file.write(bytes.constData(), toWrite) : 0;
        bool flushed = file.flush();
#ifdef Q_OS_UNIX
        // On the disk before the check below, so the check is the last step before the
        // rename and another copy's write cannot slip in while the data is synced.
        flushed = flushed && ::fsync(file.handle()) == 0;
#endif
        // commit() alone reports success on a full disk and leaves a truncated file, so every
        // step is checked before the new file may replace the old one.
        if (written != bytes.size() || !flushed || file.error() != QFileDevice::NoError) {
            file.cancelWriting();
            return {false, QStringLiteral("書きこみが途中で止まりました。"
                                          "ディスクがいっぱいかもしれません。")};
        }
        if (stillCurrent && !stillCurrent()) {
            file.cancelWriting();
            return {false, QStringLiteral("ほかのコンピューターが同時に書きこみました。"), true};
        }
        if (file.commit())
            return {};
        if (attempt >= kCommitAttempts)
            return {false, QStringLiteral("新しいファイルに置きかえられませんでした。")};
        QThread::msleep(50UL << attempt); // 100, 200 ms: QSaveFile removed its copy; write again
    }
}

DataFileRead readDataFileChecked(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (!info.isFile())
        return {DataFileRead::Unreadable, {}, notAFileReason()};
    if (!g_unreadableName.isEmpty() && info.fileName() == g_unreadableName)
        return {DataFileRead::Unreadable, {}, noReadPermissionReason()};
    QFile file;
#ifdef Q_OS_UNIX
    // O_NONBLOCK: a FIFO put there after the look above must not stop the program.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {};
        return {DataFileRead::Unreadable,
                {},
                errno == EACCES || errno == EPERM ? noReadPermissionReason()
                                                  : QStringLiteral("ファイルを開けませんでした。")};
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {DataFileRead::Unreadable, {}, notAFileReason()};
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {DataFileRead::Unreadable, {}, QStringLiteral("ファイルを開けませんでした。")};
    }
#else
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return {DataFileRead::Unreadable,
                {},
                QStringLiteral("ファイルを開けませんでした。ほかのプログラムが使っているかも"
                               "しれません。")};
#endif
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {DataFileRead::Unreadable,
                {},
                QStringLiteral("ファイルを読んでいる途中で失敗しました。")};
    return {DataFileRead::Read, bytes, QString()};
}

std::optional<QByteArray> readDataFile(const QString &path) {
    DataFileRead read = readDataFileChecked(path);
    if (read.state != DataFileRead::Read)
        return std::nullopt;
    return std::move(read.bytes);
}

SaveResult createDataFileIfMissing(const QString &path, const QByteArray &bytes) {
    const QFileInfo info(path);
    if (info.exists()) {
        if (info.isFile())
            return {};
        return {false, QStringLiteral("同じ名前のフォルダーがあります。")};
    }
    return saveDataFile(path, bytes);
}

QString dataFolderProblem(const QString &folder) {
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.exists() || !info.isDir())
        return QStringLiteral("フォルダーが見つかりません。");
    QDir dir(folder);
    if (!info.isReadable() || !dir.isReadable())
        return QStringLiteral("フォルダーの中を読めません。");
    {
        QTemporaryFile probe(dir.filePath(QStringLiteral("quorin-check-XXXXXX")));
        if (!probe.open() || probe.write("0", 1) != 1 || !probe.flush())
            return QStringLiteral("このフォルダーには書きこめません。");
    }
    for (const QString &name : {QStringLiteral("Quorin.ini"), QStringLiteral("Quorin.dat")}) {
        if (readDataFileChecked(dir.filePath(name)).state == DataFileRead::Unreadable)
            return name + QStringLiteral("を読めません。");
    }
    return QString();
}

QString saveFailureText(const QString &fileLabel, const QString &path, const QString &reason,
                        bool creating) {
    QString text = fileLabel + (creating ? QStringLiteral("を作れませんでした。")
                                         : QStringLiteral("を保存できませんでした。"));
    text += QStringLiteral("\n\nファイル：") + QDir::toNativeSeparators(path);
    text += QStringLiteral("\n理由：") + reason;
    if (!creating && QFileInfo(path).isFile())
        text += QStringLiteral("\n\n前のファイルはそのまま残っています。");
    return text;
}
