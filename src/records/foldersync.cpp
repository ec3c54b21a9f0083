#include "records/foldersync.h"

#include "records/datafile.h"
#include "records/rostermerge.h"
#include "records/streakrecord.h"

#include "records/ownfile.h"
#include "records/rosterchanges.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#else
#include <QDir>
#include <qt_windows.h>
#endif

QByteArray folderIdentity(const QString &folder) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    return QByteArray::number(quint64(st.st_dev)) + ':' + QByteArray::number(quint64(st.st_ino));
#else
    // The volume's serial number and the folder's file index, Windows' device and inode: a
    // folder made again at the same path, or another share at the same drive letter, differs.
    const std::wstring path = QDir::toNativeSeparators(folder).toStdWString();
    const HANDLE handle =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return {};
    BY_HANDLE_FILE_INFORMATION info{};
    const bool read = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!read || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    const quint64 index = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    // A file system without file indexes: the folder's full path stands in for the index.
    return QByteArray::number(quint64(info.dwVolumeSerialNumber)) + ':' +
           (index ? QByteArray::number(index) : QFileInfo(folder).absoluteFilePath().toUtf8());
#endif
}

namespace {
QString folderOf(const QString &path) {
    return QFileInfo(path).absolutePath();
}

RosterChanges readRosterChanges(const QString &rosterPath) {
    return parseRosterChanges(readDataFile(rosterChangesPath(rosterPath)).value_or(QByteArray()));
}
} // namespace

QString rosterChangesPath(const QString &rosterPath) {
    return folderOf(rosterPath) + QStringLiteral("/Quorin.chg");
}

QByteArray FolderSync::withOthersChanges(const RosterChanges &told,
                                         const std::optional<QByteArray> &onDisk,
                                         const QByteArray &base, const QByteArray &mine,
                                         QList<RosterChange> *found,
                                         QSet<QByteArray> *applied) const {
    QList<RosterChange> changes;
    for (const RosterChange &change : told.changes)
        if (!m_appliedChanges.contains(change.id))
            changes.append(change);
    // The roster is not the one a copy of the program wrote last: the teacher edited it (also
    // on the first day, before any copy wrote it and told its hash). What the edit removed,
    // lowered or reordered since this copy read it is the teacher's change.
    if (onDisk && !base.isEmpty() && *onDisk != base &&
        !told.rosterHashes.contains(rosterHash(*onDisk)) &&
        !m_writtenRosters.contains(rosterHash(*onDisk))) {
        *found = rosterChangesBetween(base, *onDisk);
        changes += *found;
    }
    for (const RosterChange &change : changes)
        applied->insert(change.id);
    return changes.isEmpty() ? mine : applyRosterChanges(mine, changes);
}

QString FolderSync::tellRosterChanges(const QString &changesPath, const RosterChanges &told,
                                      const std::optional<QByteArray> &toldBytes,
                                      const QList<RosterChange> &more, const QByteArray &hash) {
    // Appended: copies' appends do not overwrite each other where a rewrite could. A missing
    // file is made with its first line only, never over one another copy just made.
    const bool longer =
        toldBytes && toldBytes->count('\n') >= 2 * (kMaxRosterChanges + kMaxRosterHashes);
    if (longer) {
        // Written anew with the latest changes and hashes only.
        RosterChanges all = told;
        all.changes += more;
        all.rosterHashes.append(hash);
        all.changes = all.changes.mid(qMax<qsizetype>(0, all.changes.size() - kMaxRosterChanges));
        all.rosterHashes =
            all.rosterHashes.mid(qMax<qsizetype>(0, all.rosterHashes.size() - kMaxRosterHashes));
        return saveDataFile(changesPath, rosterChangesBytes(all)).reason;
    }
    if (!toldBytes) {
        // A file there that cannot be read (a link, a FIFO, a folder, one far too long) is
        // not appended to: the other copies could not read what it tells either.
        if (const DataFileRead read = readDataFileChecked(changesPath);
            read.state == DataFileRead::Unreadable)
            return read.reason;
        createDataFileIfMissing(changesPath, rosterChangesBytes({}));
    }
    const QByteArray lines = rosterChangeLines(more, {hash});
    const OwnFile own = openOwnFile(changesPath, OwnFileMode::Append);
    if (own.state != OwnFile::Opened)
        return own.reason.isEmpty() ? QStringLiteral("Quorin.chg を作れません。") : own.reason;
    if (own.file->write(lines) != lines.size() || !own.file->flush())
        return QStringLiteral("Quorin.chg に書けません。") + own.file->errorString();
    return QString();
}

void FolderSync::classListChanged(const QByteArray &before, const QByteArray &after,
                                  const QList<QPair<QString, QString>> &renamed) {
    for (const RosterChange &change : rosterChangesBetween(before, after, renamed)) {
        m_appliedChanges.insert(change.id);
        m_ownChanges.append(change);
    }
}

QString FolderSync::awayReason(const QString &path) const {
    if (m_folderIdentity.isEmpty() || folderOf(path) != folderOf(m_rosterPath))
        return QString();
    const QByteArray now = folderIdentity(folderOf(path));
    if (now.isEmpty())
        return QStringLiteral("データのフォルダーが見つかりません。"
                              "ネットワークの共有フォルダーが切れたのかもしれません。");
    if (now != m_folderIdentity)
        return QStringLiteral("データのフォルダーが、読んだときのフォルダーではなくなりました。"
                              "ネットワークの共有フォルダーが切れたのかもしれません。");
    // The same folder without its roster: somebody deleted the file, and the next save writes
    // it again from memory, so nothing is lost.
    return QString();
}

void FolderSync::rosterLoaded(ApplicationState &state, RosterFile &file, const QString &path,
                              const std::optional<QByteArray> &bytes) {
    m_rosterPath = path;
    m_rosterBase = bytes.value_or(QByteArray());
    m_folderIdentity = bytes ? folderIdentity(folderOf(path)) : QByteArray();
    // The file as read holds every change told so far.
    const RosterChanges told = readRosterChanges(path);
    for (const RosterChange &change : told.changes)
        m_appliedChanges.insert(change.id);
    for (const QByteArray &hash : told.rosterHashes)
        m_writtenRosters.insert(hash);
    if (!bytes) {
        file = RosterFile();
        return;
    }
    QByteArray content = *bytes;
    for (const PendingRoster &p : m_rosters)
        if (p.path == path)
            content = mergeRoster(content, p.base, p.mine).bytes;
    adoptRoster(state, file, content);
}

bool FolderSync::refreshRoster(ApplicationState &state, RosterFile &file, const QString &path) {
    if (path != m_rosterPath)
        return false;
    const std::optional<QByteArray> onDisk = readDataFile(path);
    if (!onDisk || *onDisk == m_rosterBase)
        return false;
    const auto held = rosterFileBytes(state, file);
    if (!held)
        return false;
    QList<RosterChange> edited;
    QSet<QByteArray> applied;
    const QByteArray mine =
        withOthersChanges(readRosterChanges(path), onDisk, m_rosterBase, *held, &edited, &applied);
    const RosterMerge merged = mergeRoster(*onDisk, m_rosterBase, mine);
    if (holdsDrop(*held, merged.bytes, applied, onDisk))
        return false;
    m_held.reset();
    m_dropTaken = false;
    adoptRoster(state, file, merged.bytes);
    // Memory holds them now; an editor's change is told on with this copy's next write.
    m_appliedChanges += applied;
    m_ownChanges += edited;
    // While memory holds changes the file does not (kept for a later save), the base stays,
    // so the next save still counts them as this copy's.
    if (merged.bytes == *onDisk)
        m_rosterBase = *onDisk;
    return true;
}

SyncResult FolderSync::writeRoster(const QString &path, const QByteArray &base,
                                   const QByteArray &mine, QStringList *refused) {
    QSet<QByteArray> applied;
    QString untold; // why the teacher's changes could not be told to the other copies
    bool held = false;
    const SyncResult result = saveMerged(
        path,
        [&](const std::optional<QByteArray> &onDisk) -> std::optional<QByteArray> {
            // Under the folder's lock: the changes told so far, this copy's and an editor's
            // joined to them, and the roster's hash as it is about to be written.
            const QString changesPath = rosterChangesPath(path);
            const std::optional<QByteArray> toldBytes = readDataFile(changesPath);
            const RosterChanges told = toldChanges(toldBytes.value_or(QByteArray()));
            QList<RosterChange> edited;
            applied.clear();
            const QByteArray ours = withOthersChanges(told, onDisk, base, mine, &edited, &applied);
            // A roster that went missing is written again from what this copy holds.
            RosterMerge merged = mergeRoster(onDisk.value_or(base), base, ours);
            *refused = merged.refused;
            held = holdsDrop(mine, merged.bytes, applied, onDisk);
            if (held)
                return std::nullopt;
            const QList<RosterChange> more = newRosterChanges(told, m_ownChanges + edited);
            const QByteArray hash = rosterHash(merged.bytes);
            if (m_writtenRosters.size() > 8 * kMaxRosterHashes) // the file keeps the latest
                m_writtenRosters.clear();
            m_writtenRosters.insert(hash);
            if (!more.isEmpty() || !told.rosterHashes.contains(hash))
                untold = tellRosterChanges(changesPath, told, toldBytes, more, hash);
            // A removal, rename, reset or new order the other copies are not told of would be
            // undone by their next save: the roster waits with it until it can be told.
            if (!more.isEmpty() && !untold.isEmpty())
                return std::nullopt;
            untold.clear();
            return merged.bytes;
        },
        m_options);
    if (held)
        return {SyncStatus::Busy,
                {},
                QStringLiteral("ほかのパソコンか名簿ファイルの書きかえで、記録のある子ども%1人の"
                               "うち%2人だけが名簿に残る変更がありました。先生が「クラスの名簿」"
                               "でえらぶまで、名簿は書きません。")
                    .arg(m_held->drop.withRuns)
                    .arg(m_held->drop.left),
                {}};
    if (!untold.isEmpty())
        return {SyncStatus::Busy,
                {},
                QStringLiteral("名簿の変更をほかのパソコンに伝えるファイル（Quorin.chg）に書けま"
                               "せん。") +
                    untold,
                {}};
    if (result.status == SyncStatus::Saved || result.status == SyncStatus::Unchanged) {
        m_appliedChanges += applied;
        m_ownChanges.clear();
        m_held.reset();
        m_dropTaken = false;
    }
    return result;
}

bool FolderSync::holdsDrop(const QByteArray &mine, const QByteArray &merged,
                           const QSet<QByteArray> &changes,
                           const std::optional<QByteArray> &onDisk) {
    const RosterDrop drop = rosterDrop(mine, merged);
    if (m_dropTaken || !drop.large())
        return false;
    m_held = Held{{drop.withRuns, drop.withRuns - drop.dropped},
                  changes,
                  onDisk ? rosterHash(*onDisk) : QByteArray()};
    return true;
}

std::optional<FolderSync::HeldDrop> FolderSync::heldDrop() const {
    return m_held ? std::optional(m_held->drop) : std::nullopt;
}

void FolderSync::decideHeldDrop(bool take) {
    if (!m_held)
        return;
    if (take) {
        // The next save writes memory, which holds whatever a kept roster held, with the
        // change: a kept roster written first would be merged back over it.
        m_dropTaken = true;
        m_rosters.removeIf([&](const PendingRoster &p) { return p.path == m_rosterPath; });
        return;
    }
    // Set aside: the changes count as applied, and the edited file as one a copy wrote, so
    // the next save merges this copy's roster over it.
    m_appliedChanges += m_held->changes;
    if (!m_held->diskHash.isEmpty())
        m_writtenRosters.insert(m_held->diskHash);
    m_held.reset();
}

RosterChanges FolderSync::toldChanges(const QByteArray &bytes) {
    if (bytes != m_toldBytes) {
        m_told = parseRosterChanges(bytes, m_toldBytes, m_told);
        m_toldBytes = bytes;
    }
    return m_told;
}

void FolderSync::keepRoster(const QString &path, const QByteArray &base, const QByteArray &mine) {
    // One kept roster per file and base. Memory still holds the kept change, so the later
    // roster replaces it (and a pupil removed meanwhile stays removed).
    for (PendingRoster &p : m_rosters) {
        if (p.path == path && p.base == base) {
            p.mine = mine;
            return;
        }
    }
    m_rosters.append({path, base, mine});
}

void FolderSync::keepRecord(const QString &path, Activity activity, const QString &holder,
                            qint16 run) {
    // Only the longest kept run of an activity can become the record; a tie keeps the
    // earlier one.
    for (PendingRecord &p : m_records) {
        if (p.path == path && p.activity == activity) {
            if (run > p.run)
                p = {path, activity, holder, run};
            return;
        }
    }
    m_records.append({path, activity, holder, run});
}

SyncOutcome FolderSync::beforeSave(const QString &path) {
    if (const QString away = awayReason(path); !away.isEmpty())
        return {SyncStatus::Busy, true, away, {}, {}, hasPending()};
    return flushPending();
}

SyncOutcome FolderSync::saveRoster(ApplicationState &state, RosterFile &file, const QString &path) {
    SyncOutcome outcome = beforeSave(path);
    const auto mine = rosterFileBytes(state, file);
    if (!mine) {
        outcome.status = SyncStatus::Failed;
        outcome.reason = QStringLiteral("名簿に書けない文字があります。");
        return outcome;
    }
    const QByteArray base = path == m_rosterPath ? m_rosterBase : QByteArray();
    // While the folder is kept by another copy or away, the change joins the ones already
    // waiting instead of waiting for the lock a second time.
    QStringList refused;
    const SyncResult result = outcome.status == SyncStatus::Busy
                                  ? SyncResult{SyncStatus::Busy, {}, outcome.reason, {}}
                                  : writeRoster(path, base, *mine, &refused);
    outcome.refused += refused;
    outcome.status = result.status;
    outcome.reason = result.reason;
    if (result.status == SyncStatus::Busy)
        keepRoster(path, base, *mine);
    if (result.file &&
        (result.status == SyncStatus::Saved || result.status == SyncStatus::Unchanged)) {
        adoptRoster(state, file, *result.file);
        m_rosterPath = path;
        m_rosterBase = *result.file;
    }
    outcome.waiting = hasPending();
    return outcome;
}

SyncResult FolderSync::renameStreakHolder(const QString &path, const QString &from,
                                          const QString &to) {
    if (const QString away = awayReason(path); !away.isEmpty())
        return {SyncStatus::Busy, {}, away, {}};
    return saveMerged(
        path,
        [&](const std::optional<QByteArray> &onDisk) -> std::optional<QByteArray> {
            return onDisk ? ::renameStreakHolder(*onDisk, from, to) : std::nullopt;
        },
        m_options);
}

SyncOutcome FolderSync::saveStreakRecord(ApplicationState &state, Activity activity,
                                         const QString &path, const QString &holder) {
    SyncOutcome outcome = beforeSave(path);
    const SyncResult result =
        outcome.status == SyncStatus::Busy
            ? SyncResult{SyncStatus::Busy, {}, outcome.reason, {}}
            : saveMerged(
                  path,
                  [&](const std::optional<QByteArray> &onDisk) {
                      return readStreakRecord(state, activity, onDisk, holder);
                  },
                  m_options);
    outcome.status = result.status;
    outcome.reason = result.reason;
    if (result.status == SyncStatus::Busy)
        keepRecord(path, activity, holder, activityFields(state, activity).BestStreak);
    outcome.waiting = hasPending();
    return outcome;
}

SyncResult FolderSync::writeRecord(const QString &path, Activity activity, const QString &holder,
                                   qint16 run) {
    return saveMerged(
        path,
        [&](const std::optional<QByteArray> &onDisk) -> std::optional<QByteArray> {
            // A record file that went missing meanwhile is made afresh with the record.
            return raiseStreakRecord(onDisk.value_or(newStreakFileBytes()), activity, holder, run);
        },
        m_options);
}

SyncResult FolderSync::raiseRecord(const QString &path, Activity activity, const QString &holder,
                                   qint16 run) {
    if (const QString away = awayReason(path); !away.isEmpty())
        return {SyncStatus::Busy, {}, away, {}};
    return writeRecord(path, activity, holder, run);
}

SyncOutcome FolderSync::createIfMissing(const QString &path, const QByteArray &bytes) {
    if (const QString away = awayReason(path); !away.isEmpty())
        return {SyncStatus::Busy, true, away, {}, {}, hasPending()};
    const SyncResult result = saveMerged(
        path,
        [&](const std::optional<QByteArray> &) -> std::optional<QByteArray> {
            if (QFileInfo::exists(path))
                return std::nullopt;
            return bytes;
        },
        m_options);
    SyncOutcome outcome;
    outcome.status = result.status;
    outcome.reason = result.reason;
    outcome.waiting = hasPending();
    return outcome;
}

SyncOutcome FolderSync::flushPending() {
    SyncOutcome outcome;
    outcome.status = SyncStatus::Saved;
    // Nothing is written while the folder is away; every change kept waits on.
    if (const QString away = awayReason(m_rosterPath); !away.isEmpty() && hasPending())
        return {SyncStatus::Busy, true, away, {}, {}, true};
    // Settles one kept change: false while it must wait on. The first wait ends the round, so
    // a save never waits for the lock more than once.
    auto settle = [&](const SyncResult &result) {
        if (result.status == SyncStatus::Busy) {
            outcome.status = SyncStatus::Busy;
            outcome.reason = result.reason;
            return false;
        }
        if (result.status == SyncStatus::Failed)
            outcome.lostReason = result.reason;
        return true;
    };
    while (!m_rosters.isEmpty()) {
        const PendingRoster p = m_rosters.first();
        QStringList refused;
        const SyncResult result = writeRoster(p.path, p.base, p.mine, &refused);
        if (!settle(result))
            break;
        outcome.refused += refused;
        m_rosters.removeFirst();
    }
    while (outcome.status != SyncStatus::Busy && !m_records.isEmpty()) {
        const PendingRecord p = m_records.first();
        const SyncResult result = writeRecord(p.path, p.activity, p.holder, p.run);
        if (!settle(result))
            break;
        m_records.removeFirst();
    }
    outcome.waiting = hasPending();
    return outcome;
}

QString heldFolderLine(const QString &fileLabel, const QString &reason) {
    return QStringLiteral("きろくは　あとで　ほぞんします。\n（先生へ：") + fileLabel +
           QStringLiteral("をいま保存できませんでした。") + reason +
           QStringLiteral("記録はこのプログラムの中に残してあり、次に保存するとき、"
                          "またはプログラムを終わるときに保存します。）");
}

QString unsavedAtCloseText(const QString &folder, const QString &reason, bool runsKept) {
    return QStringLiteral("まだ保存できていない記録があります。\n\nフォルダー：") +
           QDir::toNativeSeparators(folder) + QStringLiteral("\n理由：") + reason +
           (runsKept ? QStringLiteral("\n\n連続100点の記録はこのコンピューターに取ってあり、"
                                      "次にプログラムを始めたときに保存します。ほかの変更は、"
                                      "プログラムを終わると保存されません。")
                     : QStringLiteral("\n\nプログラムを終わるので、この記録は保存されません。"));
}

QString lostChangeText(const QString &reason) {
    return QStringLiteral("前に保存できなかった記録を保存しようとしましたが、"
                          "できませんでした。\n\n理由：") +
           reason;
}

QString refusedPupilsText(const QStringList &names) {
    return QStringLiteral("名簿がいっぱいのため、次の人を名簿に入れられませんでした：\n") +
           names.join(QStringLiteral("、"));
}
