#pragma once
// Several copies of the program, often on several computers, may share one data folder.
// Every rewrite of a data file therefore runs under the folder's lock file and is built from
// the file as it is on disk at that moment: re-read, merge, write. The lock is held only for
// that, never while the program waits for a pupil.

#include "records/folderlock.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

struct SyncOptions {
    int lockWaitMs = 3000;  // how long a save waits for another copy to finish
    int mergeAttempts = 10; // re-reads when the file changes between the merge and the rename
    // Where the lock has been seen to protect nothing, the file is looked at again after a
    // write once the other copies' renames that were under way have landed: first after
    // settleMs or twice the time the save took, whichever is longer (jittered up to twice
    // that), then, each time the change had to be written
    // again, after twice as long, settleChecks times at most. 0: no later look.
    int settleMs = 20;
    int settleChecks = 3;
    // When a lock, or a save copy ("Quorin.ini.XXXXXX") another copy left, is taken for
    // abandoned, and the clock that measures it (see FolderLock).
    FolderLockOptions stale;
    // The lock file; empty: "Quorin.lock" beside the data file. A test gives each copy a lock
    // of its own to play a share that passes no locks on.
    QString lockPath;
};

enum class SyncStatus {
    Saved,     // the merged content was written
    Unchanged, // there was nothing to write: the file already says it all
    Busy,      // another copy kept the folder: nothing written, the change must be kept
    Failed,    // the file could not be written: `reason` says why
};

struct SyncResult {
    SyncStatus status = SyncStatus::Unchanged;
    std::optional<QByteArray> file;   // the content on disk afterwards, when known
    QString reason;                   // plain Japanese, for Busy and Failed
    std::optional<LockHolder> holder; // Busy: who held the lock, when the lock file said
};

// The lock file of the folder that holds `dataFile`.
QString dataFolderLockPath(const QString &dataFile);

// Builds the new content from the file as it is on disk (nullopt: missing). Returning
// nullopt means there is nothing to write.
using MergeStep = std::function<std::optional<QByteArray>(const std::optional<QByteArray> &onDisk)>;

// Takes the folder's lock (waiting up to options.lockWaitMs; a lock left by a copy that
// ended without releasing it is taken over, see FolderLock), reads `path`, lets `merge` build the
// content and writes it with saveDataFile. Just before the rename the file on disk must still be
// the one that was read (same size and content hash), whatever the lock says: a lock can be taken
// over by a computer whose clock runs ahead. When it is not, the merge runs again on the new
// content. After the rename the file is read back; when merging into it would still change
// it (another copy's write replaced this one), the merge and write run again. Where the lock
// protects nothing (none can be made, or this process saw the file change while it held the
// lock), another copy's rename that was already under way can still land after that read: so
// the file is looked at once more a few milliseconds later (options.settleMs), without the
// lock while waiting, and the merge and write run again under it when the change is gone;
// each further look waits twice as long. Saved means the file on disk held this
// copy's changes at the last look; when the looks run out with the change written again but
// not seen, the result is Busy (nothing is reported saved that was not seen, and the caller
// keeps the change for its next save). A file that is there but cannot be read is never
// replaced. Under the lock, copies left by killed saves are removed once they
// have stayed unchanged for options.stale.staleAfterMs of this copy's steady clock.
SyncResult saveMerged(const QString &path, const MergeStep &merge, const SyncOptions &options = {});

// Why a save had to wait, for the teacher: which computer and program hold the folder.
QString lockBusyReason(const std::optional<LockHolder> &holder);
