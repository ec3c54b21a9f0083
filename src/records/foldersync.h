#pragma once
// The saves of one copy of the program into a data folder that other copies may share:
// every rewrite is merged with the file as it is on disk, under the folder's lock. A change
// that cannot be written because another copy keeps the folder is kept here and written at
// the next save or when the program closes.

#include "core/applicationstate.h"
#include "records/datasync.h"
#include "records/roster.h"
#include "records/rosterchanges.h"

#include <QList>
#include <QSet>
#include <QStringList>
#include <optional>

struct SyncOutcome {
    SyncStatus status = SyncStatus::Unchanged;
    bool away = false;    // Busy because the data folder is not the one read (see awayReason)
    QString reason;       // Busy, Failed: plain Japanese for the teacher
    QStringList refused;  // roster saves: pupils that found no free row
    QString lostReason;   // a change kept earlier could not be written and was given up: why
    bool waiting = false; // some change is kept for a later save
};

// What a data folder is on disk: its device and node (a share mounted on it is another
// device than the folder it hides), or on Windows its volume and path. Empty when the folder
// cannot be looked at.
QByteArray folderIdentity(const QString &folder);

class FolderSync {
public:
    void setOptions(const SyncOptions &options) { m_options = options; }
    const SyncOptions &options() const { return m_options; }

    // LoadRoster's work on what it read from `path` (nullopt: nothing could be read): memory
    // takes the file, with any change still kept for it merged in, and the signed-in pupil is
    // found again by name. The next merge starts from the file as read. A roster read also
    // marks its folder as the one the records belong to (see awayReason).
    void rosterLoaded(ApplicationState &state, RosterFile &file, const QString &path,
                      const std::optional<QByteArray> &bytes);

    // Sign-in's look at the file: when another copy rewrote it since this copy last read or
    // wrote it, memory takes in the merged roster (nothing is written). True when it did.
    bool refreshRoster(ApplicationState &state, RosterFile &file, const QString &path);

    // SaveRoster: the roster in memory merged with the file and written. Afterwards memory
    // (RosterTable, `file`, CurrentPupilRow, the best runs) reflects the merged file. Busy:
    // memory keeps the change and it is written later. Failed: nothing written, memory as it
    // was (the caller puts its last saved roster back).
    SyncOutcome saveRoster(ApplicationState &state, RosterFile &file, const QString &path);

    // The rewrite of a record procedure: under the lock the file is read again and the
    // procedure's steps run on it (`state` then holds what they read), so a longer run that
    // another copy wrote meanwhile stays. Busy: the pupil's run is kept for later.
    // The class list renamed a pupil: records `from` holds go to `to`, under the lock.
    SyncResult renameStreakHolder(const QString &path, const QString &from, const QString &to);
    // The class list changed the roster in memory from `before` to `after` (roster file bytes;
    // `renamed`: old and new names): the removals, renames, lowered counts and new order are
    // told to the other copies with the next roster write (see records/rosterchanges.h).
    void classListChanged(const QByteArray &before, const QByteArray &after,
                          const QList<QPair<QString, QString>> &renamed);
    SyncOutcome saveStreakRecord(ApplicationState &state, Activity activity, const QString &path,
                                 const QString &holder);

    // The class record of `activity` raised to `holder`'s `run` in the record file at `path`,
    // merged under the lock: a longer record there stays (Unchanged).
    SyncResult raiseRecord(const QString &path, Activity activity, const QString &holder,
                           qint16 run);

    // Creates a missing data file under the lock; a file that is there is never replaced.
    SyncOutcome createIfMissing(const QString &path, const QByteArray &bytes);

    // Writes the changes kept for later. Saved when nothing is left waiting, Busy when the
    // folder is still kept by another copy (the changes wait on). A kept change that cannot be
    // written for another reason is given up and `lostReason` says why.
    SyncOutcome flushPending();
    bool hasPending() const { return !m_rosters.isEmpty() || !m_records.isEmpty(); }

    // Why nothing may be written to the folder of `path` now, or empty. A share that dropped
    // leaves its bare mount point, or a path that shows another folder, or the roster this
    // copy read gone: writing there would hide the records when the share is back. Every save
    // keeps its change instead (status Busy, `away` set) and writes it once the folder read
    // is back.
    QString awayReason(const QString &path) const;

    // Other copies' changes, or an edit of the file, that would take more than half of the
    // pupils with runs off the roster (rosterDrop) are held: nothing is written or taken into
    // memory until the teacher decides, and every save waits (Busy) meanwhile.
    struct HeldDrop {
        int withRuns = 0; // pupils with runs this copy holds
        int left = 0;     // of them, on the roster after the change
    };
    std::optional<HeldDrop> heldDrop() const;
    // The teacher's answer: `take` writes the change at the next save; otherwise the change
    // is set aside for good (the roster this copy holds is written back over it).
    void decideHeldDrop(bool take);

private:
    struct PendingRoster {
        QString path;
        QByteArray base;
        QByteArray mine;
    };
    struct PendingRecord {
        QString path;
        Activity activity;
        QString holder;
        qint16 run;
    };
    // A save's first step: Busy (away) when the folder is away, else the kept changes written.
    SyncOutcome beforeSave(const QString &path);
    SyncResult writeRoster(const QString &path, const QByteArray &base, const QByteArray &mine,
                           QStringList *refused);
    // What this copy holds with the other copies' changes it has not applied yet, and a change
    // made to `onDisk` outside the program, applied; their ids go to `applied`.
    QByteArray withOthersChanges(const RosterChanges &told, const std::optional<QByteArray> &onDisk,
                                 const QByteArray &base, const QByteArray &mine,
                                 QList<RosterChange> *found, QSet<QByteArray> *applied) const;
    // Appends the changes and the hash of the roster about to be written to the file of
    // changes, or writes it anew when it is missing or long. Returns why it could not, or
    // an empty text.
    static QString tellRosterChanges(const QString &changesPath, const RosterChanges &told,
                                     const std::optional<QByteArray> &toldBytes,
                                     const QList<RosterChange> &more, const QByteArray &hash);
    // Whether going from `mine` to `merged` is a large drop that must wait for the teacher;
    // remembers what to set aside if the teacher keeps the class.
    bool holdsDrop(const QByteArray &mine, const QByteArray &merged,
                   const QSet<QByteArray> &changes, const std::optional<QByteArray> &onDisk);
    // Quorin.chg's reading, read on from the last one when lines were only appended.
    RosterChanges toldChanges(const QByteArray &bytes);
    SyncResult writeRecord(const QString &path, Activity activity, const QString &holder,
                           qint16 run);
    void keepRoster(const QString &path, const QByteArray &base, const QByteArray &mine);
    void keepRecord(const QString &path, Activity activity, const QString &holder, qint16 run);

    SyncOptions m_options;
    QByteArray m_folderIdentity; // of the folder whose roster was read last; empty: none
    QString m_rosterPath;
    QByteArray m_rosterBase;
    QList<PendingRoster> m_rosters;
    QList<PendingRecord> m_records;
    QSet<QByteArray> m_appliedChanges; // ids of the changes this copy's roster holds
    QList<RosterChange> m_ownChanges;  // the class list's, to be told at the next write
    // Hashes of rosters written by copies of the program that this copy has seen told: a
    // roster among them is no teacher's edit, even when a copy's later write dropped it.
    QSet<QByteArray> m_writtenRosters;
    struct Held {
        HeldDrop drop;
        QSet<QByteArray> changes; // the ids of the changes held
        QByteArray diskHash;      // the roster on disk then (an edit, when it was one)
    };
    std::optional<Held> m_held;
    bool m_dropTaken = false; // the teacher let the held change through
    QByteArray m_toldBytes;   // Quorin.chg as last read, and its reading
    RosterChanges m_told;
};

// The file beside the roster at `rosterPath` that tells the teacher's changes on.
QString rosterChangesPath(const QString &rosterPath);

// Messages for the teacher.
// The record line while another copy keeps the folder: that the records are saved later, in
// words a pupil reads, then for the teacher which file, why, and when it is written.
QString heldFolderLine(const QString &fileLabel, const QString &reason);
// Changes still waiting when the program closes: they are not saved, but for the runs kept
// on this computer (`runsKept`), which are written at the next start.
QString unsavedAtCloseText(const QString &folder, const QString &reason, bool runsKept = false);
// A change kept earlier that could not be written after all.
QString lostChangeText(const QString &reason);
// New pupils that found no free row in the roster.
QString refusedPupilsText(const QStringList &names);
