// A copy of the program's saving, without windows: the roster and record procedures as the
// main window runs them, in a loop, for the tests that share one data folder between
// processes.
//   quorin_saver share <folder> <k> [wait] [ownlock]
//       saver k adds its pupils, then raises one run per save; with "wait" it then says
//       "done", waits for a line on stdin and saves once more, as a later save of the program;
//       with "ownlock" it takes a lock nobody else asks for, as on a share that passes no
//       locks on; with "drop" it says "half" halfway and waits for a line (the test takes
//       the share away meanwhile); with "classlist" it then removes あおい and うた in the
//       class list of a classroom, says "held" when that change was kept for later (another
//       copy holds the folder), and goes on saving through that classroom

#include "classroom/classroom.h"
#include "records/datafile.h"
#include "records/foldersync.h"
#include "records/streakrecord.h"
#include "saverplan.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

namespace {

struct Copy {
    ApplicationState state;
    RosterFile file;
    FolderSync ownSync;
    // The program's classroom on the same state, from the class list's change on.
    std::unique_ptr<Classroom> room;
    FolderSync &sync() { return room ? room->folderSync() : ownSync; }

    Copy(const QString &folder, bool ownLock) {
        initialiseApplicationState(state, folder);
        if (ownLock) {
            SyncOptions options;
            options.lockPath = QDir::temp().filePath(
                QStringLiteral("quorin-own-lock-%1").arg(QCoreApplication::applicationPid()));
            ownSync.setOptions(options);
        }
        ownSync.rosterLoaded(state, file, state.rosterPath(), readDataFile(state.rosterPath()));
    }
    // Sign-in's lookup, adding the pupil when it is new. The row, or 0.
    int signIn(const QString &name) {
        const PupilSearch search = findPupil(state, room ? room->rosterFile() : file, name);
        if (room && !search.found)
            return 0;
        if (!search.found && !search.full) {
            state.RosterTable[search.row][0] = name;
            for (int c = 1; c < kRosterCells; ++c)
                state.RosterTable[search.row][c] = "0";
            file.rows = qMax(file.rows, search.row + 1);
        }
        state.CurrentPupilRow = static_cast<qint16>(search.row);
        return search.row;
    }
    SyncOutcome saveRoster() {
        if (!room)
            return ownSync.saveRoster(state, file, state.rosterPath());
        // The classroom's own save: a change another copy's lock holds back is kept by it.
        return room->writeRoster()
                   ? SyncOutcome{}
                   : SyncOutcome{SyncStatus::Failed, false, room->recordStatus(), {}, {}, false};
    }
    // The program's classroom takes over from this copy's saves, with everything written.
    void openClassroom() {
        for (int tries = 0; ownSync.hasPending() && tries < 100; ++tries)
            ownSync.flushPending();
        room = std::make_unique<Classroom>(state);
        room->load();
    }
    // The teacher takes あおい and うた off in the class list, as the class list window does.
    void removeInClassList() {
        QList<RosterRow> pupils = room->classList();
        pupils.removeIf(
            [](const RosterRow &row) { return row[0] == "あおい" || row[0] == "うた"; });
        room->setClassList(pupils);
        std::printf("%s\n", room->folderSync().hasPending() ? "held" : "written");
        std::fflush(stdout);
    }
};

int fail(const char *what, const QString &reason) {
    std::printf("%s: %s\n", what, reason.toUtf8().constData());
    return 2;
}

bool failed(const SyncOutcome &outcome) {
    return outcome.status == SyncStatus::Failed || !outcome.refused.isEmpty() ||
           !outcome.lostReason.isEmpty();
}

// Says `what` and waits for the test's line.
bool handOver(const char *what) {
    std::printf("%s\n", what);
    std::fflush(stdout);
    char line[8];
    return std::fgets(line, sizeof line, stdin) != nullptr;
}

int share(const QString &folder, int saver, bool wait, bool ownLock, bool drop, bool classList) {
    Copy copy(folder, ownLock);
    ApplicationState &s = copy.state;
    for (int i = 0; i < plan::kSaves; ++i) {
        if (classList && i == plan::kSaves / 2)
            copy.openClassroom(); // before the test takes the folder's lock
        if (drop && i == plan::kSaves / 2 && !handOver("half"))
            return fail("wait", "no go");
        if (classList && i == plan::kSaves / 2)
            copy.removeInClassList();
        const bool adding = i < plan::kPupils;
        const QString name = plan::pupil(saver, adding ? i : plan::pupilOf(i));
        const int row = copy.signIn(name);
        if (row == 0)
            return fail("no row", name);
        const Activity activity = static_cast<Activity>(plan::activityOf(i));
        if (!adding) {
            // A new best run, as the run step writes it.
            ActivityFields f = activityFields(s, activity);
            f.BestStreak = static_cast<qint16>(plan::runOf(saver, i));
            s.RosterTable[row][f.rosterColumn] = QString::number(f.BestStreak);
        }
        const SyncOutcome saved = copy.saveRoster();
        if (failed(saved))
            return fail("roster", saved.reason + saved.lostReason + saved.refused.join(u','));
        if (!adding && readStreakRecord(s, activity, readDataFile(s.streakPath()), name)) {
            const SyncOutcome record =
                copy.sync().saveStreakRecord(s, activity, s.streakPath(), name);
            if (failed(record))
                return fail("record", record.reason + record.lostReason);
        }
    }
    for (int tries = 0; copy.sync().hasPending() && tries < 100; ++tries)
        copy.sync().flushPending();
    if (wait) {
        if (!handOver("done"))
            return fail("wait", "no go");
        const SyncOutcome saved = copy.saveRoster();
        if (failed(saved))
            return fail("roster", saved.reason + saved.lostReason);
        // Each activity's record once more, with this copy's longest run and its pupil.
        for (int i = plan::kSaves - 1; i >= plan::kSaves - 4 * plan::kPupils; --i) {
            const Activity activity = static_cast<Activity>(plan::activityOf(i));
            const QString name = plan::pupil(saver, plan::pupilOf(i));
            activityFields(s, activity).BestStreak = static_cast<qint16>(plan::runOf(saver, i));
            if (readStreakRecord(s, activity, readDataFile(s.streakPath()), name))
                copy.sync().saveStreakRecord(s, activity, s.streakPath(), name);
        }
    }
    return copy.sync().hasPending() ? fail("kept", "changes never written") : 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 64;
    const QString mode = args[1];
    const QString folder = args[2];
    if (mode == QLatin1String("share") && args.size() > 3)
        return share(folder, args[3].toInt(), args.contains("wait"), args.contains("ownlock"),
                     args.contains("drop"), args.contains("classlist"));
    return 64;
}
