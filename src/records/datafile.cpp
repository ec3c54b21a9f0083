#include "records/datafile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QThread>

namespace {

std::optional<qint64> g_failAfterBytes;

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

SaveFaultForTesting::SaveFaultForTesting(qint64 failAfterBytes) {
    g_failAfterBytes = failAfterBytes;
}

SaveFaultForTesting::~SaveFaultForTesting() {
    g_failAfterBytes.reset();
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
        if (g_failAfterBytes)
            toWrite = qBound<qint64>(0, *g_failAfterBytes, toWrite);
        const qint64 written = toWrite > 0 ? file.write(bytes.constData(), toWrite) : 0;
        const bool flushed = file.flush();
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

std::optional<QByteArray> readDataFile(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
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
        const QFileInfo data(dir.filePath(name));
        if (!data.exists())
            continue;
        QFile file(data.filePath());
        if (!data.isFile() || !file.open(QIODevice::ReadOnly))
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
    if (!creating)
        text += QStringLiteral("\n\n前のファイルはそのまま残っています。");
    return text;
}
