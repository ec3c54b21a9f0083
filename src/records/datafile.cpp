#include "records/datafile.h"

#include "records/ownfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QThread>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

std::optional<qint64> g_failAfterBytes;
QString g_failingSaveName; // empty: every save fails while g_failAfterBytes is set
QString g_unreadableName;

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
    if (!folder.isReadable() || !folder.isExecutable())
        return QStringLiteral("このフォルダーの中を読めません（使う許可がありません）。");
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
    // A link in the file's place is never written through (the save would rewrite whatever
    // it leads to), nor is a FIFO or device replaced.
    const OwnPathCheck own = checkOwnPath(path);
    if (own.exists && !own.ordinaryFile)
        return {false, own.reason};
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
    if (!g_unreadableName.isEmpty() && QFileInfo(path).fileName() == g_unreadableName &&
        QFileInfo::exists(path))
        return {DataFileRead::Unreadable, {}, noReadPermissionReason()};
    // A link, a FIFO or a device in the file's place, also one put there between a look and
    // the open, is reported as unreadable instead of being followed or stopping the program.
    const OwnFile own = openOwnFile(path, OwnFileMode::Read);
    if (own.state == OwnFile::Missing)
        return {};
    if (own.state == OwnFile::Refused)
        return {DataFileRead::Unreadable, {}, own.reason};
    QString reason;
    std::optional<QByteArray> bytes = readOwnFile(*own.file, kMaxDataFileBytes, &reason);
    if (!bytes)
        return {DataFileRead::Unreadable, {}, reason};
    return {DataFileRead::Read, std::move(*bytes), QString()};
}

std::optional<QByteArray> readDataFile(const QString &path) {
    DataFileRead read = readDataFileChecked(path);
    if (read.state != DataFileRead::Read)
        return std::nullopt;
    return std::move(read.bytes);
}

SaveResult createDataFileIfMissing(const QString &path, const QByteArray &bytes) {
    const OwnPathCheck own = checkOwnPath(path);
    if (own.exists)
        return {own.ordinaryFile, own.reason};
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
