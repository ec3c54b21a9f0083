#include "records/datasync.h"

#include "records/datafile.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
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
    QLockFile lock(dataFolderLockPath(path));
    if (!takeLock(lock, options.lockWaitMs) && lock.error() == QLockFile::LockFailedError) {
        SyncResult busy{SyncStatus::Busy, std::nullopt, QString(), std::nullopt};
        LockHolder holder;
        if (lock.getLockInfo(&holder.pid, &holder.hostName, &holder.appName))
            busy.holder = holder;
        busy.reason = lockBusyReason(busy.holder);
        return busy;
    }
    // Without a lock (a folder where no lock file can be made) the save goes on: it meets
    // the same problem and names it, and the content check below still guards the file.

    for (int attempt = 0; attempt < qMax(1, options.mergeAttempts); ++attempt) {
        const std::optional<QByteArray> onDisk = readDataFile(path);
        if (!onDisk && QFileInfo(path).isFile())
            return {SyncStatus::Failed, std::nullopt,
                    QStringLiteral("ファイルを読めません。ほかのプログラムが使っているかもしれ"
                                   "ません。"),
                    std::nullopt};
        const Fingerprint seen = fingerprintOf(onDisk);
        const std::optional<QByteArray> bytes = merge(onDisk);
        if (!bytes || bytes == onDisk)
            return {SyncStatus::Unchanged, onDisk, QString(), std::nullopt};
        const SaveResult saved =
            saveDataFile(path, *bytes, [&] { return fingerprintOf(readDataFile(path)) == seen; });
        if (saved.ok)
            return {SyncStatus::Saved, *bytes, QString(), std::nullopt};
        if (!saved.changedMeanwhile)
            return {SyncStatus::Failed, std::nullopt, saved.reason, std::nullopt};
    }
    return {SyncStatus::Busy, std::nullopt,
            QStringLiteral("ほかのコンピューターが同時に書きこみを続けています。"), std::nullopt};
}
