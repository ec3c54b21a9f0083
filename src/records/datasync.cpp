#include "records/datasync.h"

#include "records/datafile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <QSysInfo>

#include <chrono>
#include <thread>

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

// A save killed between writing its copy and renaming it leaves "<data file>.XXXXXX" behind.
// A copy is removed only when it has stayed exactly as it was for a while of this copy's own
// steady clock: its time is another computer's, and a save still running keeps its copy for
// milliseconds. A name a person would choose (all small letters, like "Quorin.ini.backup")
// is left alone, and so is a link.
void removeLeftoverCopies(const QString &path, const SyncOptions &options) {
    StaleWatch &watch = options.stale.staleWatch();
    const qint64 now = options.stale.nowMs();
    const QFileInfo data(path);
    const QDir dir(data.absolutePath());
    const QFileInfoList copies = dir.entryInfoList({data.fileName() + QStringLiteral(".??????")},
                                                   QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &copy : copies) {
        const QString suffix = copy.fileName().right(6);
        bool random = true, mixed = false;
        for (QChar c : suffix) {
            random = random && c.isLetterOrNumber() && c.unicode() < 0x80;
            mixed = mixed || c.isUpper() || c.isDigit();
        }
        if (!random || !mixed || copy.isSymLink())
            continue;
        const QByteArray identity = QByteArray::number(copy.size()) + ':' +
                                    QByteArray::number(copy.lastModified().toMSecsSinceEpoch());
        if (watch.abandoned(copy.filePath(), identity, now, options.stale.staleAfterMs * 3)) {
            watch.forget(copy.filePath());
            QFile::remove(copy.filePath());
        }
    }
}

QString writingOnReason() {
    return QStringLiteral("ほかのコンピューターが同時に書きこみを続けています。");
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

namespace {

QString lockPathOf(const QString &path, const SyncOptions &options) {
    return options.lockPath.isEmpty() ? dataFolderLockPath(path) : options.lockPath;
}

// The locks this process has seen protect nothing: none could be made, or the file changed
// while this copy held it. Saves under them look at the file again a little later.
QSet<QString> &unprotectingLocks() {
    static QSet<QString> paths;
    return paths;
}

// One locked save: take the lock, read, merge, write, read back.
SyncResult saveUnderLock(const QString &path, const MergeStep &merge, const SyncOptions &options) {
    FolderLock lock(lockPathOf(path, options), options.stale);
    switch (lock.take(options.lockWaitMs)) {
    case FolderLock::Result::Refused:
        return {SyncStatus::Failed, std::nullopt, lock.reason(), std::nullopt};
    case FolderLock::Result::Busy: {
        SyncResult busy{SyncStatus::Busy, std::nullopt, QString(), lock.holder()};
        busy.reason = lock.reason().isEmpty() ? lockBusyReason(busy.holder) : lock.reason();
        return busy;
    }
    case FolderLock::Result::Taken:
        removeLeftoverCopies(path, options);
        break;
    case FolderLock::Result::Unlockable:
        unprotectingLocks().insert(lockPathOf(path, options));
        // Without a lock (a folder where no lock file can be made) the save goes on: it meets
        // the same problem and names it, and the content check below still guards the file.
        break;
    }

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
        if (!saved.ok) {
            unprotectingLocks().insert(lockPathOf(path, options));
            continue;
        }
        const std::optional<QByteArray> after = readDataFile(path);
        const std::optional<QByteArray> missing = after ? merge(after) : std::nullopt;
        if (after && (!missing || missing == after))
            return {SyncStatus::Saved, after, QString(), std::nullopt};
        unprotectingLocks().insert(lockPathOf(path, options));
    }
    return {SyncStatus::Busy, std::nullopt, writingOnReason(), std::nullopt};
}

} // namespace

SyncResult saveMerged(const QString &path, const MergeStep &merge, const SyncOptions &options) {
    QElapsedTimer took;
    took.start();
    SyncResult result = saveUnderLock(path, merge, options);
    // A lock that holds keeps every other copy's rename out: no later look is needed. Another
    // copy's read, merge and rename take about as long as this one's did: on a busy computer
    // the first look waits for twice that (a fixed wait would come before their renames), a
    // tenth of a second at most.
    int waitMs = !unprotectingLocks().contains(lockPathOf(path, options)) ? 0
                 : options.settleMs > 0 ? qBound(options.settleMs, int(2 * took.elapsed()),
                                                 qMax(options.settleMs, 100))
                                        : 0;
    for (int check = 0; result.status == SyncStatus::Saved && waitMs > 0; ++check, waitMs *= 2) {
        if (check == options.settleChecks) // written again, never seen to stay
            return {SyncStatus::Busy, std::nullopt, writingOnReason(), std::nullopt};
        // Jittered, so that copies that overwrote each other do not look and write in step.
        std::this_thread::sleep_for(
            std::chrono::milliseconds(waitMs + QRandomGenerator::global()->bounded(waitMs + 1)));
        // Nobody wrote since: the change is there. Otherwise the merge tells whether it still
        // is, and writes it again when not.
        if (result.file && readDataFile(path) == result.file)
            return result;
        const SyncResult again = saveUnderLock(path, merge, options);
        if (again.status == SyncStatus::Unchanged)
            return {SyncStatus::Saved, again.file, QString(), std::nullopt};
        result = again;
    }
    return result;
}
