#include "classroom/classroom.h"

#include "classroom/factstate.h"

#include "core/fileexists.h"
#include "core/numericvalue.h"
#include "records/classlist.h"
#include "records/datafile.h"
#include "records/pupilname.h"
#include "records/streak.h"
#include "records/streakrecord.h"
#include "records/taughtrows.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <utility>

QString applicationTitle() {
    return QStringLiteral("ミルト　ーネ");
}

namespace {

const QString kRememberedFolderKey = QStringLiteral("Settings/DataFolder");
// Kept runs live beside the answer spool of the same running copy, with this ending.
const QString kRunsEnding = QStringLiteral(".runs");

QString rosterFileLabel() {
    return QStringLiteral("名簿ファイル（Quorin.ini）");
}
QString streakFileLabel() {
    return QStringLiteral("記録ファイル（Quorin.dat）");
}

} // namespace

namespace {

// A settings file that is not an ordinary file (a FIFO, a device, a link to one) would stop
// the program at its first read; the settings then live in a scratch file for this run.
bool settingsFileUsable() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    const QStringList folders =
        QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    for (const QString &folder : folders) {
        const QFileInfo info(folder + u'/' + applicationTitle() + QStringLiteral(".conf"));
        if (info.exists() && !info.isFile())
            return false;
    }
#endif
    return true;
}

QString scratchSettingsPath() {
    static QTemporaryDir scratch;
    return scratch.filePath(QStringLiteral("settings.ini"));
}

} // namespace

QSettings programSettings() {
    if (!settingsFileUsable())
        return QSettings(scratchSettingsPath(), QSettings::IniFormat);
    return QSettings(applicationTitle());
}

QString rememberedDataFolder() {
    return programSettings().value(kRememberedFolderKey).toString();
}

void rememberDataFolder(const QString &folder) {
    QSettings settings = programSettings();
    if (folder.isEmpty())
        settings.remove(kRememberedFolderKey);
    else
        settings.setValue(kRememberedFolderKey, folder);
}

Classroom::Classroom(ApplicationState &state, QObject *parent)
    : QObject(parent), m_state(state), m_ownRandom(std::make_unique<MersenneRandomSource>()),
      m_random(m_ownRandom.get()) {
    m_retryTimer.setInterval(15000);
    connect(&m_retryTimer, &QTimer::timeout, this, &Classroom::retryKeptChanges);
    m_deferredSave.setSingleShot(true);
    m_deferredSave.setInterval(0);
    connect(&m_deferredSave, &QTimer::timeout, this, &Classroom::writeDeferredRoster);
}

Classroom::~Classroom() {
    writeDeferredRoster();
}

void Classroom::setDeferredRosterSaves(bool deferred) {
    if (!deferred)
        writeDeferredRoster();
    m_deferSaves = deferred;
}

void Classroom::writeDeferredRoster() {
    m_deferredSave.stop();
    if (!m_rosterDirty)
        return;
    const QList<KeptRun> raised = std::exchange(m_deferredRuns, {});
    // Runs the folder did not take (a full disk, a folder away or held) are kept on this
    // computer, as at the desktop; no box for the pupils at the tablets.
    if (!writeRosterQuietly() || !m_rosterSaved)
        for (const KeptRun &run : raised)
            keepRun(run);
}

void Classroom::setRandomSource(RandomSource *source) {
    m_random = source ? source : m_ownRandom.get();
}

void Classroom::tell(Notice notice, const QString &title, const QString &text) {
    Q_EMIT message(notice, title, text);
}

void Classroom::publishNames() {
    Q_EMIT namesChanged(rosterNames(m_state, m_rosterFile));
}

void Classroom::load() {
    LoadRoster();
    showAllStreakRecords();
    // Answers an earlier run could not write go out now, or wait on; so do runs.
    writeKeptAnswers();
    writeKeptRuns();
}

void Classroom::showAllStreakRecords() {
    ShowNoviceStreakRecord();
    ShowIntermediateStreakRecord();
    ShowExpertStreakRecord();
    ShowChallengeStreakRecord();
}

// ---- Sign-in ------------------------------------------------------------------------------

SignInOutcome Classroom::signIn(const QString &typed) {
    writeDeferredRoster(); // the roster is read afresh below
    // 1. A missing roster file is created. It is read back at once, so the first pupil of a
    //    new folder is looked up and recorded like every later one. A roster that went
    //    missing while this copy holds it is written back whole; one that is there but
    //    cannot be read is left alone. The record file is made with it.
    const QString rosterPath = m_state.rosterPath();
    if (!FileExists(rosterPath)) {
        if (m_state.RosterLoaded)
            writeRoster();
        else if (!QFileInfo::exists(rosterPath) &&
                 createMissingDataFile(rosterPath, rosterFileLabel(), newRosterFileBytes()))
            LoadRoster();
        if (!QFileInfo::exists(m_state.streakPath()))
            createMissingDataFile(m_state.streakPath(), streakFileLabel(), newStreakFileBytes());
    }

    // 2. An empty name, or one of spaces alone, signs nobody in.
    if (typedPupilName(typed).isEmpty())
        return {SignInOutcome::Empty, QString(), QString()};

    // A name the files cannot hold is refused with a word to the pupil.
    const NameCheck check = checkPupilName(typed);
    if (check.problem != NameProblem::None)
        return {SignInOutcome::Refused, QString(), nameProblemMessage(check)};
    const QString name = check.name;
    m_nameText = name; // the composed form is the one stored and shown

    PupilSearch search;
    if (m_state.RosterLoaded) {
        // Another copy of the program may have added pupils or raised runs meanwhile.
        lookAtRoster();
        search = findPupil(m_state, m_rosterFile, name);
        // A closed class list takes no new name: a typo never makes a new pupil.
        if (!search.found && (m_newPupilsRefused || closedClassList()))
            return {SignInOutcome::Refused, QString(), notOnClassListMessage()};
        if (search.full)
            return {SignInOutcome::Refused, QString(), rosterFullMessage()};
    }

    // 3. and 4. Find or add the pupil (the window opens the activities once signed in). The
    //    pupil signed in before is nobody's from here on.
    m_pupilName.clear();
    m_pupilOffRoster = false;
    if (m_state.RosterLoaded) {
        if (!search.found) {
            const int row = search.row;
            m_state.RosterTable[row][0] = name;
            for (int c = 1; c < kRosterCells; ++c)
                m_state.RosterTable[row][c] = QStringLiteral("0");
            if (row >= m_rosterFile.rows)
                m_rosterFile.rows = row + 1;
            if (!writeRoster()) {
                // Not recorded: the pupil is not signed in, the teacher has been told.
                publishNames();
                return {SignInOutcome::Failed, QString(), QString()};
            }
            // The merge with the file may have put the pupil in another row, or found no
            // row left once other copies' pupils were counted.
            search = findPupil(m_state, m_rosterFile, name);
            if (!search.found)
                return {SignInOutcome::Refused, QString(), rosterFullMessage()};
        }
        m_state.CurrentPupilRow = static_cast<qint16>(search.row);
    } else {
        // No roster could be read or made: the pupil has no row, so nothing is ever written
        // into another pupil's row.
        m_state.CurrentPupilRow = 0;
    }

    // 5. The pupil's best runs.
    for (Activity activity : kAllActivities) {
        ActivityFields f = activityFields(m_state, activity);
        f.CurrentStreak = 0;
        f.BestStreak =
            m_state.RosterLoaded && m_state.CurrentPupilRow > 0
                ? numericValueInt16(m_state.RosterTable[m_state.CurrentPupilRow][f.rosterColumn])
                : qint16(0);
    }

    // 6. The four messages with this pupil's runs (the window then deals fresh sets).
    showAllStreakRecords();
    m_pupilName = name;
    return {SignInOutcome::SignedIn, name, QString()};
}

// ---- Roster and records ----------------------------------------------------------------

void Classroom::LoadRoster() {
    m_state.RosterLoaded = False;
    const DataFileRead read = readDataFileChecked(m_state.rosterPath());
    std::optional<QByteArray> bytes;
    if (read.state == DataFileRead::Read) {
        bytes = read.bytes;
        m_state.RosterLoaded = True;
    }
    // Changes still waiting for another copy to let go of the folder stay in memory, and the
    // signed-in pupil keeps the right row when other copies added pupils meanwhile.
    m_sync.rosterLoaded(m_state, m_rosterFile, m_state.rosterPath(), bytes);
    findSignedInPupil();
    publishNames();
    rememberSavedRoster();

    // A roster that is there but cannot be read is never taken for an empty one: the page
    // says that the pupils may practise but nothing of theirs is kept.
    m_rosterProblem.clear();
    if (read.state == DataFileRead::Unreadable)
        m_rosterProblem = QStringLiteral("めいぼが　よめないので、きろくが　のこりません。"
                                         "れんしゅうは　できます。\n（先生へ：") +
                          rosterFileLabel() + QStringLiteral("を読めません。") + read.reason +
                          QStringLiteral("）");
    showRecordStatus();
    QStringList untold;
    for (const QString &name : m_rosterFile.unwritable)
        if (!m_toldUnwritable.contains(name))
            untold << name;
    if (!untold.isEmpty()) {
        m_toldUnwritable += untold;
        tell(Notice::Warning, applicationTitle(),
             rosterFileLabel() +
                 QStringLiteral("の次の名前には、このプログラムが書けない字があります。"
                                "名前の一覧には出さず、その行はそのまま残しています：\n") +
                 untold.join(QStringLiteral("、")));
    }
}

QString Classroom::recordStatus() const {
    QStringList lines;
    for (const QString *line :
         {&m_awayProblem, &m_rosterProblem, &m_streakReadProblem, &m_streakWriteProblem})
        if (!line->isEmpty())
            lines << *line;
    if (const QString answers = answerLogProblem(); !answers.isEmpty())
        lines << answers;
    if (!m_taughtRowsProblem.isEmpty())
        lines << QStringLiteral("（先生へ：教えた段のファイル（Quorin.dan）を読めません。%1"
                                "九九けんていと、にがて れんしゅうは、すべての段を出しています。）")
                     .arg(m_taughtRowsProblem);
    QStringList offRoster;
    for (const OffRosterRuns &kept : m_offRosterRuns)
        if (kept.path == m_state.rosterPath())
            offRoster << u'「' + kept.name + u'」';
    if (runsKept())
        lines << QStringLiteral(
                     "きろくは　この　コンピューターに　とって　あります。\n"
                     "（先生へ：連続100点の記録 %1 件をデータのフォルダーに書けないため、"
                     "このコンピューターに取ってあります。書けるようになったら書きます。"
                     "%2）")
                     .arg(m_runSpool->runs().size())
                     .arg(m_runSpool->problem());
    if (!offRoster.isEmpty())
        lines << QStringLiteral("きろくは　この　コンピューターに　とって　あります。\n"
                                "（先生へ：%1さんは名簿にないため、連続100点の記録を"
                                "名簿に書けません。クラスの名簿に入れると、その記録を書きます。）")
                     .arg(offRoster.join(u'、'));
    if (!m_usualFolder.isEmpty() && m_state.DataFolder == m_insteadFolder) {
        const bool back = dataFolderProblem(m_usualFolder).isEmpty();
        lines << QStringLiteral("きろくは　いつもと　ちがう　フォルダーに　ほぞんして　います。\n"
                                "（先生へ：毎回使うフォルダー「%1」%2。記録はいま「%3」に保存"
                                "しています。%4）")
                     .arg(QDir::toNativeSeparators(m_usualFolder),
                          back ? QStringLiteral("がもどりました") : QStringLiteral("が使えません"),
                          QDir::toNativeSeparators(m_insteadFolder),
                          back ? QStringLiteral("オプションでそのフォルダーを選ぶと、そこに保存"
                                                "します。")
                               : QStringLiteral("オプションでフォルダーを選ぶと、この表示は"
                                                "消えます。"));
    }
    return lines.join(u'\n');
}

void Classroom::showRecordStatus() {
    Q_EMIT recordStatusChanged(recordStatus());
}

void Classroom::SaveRoster() {
    writeRoster();
}

QList<RosterRow> Classroom::classList() const {
    QList<RosterRow> pupils;
    for (int r = 1; m_state.RosterLoaded && r < qMin(m_rosterFile.rows, kRosterRows); ++r) {
        if (m_state.RosterTable[r][0].isEmpty())
            break;
        RosterRow row;
        for (int c = 0; c < kRosterCells; ++c)
            row[c] = m_state.RosterTable[r][c];
        pupils.append(row);
    }
    return pupils;
}

QString Classroom::setClassList(const QList<RosterRow> &pupils,
                                const QList<QPair<QString, QString>> &renamed) {
    if (!m_state.RosterLoaded)
        return QStringLiteral("名簿ファイルが読みこまれていません。");
    m_state.CurrentPupilRow = 0;
    m_pupilName.clear();
    const auto before = rosterFileBytes(m_state, m_rosterFile);
    for (int r = 1; r < kRosterRows; ++r)
        for (int c = 0; c < kRosterCells; ++c)
            m_state.RosterTable[r][c] = r - 1 < pupils.size() ? pupils[r - 1][c] : QString();
    m_rosterFile.rows = int(qMin(pupils.size() + 1, qsizetype(kRosterRows)));
    // Removals, renames, resets and a new order must reach the other copies too.
    if (const auto after = rosterFileBytes(m_state, m_rosterFile); before && after)
        m_sync.classListChanged(*before, *after, renamed);
    if (!writeRoster())
        return QStringLiteral("名簿ファイルに書けませんでした。");
    // Kept for later (the folder held, or the change not yet told to the other copies): the
    // class list does not say it is done.
    QString problem = m_sync.hasPending()
                          ? QStringLiteral("変更は、まだ名簿ファイルに書けていません（%1）。"
                                           "書けるようになったら書きます。")
                                .arg(m_rosterWaitReason)
                          : QString();
    for (const auto &[from, to] : renamed) {
        const SyncResult result = m_sync.renameStreakHolder(m_state.streakPath(), from, to);
        if (result.status == SyncStatus::Busy || result.status == SyncStatus::Failed)
            problem += QStringLiteral("クラスの記録の名前は変えられませんでした（%1）。")
                           .arg(result.reason);
    }
    showAllStreakRecords();
    return problem;
}

bool Classroom::writeRoster() {
    return writeRoster(false);
}

bool Classroom::writeRosterQuietly() {
    return writeRoster(true);
}

bool Classroom::writeRoster(bool quiet) {
    // Everything in memory is written now (or put back as it was saved).
    m_rosterDirty = false;
    m_rosterSaved = false;
    const QString path = m_state.rosterPath();
    QString reason = QStringLiteral("名簿ファイルが読みこまれていません。");
    if (m_state.RosterLoaded) {
        // Runs kept on this computer go into their pupils' lines with this save, where they
        // are longer than the lines' (another copy may have written a longer one meanwhile).
        for (const KeptRun &run : runSpool().runs()) {
            const PupilSearch found = run.kind == KeptRun::Best
                                          ? findPupil(m_state, m_rosterFile, run.name)
                                          : PupilSearch{};
            if (!found.found)
                continue;
            QString &cell = m_state.RosterTable[found.row][int(run.activity) + 1];
            if (run.run > numericValueInt16(cell))
                cell = QString::number(run.run);
        }
        // Merged with the file as other copies left it; memory then shows the merged roster.
        const SyncOutcome outcome = m_sync.saveRoster(m_state, m_rosterFile, path);
        m_rosterWaitReason = outcome.status == SyncStatus::Busy ? outcome.reason : QString();
        reportSyncOutcome(outcome, rosterFileLabel());
        if (outcome.status != SyncStatus::Failed) {
            // Saved, or kept until another copy lets go of the folder.
            findSignedInPupil();
            publishNames();
            rememberSavedRoster();
            m_rosterFailureShown = false;
            m_rosterProblem.clear();
            m_rosterSaved =
                outcome.status == SyncStatus::Saved || outcome.status == SyncStatus::Unchanged;
            if (m_rosterSaved)
                forgetWrittenRuns();
            showRecordStatus();
            return true;
        }
        reason = outcome.reason;
    }
    restoreSavedRoster();
    reportSaveFailure(rosterFileLabel(), path, reason, false, quiet);
    return false;
}

RunSpool &Classroom::runSpool() {
    // Beside the answer spool of this running copy, for the data folder in use.
    if (!m_runSpool || m_runSpoolFolder != m_state.DataFolder) {
        const QString answers = answerQueue().spoolPath();
        m_runSpoolFolder = m_state.DataFolder;
        m_runSpool = std::make_unique<RunSpool>(
            answers.isEmpty() ? QString() : AnswerQueue::besideSpool(answers, kRunsEnding));
        // Runs that copies no longer running kept beside their spools: this copy's now.
        answerQueue().adoptLeftFiles(kRunsEnding,
                                     [this](const QString &path) { m_runSpool->adopt(path); });
    }
    return *m_runSpool;
}

void Classroom::keepRun(const KeptRun &run) {
    if (run.name.isEmpty() || run.run <= 0)
        return;
    runSpool().keep(run);
    Q_EMIT runsKeptChanged(true);
    if (!m_retryTimer.isActive())
        m_retryTimer.start();
    showRecordStatus();
}

void Classroom::forgetWrittenRuns() {
    if (!m_runSpool || m_runSpool->isEmpty())
        return;
    const QList<KeptRun> runs = runSpool().runs();
    for (const KeptRun &run : runs) {
        const PupilSearch found =
            run.kind == KeptRun::Best ? findPupil(m_state, m_rosterFile, run.name) : PupilSearch{};
        if (found.found &&
            numericValueInt16(m_state.RosterTable[found.row][int(run.activity) + 1]) >= run.run)
            runSpool().forget(run);
    }
    if (!runsKept())
        Q_EMIT runsKeptChanged(false);
}

void Classroom::writeKeptRuns() {
    if (runSpool().isEmpty())
        return;
    const QList<KeptRun> runs = runSpool().runs();
    if (m_state.RosterLoaded && !m_rosterDirty &&
        std::any_of(runs.cbegin(), runs.cend(),
                    [](const KeptRun &run) { return run.kind == KeptRun::Best; }))
        writeRoster(true);
    for (const KeptRun &run : runs) {
        if (run.kind != KeptRun::Record)
            continue;
        // Merged under the lock: a longer record another copy wrote meanwhile stays.
        const SyncResult result =
            m_sync.raiseRecord(m_state.streakPath(), run.activity, run.name, run.run);
        if (result.status == SyncStatus::Saved || result.status == SyncStatus::Unchanged) {
            runSpool().forget(run);
            m_streakWriteProblem.clear();
        }
    }
    Q_EMIT runsKeptChanged(runsKept());
    if (runsKept() && !m_retryTimer.isActive())
        m_retryTimer.start();
    showRecordStatus();
}

void Classroom::reportSyncOutcome(const SyncOutcome &outcome, const QString &label) {
    // A folder that is away, or held by another copy, is told on the record line for as long
    // as changes wait for it: words a pupil can read, the detail for the teacher in brackets.
    // Never a box: a pupil would be the one to see it.
    if (outcome.away)
        showFolderAway(outcome.reason, outcome.waiting);
    else if (outcome.status == SyncStatus::Busy)
        showWaiting(heldFolderLine(label, outcome.reason), outcome.waiting);
    else
        showWaiting(QString(), outcome.waiting);
    if (!outcome.lostReason.isEmpty())
        tell(Notice::Warning, applicationTitle(), lostChangeText(outcome.lostReason));
    QStringList refused = outcome.refused;
    refused.removeAll(m_nameText); // the sign-in page tells that pupil itself
    if (!refused.isEmpty())
        tell(Notice::Warning, applicationTitle(), refusedPupilsText(refused));
}

void Classroom::showFolderAway(const QString &reason, bool waiting) {
    showWaiting(reason.isEmpty()
                    ? QString()
                    : QStringLiteral("きろくは　この　コンピューターに　とって　あります。\n"
                                     "（先生へ：") +
                          reason +
                          QStringLiteral("記録はこのコンピューターに残してあり、フォルダーが"
                                         "もどったら保存します。）"),
                waiting);
}

void Classroom::showWaiting(const QString &told, bool waiting) {
    QString line = told;
    if (line.isEmpty() && waiting)
        line = m_awayProblem; // still waiting for another copy: the line stays as it was
    if (line != m_awayProblem) {
        m_awayProblem = line;
        showRecordStatus();
    }
    // While changes wait, they are tried again now and then, so they reach the folder when it
    // is back even if nobody saves meanwhile; so are the runs kept on this computer.
    waiting = waiting || runsKept();
    if (waiting && !m_retryTimer.isActive())
        m_retryTimer.start();
    else if (!waiting)
        m_retryTimer.stop();
}

void Classroom::retryKeptChanges() {
    writeKeptRuns();
    if (!m_sync.hasPending()) {
        showFolderAway(QString(), false);
        return;
    }
    reportSyncOutcome(m_sync.flushPending(), rosterFileLabel());
}

void Classroom::saveKeptChanges() {
    // Answers and runs still waiting stay in this computer's spools for the next start; this
    // is their last try in this run.
    writeKeptAnswers();
    writeKeptRuns();
    if (!m_sync.hasPending())
        return;
    // The teacher is told of what is still waiting after this last try, and only of that.
    const SyncOutcome outcome = m_sync.flushPending();
    if (!outcome.lostReason.isEmpty())
        tell(Notice::Warning, applicationTitle(), lostChangeText(outcome.lostReason));
    if (outcome.waiting)
        tell(Notice::Warning, applicationTitle(),
             unsavedAtCloseText(m_state.DataFolder, outcome.reason, runsKept()));
}

void Classroom::rememberSavedRoster() {
    m_savedRosterFile = m_rosterFile;
    m_savedRows.resize(kRosterRows);
    for (int r = 0; r < kRosterRows; ++r)
        for (int c = 0; c < kRosterCells; ++c)
            m_savedRows[r][c] = m_state.RosterTable[r][c];
    // A way back: the roster as this copy read or wrote it, kept on this computer.
    if (!m_state.RosterLoaded)
        return;
    const QString folder = RosterVersions::folderFor(m_state.DataFolder);
    if (!m_rosterVersions || m_rosterVersions->folder() != folder)
        m_rosterVersions.emplace(folder);
    if (const auto bytes = rosterFileBytes(m_state, m_rosterFile))
        m_rosterVersions->keep(*bytes);
}

void Classroom::decideRosterDrop(bool take) {
    m_sync.decideHeldDrop(take);
    if (m_state.RosterLoaded)
        writeRoster();
}

QList<RosterVersion> Classroom::rosterVersions() const {
    return RosterVersions(RosterVersions::folderFor(m_state.DataFolder)).versions();
}

QString Classroom::restoreRosterVersion(const QString &fileName) {
    const auto bytes = RosterVersions(RosterVersions::folderFor(m_state.DataFolder)).read(fileName);
    if (!bytes)
        return QStringLiteral("その名簿は、もう読めません。");
    QList<RosterRow> version;
    const RosterRead read = parseRoster(*bytes);
    for (qsizetype r = 1; r < read.rows.size(); ++r)
        version.append(read.rows[r]);
    const QList<RosterRow> restored = restoredClassList(classList(), version);
    // The pupils come back after those the file holds (a merge adds new lines at the end);
    // the version's order is then a change of order like the teacher's own.
    const QString problem = setClassList(restored);
    return problem.isEmpty() && classList() != restored ? setClassList(restored) : problem;
}

void Classroom::restoreSavedRoster() {
    m_rosterFile = m_savedRosterFile;
    for (int r = 0; r < m_savedRows.size(); ++r)
        for (int c = 0; c < kRosterCells; ++c)
            m_state.RosterTable[r][c] = m_savedRows[r][c];
    findSignedInPupil();
}

void Classroom::lookAtRoster() {
    // While raised runs wait for the deferred save, memory is newer than the file and stays.
    if (!m_state.RosterLoaded || m_rosterDirty)
        return;
    if (m_sync.refreshRoster(m_state, m_rosterFile, m_state.rosterPath())) {
        publishNames();
        rememberSavedRoster();
    }
    findSignedInPupil();
    const QList<OffRosterRuns> taken = takeInOffRosterRuns();
    if (!taken.isEmpty() && !writeRoster())
        m_offRosterRuns += taken; // memory is as before; they wait on
    if (!taken.isEmpty())
        showRecordStatus();
}

void Classroom::findSignedInPupil() {
    if (m_pupilName.isEmpty() || !m_state.RosterLoaded)
        return;
    const PupilSearch search = findPupil(m_state, m_rosterFile, m_pupilName);
    m_state.CurrentPupilRow = search.found ? qint16(search.row) : qint16(0);
    if (search.found || m_pupilOffRoster) {
        m_pupilOffRoster = !search.found;
        return;
    }
    // The teacher removed the pupil, and the runs of that line with it: from now on the
    // pupil's runs start again.
    m_pupilOffRoster = true;
    for (Activity activity : kAllActivities)
        activityFields(m_state, activity).BestStreak = 0;
}

void Classroom::placeOffRosterRuns() {
    if (m_pupilName.isEmpty() || !m_state.RosterLoaded)
        return;
    OffRosterRuns runs{m_state.rosterPath(), m_pupilName, {}};
    for (Activity activity : kAllActivities)
        runs.best[int(activity)] = activityFields(m_state, activity).BestStreak;
    const PupilSearch search = findPupil(m_state, m_rosterFile, m_pupilName);
    if (!search.found && !search.full && !closedClassList()) {
        // An open class list takes the pupil back, as at sign-in, with the runs.
        const int row = search.row;
        m_state.RosterTable[row][0] = m_pupilName;
        for (Activity activity : kAllActivities)
            m_state.RosterTable[row][int(activity) + 1] = QString::number(runs.best[int(activity)]);
        if (row >= m_rosterFile.rows)
            m_rosterFile.rows = row + 1;
        m_state.CurrentPupilRow = qint16(row);
        m_pupilOffRoster = false;
        if (writeRoster() && !m_pupilOffRoster)
            return;
    }
    // Kept here, the larger run of each activity, until the roster holds the pupil again.
    auto kept =
        std::find_if(m_offRosterRuns.begin(), m_offRosterRuns.end(), [&](const OffRosterRuns &k) {
            return k.path == runs.path && k.name == runs.name;
        });
    if (kept == m_offRosterRuns.end())
        m_offRosterRuns.append(runs);
    else
        for (int k = 0; k < 4; ++k)
            kept->best[k] = qMax(kept->best[k], runs.best[k]);
    showRecordStatus();
}

QList<Classroom::OffRosterRuns> Classroom::takeInOffRosterRuns() {
    QList<OffRosterRuns> taken;
    for (auto it = m_offRosterRuns.begin(); it != m_offRosterRuns.end();) {
        const PupilSearch search = it->path == m_state.rosterPath()
                                       ? findPupil(m_state, m_rosterFile, it->name)
                                       : PupilSearch{};
        if (!search.found) {
            ++it;
            continue;
        }
        for (Activity activity : kAllActivities) {
            QString &cell = m_state.RosterTable[search.row][int(activity) + 1];
            const qint16 run = it->best[int(activity)];
            if (run > numericValueInt16(cell))
                cell = QString::number(run);
            if (it->name == m_pupilName) {
                ActivityFields f = activityFields(m_state, activity);
                f.BestStreak = qMax(f.BestStreak, run);
            }
        }
        taken.append(*it);
        it = m_offRosterRuns.erase(it);
    }
    return taken;
}

bool Classroom::createMissingDataFile(const QString &path, const QString &label,
                                      const QByteArray &bytes) {
    // Under the folder's lock, so a file another copy has just made and written is never
    // replaced by an empty one.
    const SyncOutcome outcome = m_sync.createIfMissing(path, bytes);
    const bool made =
        outcome.status == SyncStatus::Saved || outcome.status == SyncStatus::Unchanged;
    if (outcome.away)
        showFolderAway(outcome.reason, true);
    else if (!made)
        reportSaveFailure(label, path, outcome.reason, true);
    else if (label == streakFileLabel())
        m_streakWriteProblem.clear();
    return made;
}

void Classroom::reportSaveFailure(const QString &label, const QString &path, const QString &reason,
                                  bool creating, bool quiet) {
    const QString text = saveFailureText(label, path, reason, creating);
    // The record file's failures only ever reach the record line. The roster's bring a box
    // the first time in a run; after that, until a save succeeds, the line alone tells, so a
    // lesson is not stopped at every sign-in and every graded set.
    QString line = text;
    line.replace(QStringLiteral("\n\n"), QStringLiteral("\n"));
    if (label == streakFileLabel()) {
        m_streakWriteProblem = line;
    } else {
        m_rosterProblem = line;
        if (!m_rosterFailureShown && !quiet)
            tell(Notice::Warning, applicationTitle(), text);
        m_rosterFailureShown = m_rosterFailureShown || !quiet;
    }
    showRecordStatus();
}

void Classroom::OpenDataFolder() {
    if (!FileExists(m_state.rosterPath()))
        createMissingDataFile(m_state.rosterPath(), rosterFileLabel(), newRosterFileBytes());
    LoadRoster();
    if (!FileExists(m_state.streakPath()))
        createMissingDataFile(m_state.streakPath(), streakFileLabel(), newStreakFileBytes());
    showAllStreakRecords();
    // RosterLoaded stays as LoadRoster left it: true only when the roster file was read, so
    // no pupil is added to a roster whose header was never read.
}

void Classroom::ShowNoviceStreakRecord() {
    ShowStreakRecord(Activity::Novice);
}
void Classroom::ShowIntermediateStreakRecord() {
    ShowStreakRecord(Activity::Intermediate);
}
void Classroom::ShowExpertStreakRecord() {
    ShowStreakRecord(Activity::Expert);
}
void Classroom::ShowChallengeStreakRecord() {
    ShowStreakRecord(Activity::Challenge);
}

void Classroom::ShowStreakRecord(Activity activity) {
    const QString path = m_state.streakPath();
    const QString name = m_nameText;
    DataFileRead read = readDataFileChecked(path);
    // A record about to be written into a folder without a record file: the file is made.
    if (read.state == DataFileRead::Missing && activityFields(m_state, activity).BestStreak > 0 &&
        createMissingDataFile(path, streakFileLabel(), newStreakFileBytes()))
        read = readDataFileChecked(path);
    m_streakReadProblem.clear();
    if (read.state == DataFileRead::Unreadable)
        m_streakReadProblem = streakFileLabel() + QStringLiteral("を読めません。") + read.reason +
                              QStringLiteral("クラスの記録は残りません。");
    std::optional<QByteArray> bytes =
        read.state == DataFileRead::Read ? std::optional(read.bytes) : std::nullopt;
    // While the folder is away its record file is out of reach: a record is judged against
    // an empty one and kept, and the kept record is merged into the real file later.
    if (read.state == DataFileRead::Missing && !m_sync.awayReason(path).isEmpty())
        bytes = newStreakFileBytes();
    if (readStreakRecord(m_state, activity, bytes, name)) {
        // The rewrite runs again under the folder's lock on the file as it is then, so a
        // longer run another copy wrote meanwhile is kept.
        const SyncOutcome outcome = m_sync.saveStreakRecord(m_state, activity, path, name);
        reportSyncOutcome(outcome, streakFileLabel());
        if (outcome.status == SyncStatus::Saved) {
            takeOverStreakRecord(m_state, activity, name);
            m_streakWriteProblem.clear();
        } else if (outcome.status != SyncStatus::Unchanged) { // Unchanged: a longer one is there
            if (outcome.status == SyncStatus::Failed)
                reportSaveFailure(streakFileLabel(), path, outcome.reason, false);
            // Not written (yet): kept on this computer, over a restart too.
            keepRun(
                {KeptRun::Record, activity, activityFields(m_state, activity).BestStreak, name});
        }
    }
    showRecordStatus();
    Q_EMIT streakMessageChanged(activity, streakMessage(m_state, activity));
}

void Classroom::advanceStreakAndSave(Activity activity, int correctCount) {
    ActivityFields f = activityFields(m_state, activity);
    // A run that may rise is weighed against the roster as it is now, and goes into the line
    // that holds the pupil's name now.
    if (f.FirstAttempt == True && correctCount == f.fullMark)
        lookAtRoster();
    const qint16 bestBefore = f.BestStreak;
    // A best run that could not be saved is not kept either, so the next full mark that
    // beats the saved one tries again.
    if (!AdvanceStreak(m_state, activity, correctCount)) {
        if (f.BestStreak > bestBefore) // raised, but the roster holds no line of the pupil
            placeOffRosterRuns();
        return;
    }
    const qint16 raised = f.BestStreak;
    if (m_deferSaves) {
        m_rosterDirty = true;
        m_deferredRuns.append({KeptRun::Best, activity, raised, m_pupilName});
        m_deferredSave.start();
    } else if (!writeRosterQuietly()) {
        // The folder does not take it: the run is kept on this computer and written when it
        // does; the pupil's page says so, the record line why.
        keepRun({KeptRun::Best, activity, raised, m_pupilName});
    } else if (m_pupilOffRoster) {
        // The save took in a removal of the pupil made meanwhile: the run goes on without
        // the line.
        f.BestStreak = raised;
        placeOffRosterRuns();
    } else if (!m_rosterSaved) {
        // Kept for a folder that is away or held: kept on this computer too, over a restart.
        keepRun({KeptRun::Best, activity, raised, m_pupilName});
    }
}

void Classroom::grade(Activity activity, int correctCount, const QList<FactAnswer> &answers) {
    if (activityFields(m_state, activity).FirstAttempt == True)
        recordAnswers(LoggedActivity(int(activity) + 1), answers);
    // Only the first grading of a set counts toward the run; a later one only refreshes the
    // message.
    advanceStreakAndSave(activity, correctCount);
    activityFields(m_state, activity).FirstAttempt = False;
    ShowStreakRecord(activity);
}

bool Classroom::resumePupil(const QString &name, const PupilRuns &runs) {
    // Another copy (or the desktop window of this computer) may have changed the roster; while
    // raised runs wait for their save, memory is newer than the file and stays.
    if (m_state.RosterLoaded && !m_rosterDirty &&
        m_sync.refreshRoster(m_state, m_rosterFile, m_state.rosterPath())) {
        publishNames();
        rememberSavedRoster();
    }
    const PupilSearch search =
        m_state.RosterLoaded ? findPupil(m_state, m_rosterFile, name) : PupilSearch{};
    if (!search.found) {
        m_state.CurrentPupilRow = 0;
        m_pupilName.clear();
        return false;
    }
    m_state.CurrentPupilRow = static_cast<qint16>(search.row);
    m_pupilOffRoster = false;
    for (Activity activity : kAllActivities) {
        ActivityFields f = activityFields(m_state, activity);
        f.CurrentStreak = runs.current[int(activity)];
        f.FirstAttempt = runs.firstAttempt[int(activity)];
        f.BestStreak = numericValueInt16(m_state.RosterTable[search.row][f.rosterColumn]);
    }
    m_pupilName = m_nameText = name;
    return true;
}

PupilRuns Classroom::pupilRuns() const {
    PupilRuns runs;
    auto &state = const_cast<ApplicationState &>(m_state);
    for (Activity activity : kAllActivities) {
        const ActivityFields f = activityFields(state, activity);
        runs.current[int(activity)] = f.CurrentStreak;
        runs.firstAttempt[int(activity)] = f.FirstAttempt;
    }
    return runs;
}

void Classroom::useServerAnswerLog() {
    m_serverLog = true;
    m_answerQueue.reset();
    m_runSpool.reset();
}

// ---- The answer log --------------------------------------------------------------------

std::optional<PupilFacts> Classroom::pupilFacts(int budgetMs) {
    if (m_pupilName.isEmpty())
        return PupilFacts{};
    writeKeptAnswers(); // the answers still kept belong in the picture too
    if (!m_facts.update(m_state.DataFolder, budgetMs))
        return std::nullopt;
    return m_facts.facts(m_pupilName);
}

std::optional<WeakSet> Classroom::dealWeakSet(int budgetMs) {
    const std::optional<PupilFacts> facts = pupilFacts(budgetMs);
    if (!facts)
        return std::nullopt;
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 at = now.date().toJulianDay() * 86400 + now.time().msecsSinceStartOfDay() / 1000;
    m_random->reseedFromClock();
    return ::dealWeakSet(*facts, factLimitMs(), at, *m_random, taughtRows());
}

// ---- 九九けんてい ------------------------------------------------------------------------

namespace {
const QString kCheckLimitKeys[kCheckWays] = {QStringLiteral("Check/UpWithinMs"),
                                             QStringLiteral("Check/DownWithinMs"),
                                             QStringLiteral("Check/MixedWithinMs")};
} // namespace

int Classroom::checkLimitMs(CheckWay way) {
    const int ms = programSettings().value(kCheckLimitKeys[int(way)], kDefaultCheckLimitMs).toInt();
    return std::find(std::begin(kCheckLimitsMs), std::end(kCheckLimitsMs), ms) !=
                   std::end(kCheckLimitsMs)
               ? ms
               : kDefaultCheckLimitMs;
}

void Classroom::setCheckLimitMs(CheckWay way, int ms) {
    programSettings().setValue(kCheckLimitKeys[int(way)], ms);
}

std::array<int, kCheckWays> Classroom::checkLimitsMs() {
    return {checkLimitMs(CheckWay::Up), checkLimitMs(CheckWay::Down),
            checkLimitMs(CheckWay::Mixed)};
}

quint16 Classroom::taughtRows() {
    const TaughtRowsRead read = readTaughtRows(m_state.DataFolder);
    if (read.problem != m_taughtRowsProblem) {
        m_taughtRowsProblem = read.problem;
        showRecordStatus();
    }
    return read.rows;
}

QString Classroom::setTaughtRows(quint16 rows) {
    const SyncResult result = writeTaughtRows(m_state.DataFolder, rows);
    if (result.status == SyncStatus::Busy || result.status == SyncStatus::Failed)
        return result.reason;
    return QString();
}

std::optional<KukuCheck> Classroom::startCheck(int row, CheckWay way) {
    if (m_pupilName.isEmpty() || !rowTaught(taughtRows(), row))
        return std::nullopt;
    return KukuCheck(row, way, checkOrder(way, *m_random), checkLimitMs(way));
}

KukuCheck::Outcome Classroom::answerCheck(KukuCheck &check, int given, int ms) {
    if (!check.running())
        return check.outcome();
    const KukuCheck::Outcome outcome = check.answer(given, ms);
    if (m_pupilName.isEmpty())
        return outcome;
    LoggedAnswer line{QDateTime::currentDateTime(), m_pupilName, LoggedActivity::Check,
                      check.lastAnswer()};
    line.tablet = m_answerTablet;
    line.check = check.lastTag();
    logLines(answerLogLine(line));
    return outcome;
}

std::optional<KukuCard> Classroom::kukuCard(int budgetMs) {
    if (m_pupilName.isEmpty())
        return KukuCard{};
    writeKeptAnswers();
    if (!m_facts.update(m_state.DataFolder, budgetMs))
        return std::nullopt;
    return m_facts.card(m_pupilName, checkLimitsMs());
}

std::optional<QList<PupilCard>> Classroom::classCards(const QStringList &pupils, int budgetMs) {
    // The logs as they are: answers kept on this computer are not written from here, the
    // class sheet tells the teacher of them (answerLogProblem).
    if (!m_facts.update(m_state.DataFolder, budgetMs))
        return std::nullopt;
    const std::array<int, kCheckWays> limits = checkLimitsMs();
    QList<PupilCard> cards;
    cards.reserve(pupils.size());
    for (const QString &name : pupils)
        cards.append({name, m_facts.card(name, limits)});
    return cards;
}

bool Classroom::stampCheck(int row, CheckWay way) {
    if (m_pupilName.isEmpty() || row < 1 || row > 9)
        return false;
    LoggedAnswer line{QDateTime::currentDateTime(), m_pupilName, LoggedActivity::Check,
                      FactAnswer{row, 1, true}};
    line.check = {row, way, false, true};
    logLines(answerLogLine(line));
    return true;
}

AnswerQueue &Classroom::answerQueue() {
    // One queue per data folder: a folder chosen again finds what its spool kept.
    if (!m_answerQueue || m_answerQueue->dataFolder() != m_state.DataFolder) {
        QString logName = ownAnswerLogFileName(), spool = answerSpoolPath(m_state.DataFolder);
        if (m_serverLog) {
            logName = answerLogFileName(QSysInfo::machineHostName() + QStringLiteral("-tablets"),
                                        installationId());
            spool.replace(QStringLiteral("/waiting-answers-"), QStringLiteral("/waiting-tablets-"));
        }
        m_answerQueue = std::make_unique<AnswerQueue>(m_state.DataFolder, logName, spool);
        m_answerQueue->setAwayCheck([this] { return m_sync.awayReason(m_state.rosterPath()); });
    }
    return *m_answerQueue;
}

QString Classroom::answerLogPath() {
    return answerQueue().logPath();
}

void Classroom::recordAnswer(LoggedActivity activity, const FactAnswer &answer) {
    recordAnswers(activity, {answer});
}

void Classroom::recordAnswers(LoggedActivity activity, const QList<FactAnswer> &answers) {
    logAnswers(activity, answers, m_pupilName, false);
}

void Classroom::recordUnfinishedSet(LoggedActivity activity, const QList<FactAnswer> &answers,
                                    const QString &pupil) {
    logAnswers(activity, answers, pupil, true);
}

void Classroom::logAnswers(LoggedActivity activity, const QList<FactAnswer> &answers,
                           const QString &pupil, bool unfinished) {
    // Only a signed-in pupil answers; the set's lines go to the file in one write.
    if (pupil.isEmpty())
        return;
    const QDateTime now = QDateTime::currentDateTime();
    QByteArray lines;
    int count = 0;
    for (const FactAnswer &answer : answers)
        if (answer.a >= 1 && answer.a <= 9 && answer.b >= 1 && answer.b <= 9) {
            lines += answerLogLine({now, pupil, activity, answer, unfinished, m_answerTablet});
            ++count;
        }
    if (count == 0)
        return;
    logLines(lines, count);
}

void Classroom::logLines(const QByteArray &lines, int count) {
    const bool keptBefore = answersKept();
    const QString problemBefore = answerLogProblem();
    answerQueue().add(lines, count);
    answerQueueChanged(keptBefore, problemBefore);
}

void Classroom::writeKeptAnswers() {
    const bool keptBefore = answersKept();
    const QString problemBefore = answerLogProblem();
    answerQueue().flush();
    answerQueueChanged(keptBefore, problemBefore);
}

void Classroom::answerQueueChanged(bool keptBefore, const QString &problemBefore) {
    const AnswerQueue &queue = *m_answerQueue;
    // While answers wait, they are tried again now and then, not only at the next set.
    if (queue.waiting() > 0 && !m_answerRetry) {
        m_answerRetry = new QTimer(this);
        m_answerRetry->setInterval(30000);
        connect(m_answerRetry, &QTimer::timeout, this, &Classroom::writeKeptAnswers);
    }
    if (m_answerRetry) {
        if (queue.waiting() > 0 && !m_answerRetry->isActive())
            m_answerRetry->start();
        else if (queue.waiting() == 0)
            m_answerRetry->stop();
    }
    if (queue.problem() != problemBefore)
        showRecordStatus();
    if (queue.kept() != keptBefore)
        Q_EMIT answersKeptChanged(queue.kept());
}

namespace {
// One settings key per data folder (its absolute path, hashed: a path holds characters that
// settings keys cannot).
// A setting kept per data folder: `group`/<hash of the folder's path>.
QString folderKey(const QString &group, const QString &folder) {
    return group + u'/' +
           QString::fromLatin1(
               QCryptographicHash::hash(QFileInfo(folder).absoluteFilePath().toUtf8(),
                                        QCryptographicHash::Sha1)
                   .toHex()
                   .left(20));
}
} // namespace

QVariant Classroom::folderSetting(const QString &group) const {
    return programSettings().value(folderKey(group, m_state.DataFolder));
}

void Classroom::setFolderSetting(const QString &group, const QVariant &value) {
    QSettings settings = programSettings();
    if (value.isValid())
        settings.setValue(folderKey(group, m_state.DataFolder), value);
    else
        settings.remove(folderKey(group, m_state.DataFolder));
}

void Classroom::setUsualFolderAway(const QString &usualFolder) {
    m_usualFolder = usualFolder;
    m_insteadFolder = m_state.DataFolder;
    showRecordStatus();
}

QString Classroom::givenClassName() const {
    return programSettings()
        .value(folderKey(QStringLiteral("ClassNames"), m_state.DataFolder))
        .toString();
}

QString Classroom::className() const {
    const QString given = givenClassName();
    if (!given.isEmpty())
        return given;
    const QFileInfo folder(m_state.DataFolder);
    return folder.fileName().isEmpty() ? m_state.DataFolder : folder.fileName();
}

namespace {

const QString kFactLimitKey = QStringLiteral("Facts/KnownWithinMs");
const QString kTeacherPinKey = QStringLiteral("Teacher/Pin");

// The salt's hex, ":" and the hex of SHA-256 applied 20,000 times to salt and PIN: slow to
// try every PIN against, and no two computers share a value.
QByteArray pinDigest(const QByteArray &salt, const QString &pin) {
    QByteArray digest = salt + pin.toUtf8();
    for (int i = 0; i < 20000; ++i)
        digest = QCryptographicHash::hash(salt + digest, QCryptographicHash::Sha256);
    return salt.toHex() + ':' + digest.toHex();
}

} // namespace

int Classroom::factLimitMs() {
    const int ms = programSettings().value(kFactLimitKey, kDefaultFactLimitMs).toInt();
    return std::find(std::begin(kFactLimitsMs), std::end(kFactLimitsMs), ms) !=
                   std::end(kFactLimitsMs)
               ? ms
               : kDefaultFactLimitMs;
}

void Classroom::setFactLimitMs(int ms) {
    programSettings().setValue(kFactLimitKey, ms);
}

bool Classroom::teacherPinSet() {
    return !programSettings().value(kTeacherPinKey).toString().isEmpty();
}

void Classroom::setTeacherPin(const QString &pin) {
    QSettings settings = programSettings();
    if (pin.isEmpty()) {
        settings.remove(kTeacherPinKey);
        return;
    }
    QByteArray salt(16, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(salt.data()), 4);
    settings.setValue(kTeacherPinKey, QString::fromLatin1(pinDigest(salt, pin)));
}

bool Classroom::teacherPinMatches(const QString &pin) {
    const QByteArray stored = programSettings().value(kTeacherPinKey).toString().toLatin1();
    const QByteArray salt = QByteArray::fromHex(stored.left(stored.indexOf(':')));
    return stored.isEmpty() || (!salt.isEmpty() && pinDigest(salt, pin) == stored);
}

bool Classroom::closedClassList() const {
    return programSettings()
        .value(folderKey(QStringLiteral("ClosedClassList"), m_state.DataFolder))
        .toBool();
}

void Classroom::setClosedClassList(bool closed) {
    QSettings settings = programSettings();
    const QString key = folderKey(QStringLiteral("ClosedClassList"), m_state.DataFolder);
    if (closed)
        settings.setValue(key, true);
    else
        settings.remove(key);
}

void Classroom::setClassName(const QString &name) {
    QSettings settings = programSettings();
    if (name.trimmed().isEmpty())
        settings.remove(folderKey(QStringLiteral("ClassNames"), m_state.DataFolder));
    else
        settings.setValue(folderKey(QStringLiteral("ClassNames"), m_state.DataFolder),
                          name.trimmed().left(40));
}

ClassRoster Classroom::classRoster() const {
    ClassRoster roster;
    roster.className = className();
    const std::optional<QByteArray> rosterBytes = readDataFile(m_state.rosterPath());
    if (rosterBytes) {
        const RosterRead read = parseRoster(*rosterBytes);
        for (int row = 1; row < read.rows.size(); ++row) {
            RosterPupil pupil{read.rows[row][0], {}};
            for (int k = 0; k < 4; ++k)
                pupil.best[k] = numericValueInt16(read.rows[row][k + 1]);
            roster.pupils << pupil;
        }
    } else {
        for (const QString &name : rosterNames(m_state, m_rosterFile)) {
            const int row = findPupil(m_state, m_rosterFile, name).row;
            RosterPupil pupil{name, {}};
            for (int k = 0; k < 4; ++k)
                pupil.best[k] = numericValueInt16(m_state.RosterTable[row][k + 1]);
            roster.pupils << pupil;
        }
    }
    // The record procedure's reading, on a copy of the state so nothing shown changes.
    const std::optional<QByteArray> streakBytes = readDataFile(m_state.streakPath());
    auto copy = std::make_unique<ApplicationState>(m_state);
    for (Activity activity : kAllActivities) {
        readStreakRecord(*copy, activity, streakBytes, QString());
        const ActivityFields f = activityFields(*copy, activity);
        roster.records[int(activity)] = {f.RecordHolder,
                                         f.RecordHolder.isEmpty() ? 0 : f.RecordStreak};
    }
    return roster;
}

QString Classroom::answerLogProblem() const {
    return m_answerQueue ? m_answerQueue->problem() : QString();
}

// ---- Data folder and the full-mark list ---------------------------------------------------

QString Classroom::useDataFolder(const QString &folder) {
    const QString problem = dataFolderProblem(folder);
    if (!problem.isEmpty())
        return problem;
    m_state.DataFolder = QDir::toNativeSeparators(folder); // as the data file names join it
    m_state.CurrentPupilRow = 0;
    m_pupilName.clear();
    m_pupilOffRoster = false;
    for (int row = 1; row <= 99; ++row) {
        m_state.RosterTable[row][0].clear();
        for (int column = 1; column <= 4; ++column)
            m_state.RosterTable[row][column] = QStringLiteral("0");
    }
    return QString();
}

void Classroom::rereadRoster() {
    writeDeferredRoster();
    if (!m_state.RosterLoaded) {
        // No roster was read into memory yet: the list shows the file, if there is one now.
        // Nobody is signed in with a row then. Any failure leaves memory as it was.
        if (const std::optional<QByteArray> bytes = readDataFile(m_state.rosterPath())) {
            const int rows = applyRosterRead(m_state, parseRoster(*bytes));
            for (int row = rows; row < kRosterRows; ++row)
                m_state.RosterTable[row][0].clear(); // no pupil's: nothing was loaded
        }
        return;
    }
    // Changes kept while another copy holds the folder are written first; those still
    // waiting stay in memory, merged with the file.
    if (m_sync.hasPending())
        writeRoster();
    lookAtRoster();
}

QStringList Classroom::fullMarkNames(int tab) const {
    // The column of the selected activity: 1..4 for tabs 2..5. From any other tab there is
    // no activity, and nothing is listed.
    QStringList names;
    const int column = tab - 1;
    if (column < 1 || column > 4)
        return names;
    // Roster order, stopping at the first empty name and never past the roster's last row:
    // rows beyond it may still hold pupils of a longer roster read before.
    const int rows = m_state.RosterLoaded ? qMin(m_rosterFile.rows, kRosterRows) : kRosterRows;
    for (int row = 0; row < rows; ++row) {
        const QString &name = m_state.RosterTable[row][0];
        if (name.isEmpty())
            break;
        if (numericValue(m_state.RosterTable[row][column]) != 0.0)
            names << name;
    }
    return names;
}
