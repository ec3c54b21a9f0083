// Processes sharing one data folder: several savers at once, and a saver of another user in
// front of a roster the teacher made read-only.

#include "classroom/answerlog.h"
#include "records/cp932.h"
#include "records/datafile.h"
#include "records/folderlock.h"
#include "records/foldersync.h"
#include "records/streakrecord.h"
#include "saverplan.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

QByteArray readAll(const QString &path) {
    return readDataFile(path).value_or(QByteArray());
}

// Every save ends with the disk's flush, which takes the disk's time and tests nothing here:
// the folders live in a memory filesystem where the system has one.
QString folderTemplate() {
    const QFileInfo shm("/dev/shm");
    return shm.isDir() && shm.isWritable() ? "/dev/shm/quorin-XXXXXX"
                                           : QDir::tempPath() + "/quorin-XXXXXX";
}

// A folder with both data files as the program creates them (and `roster` when given).
struct Folder {
    QTemporaryDir dir{folderTemplate()};
    QString ini = dir.filePath("Quorin.ini");
    QString dat = dir.filePath("Quorin.dat");
    explicit Folder(const QByteArray &roster = newRosterFileBytes()) {
        saveDataFile(ini, roster);
        saveDataFile(dat, newStreakFileBytes());
    }
};

QByteArray describe(QProcess *p) {
    return "exit " + QByteArray::number(p->exitCode()) + ": " + p->readAll();
}

// The environment of a user account whose home and local data are in `home`: a classroom in a
// helper keeps its spools and settings there, never in the account running the tests.
QProcessEnvironment account(const QString &home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    return env;
}

// The command that runs a copy of `program` (in `bin`, where the user may run it, whatever the
// build folder's modes) as uid 65534: file modes mean nothing to root. Empty without root or
// setpriv.
QStringList asAnotherUser(const QString &program, const QTemporaryDir &bin) {
#ifdef Q_OS_UNIX
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    const QString copy = bin.filePath(QFileInfo(program).fileName());
    if (::geteuid() == 0 && !setpriv.isEmpty() && QFile::copy(program, copy) &&
        QFile::setPermissions(bin.path(), QFileDevice::Permissions(0x7755)))
        return {setpriv, "--reuid=65534", "--regid=65534", "--clear-groups", copy};
#endif
    return {};
}

// The sets of `lines` answers the log holds whole: each set is a pupil of its own.
int wholeSets(const AnswerLogs &logs, int lines) {
    QList<int> perSet(logs.pupils.size());
    for (const AnswerRecord &answer : logs.answers)
        ++perSet[answer.pupil];
    return int(std::count(perSet.cbegin(), perSet.cend(), lines));
}

} // namespace

class TestConcurrency : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void copiesLoseNothing_data();
    void copiesLoseNothing();
    void readOnlyRosterLeftAlone();
    void clonesAppendToOneLog();
    void endedCopysAnswersReachTheLog();
};

// Counts what the savers 1..copies left in the files: every pupil, each pupil's longest run
// per activity, and each activity's class record (the longest run of all, with its pupil).
int entriesKept(const Folder &folder, int copies, int *total) {
    ApplicationState s;
    const RosterFile file = loadRosterBytes(s, readAll(folder.ini));
    int kept = 0;
    int best[4][3] = {}; // per activity: run, saver, pupil of the longest run written
    for (int k = 1; k <= copies; ++k) {
        for (int j = 0; j < plan::kPupils; ++j) {
            const PupilSearch found = findPupil(s, file, plan::pupil(k, j));
            kept += found.found;
            for (int a = 0; a < 4; ++a) {
                int largest = 0;
                for (int i = plan::kPupils; i < plan::kSaves; ++i) {
                    if (plan::pupilOf(i) != j || plan::activityOf(i) != a)
                        continue;
                    largest = qMax(largest, plan::runOf(k, i));
                    if (plan::runOf(k, i) > best[a][0])
                        best[a][0] = plan::runOf(k, i), best[a][1] = k, best[a][2] = j;
                }
                const bool run =
                    found.found && s.RosterTable[found.row][a + 1] == QString::number(largest);
                kept += run;
                if (!run)
                    qInfo("lost: %s, activity %d, run %d", qPrintable(plan::pupil(k, j)), a,
                          largest);
            }
        }
    }
    const QByteArray records = readAll(folder.dat);
    for (int a = 0; a < 4; ++a) {
        const Activity activity = static_cast<Activity>(a);
        readStreakRecord(s, activity, records, QString());
        const ActivityFields f = activityFields(s, activity);
        const bool record = f.RecordHolder == plan::pupil(best[a][1], best[a][2]) &&
                            int(f.RecordStreak) == best[a][0];
        kept += record;
        if (!record)
            qInfo("lost: the record of activity %d, %d", a, best[a][0]);
    }
    *total = copies * plan::kPupils * 5 + 4;
    return kept;
}

void TestConcurrency::copiesLoseNothing_data() {
    QTest::addColumn<int>("copies");
    QTest::addColumn<bool>("powerless");
    QTest::addColumn<QList<int>>("clockAhead"); // seconds, per copy
    QTest::addColumn<bool>("dropped");
    QTest::addColumn<QString>("teacher"); // "editor", "class list" or nobody
    QTest::addColumn<bool>("lastRound");  // every copy saves once more at the end
    QTest::newRow("three copies, one lock")
        << 3 << false << QList<int>{0, 0, 0} << false << "" << false;
    // Each copy takes a lock nobody else asks for; flock() does nothing and renames are slow.
    // Every copy saves once more at the end, one after the other, as the program does at a
    // later save: what was overwritten must come back then, and no copy may think it saved
    // what it did not.
    QTest::newRow("four copies, powerless lock")
        << 4 << true << QList<int>{0, 0, 0, 0} << false << "" << true;
    // Eight such copies, and no save at the end: a write another copy's rename replaced must
    // be found by the read-back of the save that wrote it, not by a later save. Not under Wine,
    // where every file call of eight processes goes through one Wine server: their 2,400 saves
    // outlast any wait (the read-back is the same code there).
#ifndef Q_OS_WIN
    QTest::newRow("eight copies, powerless lock, no later save")
        << 8 << true << QList<int>(8, 0) << false << "" << false;
#endif
    // Four computers whose clocks drift, on a share that passes no flock() on: one 2 minutes
    // ahead, one 10 minutes ahead. Neither may take the others' locks or save copies for
    // abandoned ones.
    QTest::newRow("four computers, clocks 10 minutes apart")
        << 4 << false << QList<int>{0, 120, 0, 600} << false << "" << false;
    // Halfway, the share drops: its path shows an empty folder (the bare mount point) while
    // the copies do the second half of their saves. Then it is back, and each saves once more.
    QTest::newRow("three copies, share dropped and back")
        << 3 << false << QList<int>{0, 0, 0} << true << "" << false;
    // Halfway, the teacher edits the roster in a text editor while every copy holds the old
    // one in memory: a pupil removed, one renamed, a count lowered, one moved to the top.
    // None of it may come back, and nothing the copies write may be lost.
    QTest::newRow("three copies, the teacher edits the roster")
        << 3 << false << QList<int>{0, 0, 0} << false << "editor" << false;
    // Halfway, the teacher removes あおい and うた in the class list of copy 1 while the test
    // holds the folder's lock: the change is kept and written by copy 1's later saves, while
    // copies 2 and 3 go on saving rosters that still hold both. Neither may come back.
    QTest::newRow("three copies, a removal held back")
        << 3 << false << QList<int>{0, 0, 0} << false << "class list" << false;
}

void TestConcurrency::copiesLoseNothing() {
    QFETCH(int, copies);
    QFETCH(bool, powerless);
    QFETCH(QList<int>, clockAhead);
    QFETCH(bool, dropped);
    QFETCH(QString, teacher);
    QFETCH(bool, lastRound);
    const bool waits = lastRound || dropped; // the copies say "done" and wait for the test
    const QByteArray header = newRosterFileBytes();
    Folder folder(
        header + encodeCp932("あおい;5;5;5;5\r\nいつき;7;7;7;7\r\nうた;3;3;3;3\r\nえま;2;2;2;2\r\n")
                     .value());
    QList<QProcess *> savers;
    QTemporaryDir user;
    for (int k = 1; k <= copies; ++k) {
        auto *p = new QProcess(this);
        p->setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment env = account(user.path());
#ifdef QUORIN_SLOWRENAME
        if (powerless)
            env.insert("LD_PRELOAD", QStringLiteral(QUORIN_SLOWRENAME));
        if (clockAhead.count(0) < copies) {
            env.insert("LD_PRELOAD", QStringLiteral(QUORIN_OTHERCOMPUTER ":" QUORIN_SLOWRENAME));
            env.insert("QUORIN_HOST_NAME", QStringLiteral("pc-%1").arg(k));
            env.insert("QUORIN_CLOCK_AHEAD", QString::number(clockAhead[k - 1]));
        }
#else
        if (clockAhead.count(0) < copies)
            QSKIP("needs the preloaded computer, left out of sanitizer builds");
#endif
        p->setProcessEnvironment(env);
        QStringList args{"share", folder.dir.path(), QString::number(k)};
        if (waits)
            args << "wait";
        if (powerless)
            args << "ownlock";
        if (dropped || !teacher.isEmpty())
            args << "drop";
        if (teacher == "class list" && k == 1)
            args << "classlist";
        p->start(QStringLiteral(QUORIN_SAVER), args);
        savers << p;
    }
    // Every copy says `what` before any goes on.
    const auto allSay = [&savers](const QByteArray &what) {
        for (QProcess *p : savers) {
            // (Windows' C library ends the line with CR LF.)
            const bool said = p->waitForReadyRead(100000) && p->readAll().trimmed() == what;
            if (!said)
                qWarning("%s", describe(p).constData());
            if (!said)
                return false;
        }
        return true;
    };
    const QString home = folder.dir.path(), away = home + ".away";
    FolderLock lock(dataFolderLockPath(folder.ini)); // the test's, as another copy's
    if (dropped || !teacher.isEmpty()) {
        QVERIFY(allSay("half"));
        if (dropped)
            QVERIFY(QDir().rename(home, away) && QDir().mkdir(home));
        if (teacher == "class list")
            QCOMPARE(lock.take(100000), FolderLock::Result::Taken);
        if (teacher == "editor") { // saved in place, as an editor does
            QByteArray edited = readAll(folder.ini);
            const auto cp = [](const char *text) {
                return encodeCp932(QString::fromUtf8(text)).value();
            };
            edited.replace(cp("あおい;5;5;5;5\r\n"), "");
            edited.replace(cp("いつき;7;"), cp("いつき;0;"));
            edited.replace(cp("うた;"), cp("うたこ;"));
            edited.replace(cp("えま;2;2;2;2\r\n"), "");
            edited.insert(header.size(), cp("えま;2;2;2;2\r\n"));
            QFile file(folder.ini);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(edited) == edited.size());
        }
        for (QProcess *p : savers)
            p->write("go\n");
    }
    if (teacher == "class list") { // copy 1's save of the removal waited and was kept
        QVERIFY2(savers[0]->waitForReadyRead(100000) && savers[0]->readAll().trimmed() == "held",
                 describe(savers[0]).constData());
        lock.release();
    }
    if (waits)
        QVERIFY(allSay("done"));
    if (dropped) { // nothing was written into the bare mount point
        QVERIFY2(QDir(home).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 qPrintable(QDir(home).entryList(QDir::AllEntries | QDir::Hidden).join(u' ')));
        QVERIFY(QDir().rmdir(home) && QDir().rename(away, home));
    }
    for (QProcess *p : savers) {
        p->write(waits ? "go\n" : "");
        QVERIFY(p->waitForFinished(100000));
        QVERIFY2(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0,
                 describe(p).constData());
    }
    int total = 0;
    const int kept = entriesKept(folder, copies, &total);
    qInfo("%d processes x %d saves: %d of %d entries kept (pupils, counts, records)", copies,
          plan::kSaves, kept, total);
    ApplicationState s;
    const RosterFile file = loadRosterBytes(s, readAll(folder.ini));
    const QStringList names = rosterNames(s, file);
    if (teacher == "class list") {
        const qsizetype back = names.count("あおい") + names.count("うた");
        qInfo("%d copies: %d of 2 removed pupils back, %d of %d entries kept", copies, int(back),
              kept, total);
        QCOMPARE(back, 0);
        QVERIFY(names.contains("いつき") && names.contains("えま"));
    }
    QCOMPARE(kept, total);
    if (teacher == "editor") {
        QCOMPARE(names.first(), "えま");
        QVERIFY2(!names.contains("あおい") && !names.contains("うた"),
                 qPrintable(names.join(u' ')));
        const PupilSearch itsuki = findPupil(s, file, "いつき");
        const PupilSearch utako = findPupil(s, file, "うたこ");
        QVERIFY(itsuki.found && utako.found);
        QCOMPARE(s.RosterTable[itsuki.row][1], "0");
        QCOMPARE(s.RosterTable[utako.row][1], "3");
    }
}

void TestConcurrency::readOnlyRosterLeftAlone() {
    // The saver runs as an ordinary user. The folder lets it write (a save could rename a new
    // file over the old one); the roster does not.
    QTemporaryDir bin;
    const QStringList saver = asAnotherUser(QStringLiteral(QUORIN_SAVER), bin);
    if (saver.isEmpty())
        QSKIP("needs root and setpriv to run the saver as another user");
    Folder folder;
    QVERIFY(QFile::setPermissions(folder.dir.path(), QFileDevice::Permissions(0x7777)));
    QVERIFY(QFile::setPermissions(folder.dat, QFileDevice::Permissions(0x6666)));
    QVERIFY(QFile::setPermissions(folder.ini, QFileDevice::Permissions(0x4444)));
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(saver[0], saver.mid(1) + QStringList{"share", folder.dir.path(), "1"});
    QVERIFY(p.waitForFinished(30000));
    const QString said = QString::fromUtf8(p.readAll());
    QCOMPARE(p.exitCode(), 2);
    QVERIFY2(said.contains("読み取り専用"), qPrintable(said));
    QCOMPARE(readAll(folder.ini), newRosterFileBytes());
}

void TestConcurrency::clonesAppendToOneLog() {
    // Three clones (one host name, one installation) append sets to one log at once, on a
    // share that splits every write into small pieces: every line arrives whole, once.
#ifndef QUORIN_SPLITWRITE
    QSKIP("needs the preloaded share, left out of sanitizer builds");
#else
    constexpr int kCopies = 3, kSets = 40;
    QTemporaryDir folder{folderTemplate()}, spools;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LD_PRELOAD", QStringLiteral(QUORIN_SPLITWRITE));
    QProcess copies[kCopies];
    for (int k = 0; k < kCopies; ++k) {
        copies[k].setProcessEnvironment(env);
        copies[k].start(QStringLiteral(QUORIN_LOGAPPENDER),
                        {folder.path(), QString::number(k), QString::number(kSets),
                         spools.filePath(QString::number(k))});
    }
    for (QProcess &p : copies)
        QVERIFY(p.waitForFinished(100000) && p.exitStatus() == QProcess::NormalExit &&
                p.exitCode() == 0);
    const AnswerLogs logs = readAnswerLogs(folder.path());
    const int whole = wholeSets(logs, 20);
    qInfo("%d copies x %d sets of 20 lines: %d lines kept, %d damaged, %d sets whole of %d "
          "names read, %d log file(s)",
          kCopies, kSets, int(logs.answers.size()), logs.damagedLines, whole,
          int(logs.pupils.size()), int(logs.files.size()));
    QCOMPARE(logs.damagedLines, 0);
    QCOMPARE(whole, kCopies * kSets); // every set whole, none twice
    QCOMPARE(int(logs.answers.size()), kCopies * kSets * 20);
    QCOMPARE(readAll(folder.path() + u'/' + logs.files[0]).count(answerLogHeader()), 1);
#endif
}

void TestConcurrency::endedCopysAnswersReachTheLog() {
    // Two copies under one account, on a data folder the account cannot write: copy B keeps
    // 4 sets in its spool and runs on; copy A keeps 3 sets and ends. When the folder takes
    // answers again, B writes its own and those A left, each once.
    QTemporaryDir bin, user, folder{folderTemplate()};
    const QStringList appender = asAnotherUser(QStringLiteral(QUORIN_LOGAPPENDER), bin);
    if (appender.isEmpty())
        QSKIP("needs root and setpriv to run the copies as another user");
    QVERIFY(QFile::setPermissions(user.path(), QFileDevice::Permissions(0x7777)));
    QVERIFY(QFile::setPermissions(folder.path(), QFileDevice::Permissions(0x5555)));
    constexpr int kSets[2] = {4, 3}, kLines = 6; // B's, A's
    QProcess copies[2];
    for (int k = 0; k < 2; ++k) {
        copies[k].setProcessEnvironment(account(user.path()));
        copies[k].start(appender[0],
                        appender.mid(1) + QStringList{"spool", folder.path(), QString::number(k),
                                                      QString::number(kSets[k])});
        if (k == 1) // A ends with its answers kept
            copies[k].closeWriteChannel();
        QVERIFY(copies[k].waitForReadyRead(100000));
        QCOMPARE(copies[k].readAll().trimmed(), "kept " + QByteArray::number(kSets[k] * kLines));
    }
    QVERIFY(copies[1].waitForFinished(100000) && copies[1].exitCode() == 0);
    QVERIFY(QFile::setPermissions(folder.path(), QFileDevice::Permissions(0x7777)));
    copies[0].write("go\n");
    QVERIFY(copies[0].waitForFinished(100000));
    QVERIFY2(copies[0].exitStatus() == QProcess::NormalExit && copies[0].exitCode() == 0,
             describe(&copies[0]).constData());
    const AnswerLogs logs = readAnswerLogs(folder.path());
    const int all = (kSets[0] + kSets[1]) * kLines;
    qInfo("2 copies: %d of %d answers in the log, %d of %d sets whole", int(logs.answers.size()),
          all, wholeSets(logs, kLines), kSets[0] + kSets[1]);
    QCOMPARE(int(logs.answers.size()), all);
    QCOMPARE(wholeSets(logs, kLines), kSets[0] + kSets[1]); // none lost, none twice
}

QTEST_GUILESS_MAIN(TestConcurrency)
#include "tst_concurrency.moc"
