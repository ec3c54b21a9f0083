#include "records/datasync.h"

#include "records/datafile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>
#include <QThread>

namespace {

// What the file on disk was when it was read: gone, or its size and content hash.
struct Fingerprint {
    bool exists = false;
    qsizetype size = 0;
    QByteArray hash;
    bool operator==(const Fingerprint &) const = default;
};

Fingerprint fingerprintOf(const std::optional<QByteArray> &bytes) {
    if (!bytes)
        return {};
    return {true, bytes->size(), QCryptographicHash::hash(*bytes, QCryptographicHash::Sha256)};
}

// QLockFile::tryLock waits at least 100 ms between tries; a save of another copy takes a few
// milliseconds, so the lock is asked for again sooner, with growing pauses.
bool takeLock(QLockFile &lock, int waitMs) {
    const QDeadlineTimer deadline(qMax(0, waitMs));
    unsigned long pause = 2;
    for (;;) {
        if (lock.tryLock(0))
            return true;
        if (lock.error() != QLockFile::LockFailedError || deadline.hasExpired())
            return false;
        QThread::msleep(qMin<unsigned long>(pause, qMax<qint64>(1, deadline.remainingTime())));
        pause = qMin(pause * 2, 50UL);
    }
}

// A save killed between writing its copy and renaming it leaves "<data file>.XXXXXX" behind.
// Such copies older than a minute belong to no save still running and are removed. A name a
// person would choose (all small letters, like "Quorin.ini.backup") is left alone.
void removeLeftoverCopies(const QString &path) {
    const QFileInfo data(path);
    const QDir dir(data.absolutePath());
    const QDateTime oneMinuteAgo = QDateTime::currentDateTimeUtc().addSecs(-60);
    const QFileInfoList copies = dir.entryInfoList({data.fileName() + QStringLiteral(".??????")},
                                                   QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &copy : copies) {
        const QString suffix = copy.fileName().right(6);
        bool random = true, mixed = false;
        for (QChar c : suffix) {
            random = random && c.isLetterOrNumber() && c.unicode() < 0x80;
            mixed = mixed || c.isUpper() || c.isDigit();
        }
        if (random && mixed && !copy.isSymLink() && copy.lastModified().toUTC() < oneMinuteAgo)
            QFile::remove(copy.filePath());
    }
}

} // namespace

QString dataFolderLockPath(const QString &dataFile) {
    return QFileInfo(dataFile).absolutePath() + QStringLiteral("/Quorin.lock");
}

QString lockBusyReason(const std::optional<LockHolder> &holder) {
    QString who;
    if (!holder) {
        who = QStringLiteral("ほかのプログラム");
    } else {
        const QString program =
            holder->appName.isEmpty()
                ? QStringLiteral("プログラム")
                : QStringLiteral("プログラム「") + holder->appName + QStringLiteral("」");
        const QString number =
            QStringLiteral("（番号 ") + QString::number(holder->pid) + QStringLiteral("）");
        if (holder->hostName.isEmpty() || holder->hostName == QSysInfo::machineHostName())
            who = QStringLiteral("このコンピューターの") + program + number;
        else
            who = QStringLiteral("コンピューター「") + holder->hostName + QStringLiteral("」の") +
                  program + number;
    }
    return who + QStringLiteral("が、このフォルダーのデータを使っています。");
}

SyncResult saveMerged(const QString &path, const MergeStep &merge, const SyncOptions &options) {
    const QFileInfo lockInfo(dataFolderLockPath(path));
    if (lockInfo.exists() && !lockInfo.isFile())
        return {
            SyncStatus::Failed, std::nullopt,
            QStringLiteral("フォルダーの中に、ファイルではない「Quorin.lock」（フォルダーなど）が"
                           "あります。これを消すか名前を変えると、保存できるようになります。"),
            std::nullopt};
    QLockFile lock(lockInfo.filePath());
    const bool locked = takeLock(lock, options.lockWaitMs);
    if (!locked && lock.error() == QLockFile::LockFailedError) {
        SyncResult busy{SyncStatus::Busy, std::nullopt, QString(), std::nullopt};
        LockHolder holder;
        if (lock.getLockInfo(&holder.pid, &holder.hostName, &holder.appName))
            busy.holder = holder;
        busy.reason = lockBusyReason(busy.holder);
        return busy;
    }
    // Without a lock (a folder where no lock file can be made) the save goes on: it meets
    // the same problem and names it, and the content check below still guards the file.
    if (locked)
        removeLeftoverCopies(path);

    // A lock does not always protect (a share that passes no locks on, the same files reached
    // from two folders, clocks far apart): after each write the file is read back, and when
    // another copy's write replaced this one, the merge runs again on what is there now.
    for (int attempt = 0; attempt < qMax(1, options.mergeAttempts); ++attempt) {
        const DataFileRead read = readDataFileChecked(path);
        if (read.state == DataFileRead::Unreadable)
            return {SyncStatus::Failed, std::nullopt, read.reason, std::nullopt};
        const std::optional<QByteArray> onDisk =
            read.state == DataFileRead::Read ? std::optional(read.bytes) : std::nullopt;
        const Fingerprint seen = fingerprintOf(onDisk);
        const std::optional<QByteArray> bytes = merge(onDisk);
        if (!bytes || bytes == onDisk)
            return {SyncStatus::Unchanged, onDisk, QString(), std::nullopt};
        const SaveResult saved =
            saveDataFile(path, *bytes, [&] { return fingerprintOf(readDataFile(path)) == seen; });
        if (!saved.ok && !saved.changedMeanwhile)
            return {SyncStatus::Failed, std::nullopt, saved.reason, std::nullopt};
        if (!saved.ok)
            continue;
        const std::optional<QByteArray> after = readDataFile(path);
        const std::optional<QByteArray> missing = after ? merge(after) : std::nullopt;
        if (after && (!missing || missing == after))
            return {SyncStatus::Saved, after, QString(), std::nullopt};
    }
    return {SyncStatus::Busy, std::nullopt,
            QStringLiteral("ほかのコンピューターが同時に書きこみを続けています。"), std::nullopt};
}
