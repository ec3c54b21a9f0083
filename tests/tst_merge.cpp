// Several copies of the program on one data folder: the merge rules of both files, and the
// main window when another copy rewrote the roster or keeps the folder locked.

#include "recordfiles.h"
#include "records/datafile.h"
#include "records/datasync.h"
#include "records/rostermerge.h"
#include "records/streakrecord.h"

namespace {

// 髙 written with the code that code page 932 also has elsewhere (EE E0 instead of FB FC).
const QByteArray kTakaOld = QByteArray("\xEE\xE0\x8B\xB4;1;0;0;0;\x83\x81\x83\x82\r\n");

// A lock file as another computer leaves it, modified `ageSeconds` ago (negative: ahead).
void writeForeignLock(const QString &dataFile, int ageSeconds) {
    const QString path = dataFolderLockPath(dataFile);
    QVERIFY(writeBytes(path, "4242\nquorin\nshokuinshitsu-pc\n"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                             QFileDevice::FileModificationTime));
}

// A window on a folder with a record file whose lock another computer holds.
std::unique_ptr<TestMain> lockedFolder(const QByteArray &file) {
    auto t = withRoster(file);
    writeBytes(t->state.streakPath(), newStreakFileBytes());
    t->classroom->folderSync().setOptions({0, 3});
    writeForeignLock(t->state.rosterPath(), 0);
    return t;
}

} // namespace

class TestMerge : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void rosterRules_data();
    void rosterRules();
    void recordRules_data();
    void recordRules();
    void windowTakesInTheMergedRoster();
    void lockedFolderKeepsTheChange();
    void keptPupilSurvivesRereads();
    void stolenLockCannotLoseAnUpdate();
    void leftoverCopiesRemoved();
};

void TestMerge::rosterRules_data() {
    QTest::addColumn<QByteArray>("disk");
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArray>("mine");
    QTest::addColumn<QByteArray>("merged");
    QTest::addColumn<QStringList>("refused");

    const QString taro = "たろう;1;1;1;1";
    const QByteArray one = roster({taro});
    QTest::newRow("nobody else wrote")
        << one << one << roster({"たろう;2;1;1;1"}) << roster({"たろう;2;1;1;1"}) << QStringList();
    QTest::newRow("union, file order first")
        << roster({taro, "はなこ;0;0;0;0"}) << one << roster({taro, "じろう;0;0;0;0"})
        << roster({taro, "はなこ;0;0;0;0", "じろう;0;0;0;0"}) << QStringList();
    QTest::newRow("same new name in both")
        << roster({taro, "けん;2;0;0;0"}) << one << roster({taro, "けん;0;3;0;0"})
        << roster({taro, "けん;2;3;0;0"}) << QStringList();
    QTest::newRow("larger of each count")
        << roster({"たろう;5;1;9;1"}) << one << roster({"たろう;1;3;4;1"})
        << roster({"たろう;5;3;9;1"}) << QStringList();
    const QByteArray two = roster({taro, "はなこ;4;0;0;0"});
    QTest::newRow("pupil dropped from the file comes back")
        << one << two << two << two << QStringList();

    // Untouched lines keep their bytes: extra fields, an old code for 髙, the unread part.
    const QByteArray odd = one + kTakaOld + cp932Lines({"ゆき;0;0;0;0"});
    const QByteArray tail = cp932Lines({"こわれた行", "z;0;0;0;0"});
    QTest::newRow("untouched lines byte for byte")
        << odd + tail << odd << roster({taro, "髙橋;1;0;0;0;メモ", "ゆき;0;2;0;0"})
        << one + kTakaOld + cp932Lines({"ゆき;0;2;0;0"}) + tail << QStringList();
    QTest::newRow("changed line keeps its name bytes")
        << odd << odd << roster({taro, "髙橋;3;0;0;0;メモ", "ゆき;0;0;0;0"})
        << one + QByteArray(kTakaOld).replace(";1;0;0;0;", ";3;0;0;0;") +
               cp932Lines({"ゆき;0;0;0;0"})
        << QStringList();
    // Blank lines before the header are written after it: a CR alone there stays a line of
    // its own and does not join the LF line that follows the header.
    const QByteArray blankFirst = "\r" + roster({}) + "\n" + cp932Lines({taro});
    QTest::newRow("blank lines around the header all kept")
        << blankFirst << blankFirst << one << roster({}) + "\r\n\n" + cp932Lines({taro})
        << QStringList();

    QStringList full;
    for (int i = 1; i <= 98; ++i)
        full << QStringLiteral("p%1;0;0;0;0").arg(i);
    const QByteArray fileOf99 = roster(full + QStringList{"よそ;0;0;0;0"});
    QTest::newRow("99 rows: new pupil refused, nobody dropped")
        << fileOf99 << roster(full) << roster(full + QStringList{"new;1;0;0;0"}) << fileOf99
        << QStringList{"new"};
}

void TestMerge::rosterRules() {
    QFETCH(QByteArray, disk);
    QFETCH(QByteArray, base);
    QFETCH(QByteArray, mine);
    QFETCH(QByteArray, merged);
    QFETCH(QStringList, refused);
    const RosterMerge result = mergeRoster(disk, base, mine);
    QCOMPARE(result.bytes, merged);
    QCOMPARE(result.refused, refused);
    QCOMPARE(mergeRoster(result.bytes, base, mine).bytes, merged); // merging again: no change
}

void TestMerge::recordRules_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("run");
    QTest::addColumn<QByteArray>("raised"); // empty: the file stays

    const QByteArray held = streakLines({"はなこ; 7", ";0", ";0", ";0"});
    QTest::newRow("longer run wins") << held << 8 << streakLines({"たろう; 8", ";0", ";0", ";0"});
    QTest::newRow("tie keeps the holder") << held << 7 << QByteArray();
    QTest::newRow("shorter run") << held << 3 << QByteArray();
    const QByteArray others = QByteArray("\xEE\xE0; 2\r\n;x\r\n;0\r\n"); // 髙 in its old code
    QTest::newRow("other lines byte for byte")
        << streakLines({";0"}) + others << 1 << streakLines({"たろう; 1"}) + others;
}

void TestMerge::recordRules() {
    QFETCH(QByteArray, file);
    QFETCH(int, run);
    QFETCH(QByteArray, raised);
    QCOMPARE(raiseStreakRecord(file, Activity::Novice, "たろう", qint16(run)).value_or(""), raised);
}

void TestMerge::windowTakesInTheMergedRoster() {
    auto t = withRoster(roster({"たろう;0;0;0;0", "はなこ;0;0;0;0"}));
    confirmName(*t, "はなこ");
    // Another copy adds a pupil and raises はなこ's Expert run.
    writeBytes(t->state.rosterPath(),
               roster({"たろう;0;0;0;0", "はなこ;0;0;4;0", "じろう;0;0;0;0"}));
    t->state.NoviceFirstAttempt = True;
    t->classroom->advanceStreakAndSave(Activity::Novice, 20);
    QCOMPARE(rosterOnDisk(*t), roster({"たろう;0;0;0;0", "はなこ;1;0;4;0", "じろう;0;0;0;0"}));
    QCOMPARE(t->state.CurrentPupilRow, qint16(2));
    QCOMPARE(t->state.ExpertBestStreak, qint16(4));
    // Sign-in looks at the file first: a pupil another copy added is found, not added twice,
    // and a new one goes after it.
    writeBytes(t->state.rosterPath(), rosterOnDisk(*t) + cp932Lines({"ゆき;2;0;0;0"}));
    confirmName(*t, "ゆき");
    QCOMPARE(t->state.CurrentPupilRow, qint16(4));
    QCOMPARE(t->state.NoviceBestStreak, qint16(2));
    confirmName(*t, "さくら");
    QCOMPARE(t->state.CurrentPupilRow, qint16(5));
    QCOMPARE(t->window->nameCombo()->count(), 5);
    QVERIFY(t->messages.isEmpty());
}

void TestMerge::lockedFolderKeepsTheChange() {
    // The new pupil signs in and works; the teacher is told once which computer holds the
    // lock; nothing is written until the lock is gone, at the latest when the program closes.
    auto t = lockedFolder(roster({"たろう;0;0;0;0"}));
    confirmName(*t, "じろう");
    QCOMPARE(openActivities(*t), 5);
    QCOMPARE(t->messages.size(), 1);
    QVERIFY(t->messages[0].text.contains("「shokuinshitsu-pc」"));
    QVERIFY(t->messages[0].text.contains("4242"));
    t->state.NoviceFirstAttempt = True;
    t->classroom->advanceStreakAndSave(Activity::Novice, 20);
    t->classroom->ShowNoviceStreakRecord();
    QCOMPARE(t->state.NoviceBestStreak, qint16(1));
    QCOMPARE(rosterOnDisk(*t), roster({"たろう;0;0;0;0"}));
    QVERIFY(QFile::remove(dataFolderLockPath(t->state.rosterPath())));
    t->window->close();
    QCOMPARE(rosterOnDisk(*t), roster({"たろう;0;0;0;0", "じろう;1;0;0;0"}));
    QCOMPARE(readBytes(t->state.streakPath()), streakLines({"じろう; 1", ";0", ";0", ";0"}));
    QCOMPARE(t->messages.size(), 1);

    // Still held at close: the teacher learns that the records are not saved.
    auto u = lockedFolder(roster({}));
    confirmName(*u, "かな");
    u->window->close();
    QCOMPARE(u->messages.size(), 2);
    QVERIFY(u->messages[1].text.contains("保存されません"));
    QCOMPARE(rosterOnDisk(*u), roster({}));
}

void TestMerge::keptPupilSurvivesRereads() {
    // A new pupil waits in memory for the lock while another copy puts a pupil into the same
    // row of the file. Reading the file again (the full-mark list, the data-folder dialog)
    // keeps the waiting pupil, and its run never lands in the other pupil's line.
    auto t = lockedFolder(roster({"たろう;0;0;0;0"}));
    confirmName(*t, "じろう");
    QCOMPARE(t->state.CurrentPupilRow, qint16(2));
    writeBytes(t->state.rosterPath(), roster({"たろう;0;0;0;0", "よそ;0;0;0;0"}));
    t->state.CurrentTab = 2;
    t->window->ShowScoreDialog();
    QCOMPARE(t->state.RosterTable[2][0], "じろう");
    t->classroom->OpenDataFolder();
    QCOMPARE(t->state.CurrentPupilRow, qint16(3));
    QVERIFY(QFile::remove(dataFolderLockPath(t->state.rosterPath())));
    t->state.NoviceFirstAttempt = True;
    t->classroom->advanceStreakAndSave(Activity::Novice, 20);
    QCOMPARE(rosterOnDisk(*t), roster({"たろう;0;0;0;0", "よそ;0;0;0;0", "じろう;1;0;0;0"}));
    QCOMPARE(t->messages.size(), 1);
}

void TestMerge::stolenLockCannotLoseAnUpdate() {
    // A lock whose time stamp lies ahead (a computer with a fast clock) is taken over at once,
    // although its holder is still writing. The holder's write lands between this copy's
    // merge and its rename; the content check notices and the merge runs again.
    QTemporaryDir dir;
    const QString ini = dir.filePath("Quorin.ini");
    const QByteArray base = roster({"たろう;0;0;0;0"});
    QVERIFY(writeBytes(ini, base));
    writeForeignLock(ini, -40);
    int merges = 0;
    const auto merge = [&](const std::optional<QByteArray> &onDisk) {
        if (merges++ == 0)
            writeBytes(ini, roster({"たろう;0;0;0;0", "よそ;3;0;0;0"}));
        return std::optional(mergeRoster(onDisk.value(), base, roster({"たろう;0;2;0;0"})).bytes);
    };
    QCOMPARE(saveMerged(ini, merge, {0, 3}).status, SyncStatus::Saved);
    QCOMPARE(merges, 3); // the third: the check that the file read back holds the change
    QCOMPARE(readBytes(ini), roster({"たろう;0;2;0;0", "よそ;3;0;0;0"}));
}

void TestMerge::leftoverCopiesRemoved() {
    // Copies left by saves killed before their rename go at the next save under the lock; a
    // copy of a save that may still run (younger than a minute) and the teacher's own backup
    // stay.
    QTemporaryDir dir;
    const QString ini = dir.filePath("Quorin.ini");
    QVERIFY(writeBytes(ini, roster({})));
    for (const char *name : {"Quorin.ini.aB3xYz", "Quorin.ini.Qw9Er2", "Quorin.ini.backup"}) {
        QVERIFY(writeBytes(dir.filePath(name), roster({})));
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (QByteArray(name) != "Quorin.ini.Qw9Er2")
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-120),
                                     QFileDevice::FileModificationTime));
    }
    const auto merge = [](const std::optional<QByteArray> &) {
        return std::optional(roster({"たろう;0;0;0;0"}));
    };
    QCOMPARE(saveMerged(ini, merge).status, SyncStatus::Saved);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             (QStringList{"Quorin.ini", "Quorin.ini.backup", "Quorin.ini.Qw9Er2"}));
}

QTEST_MAIN(TestMerge)
#include "tst_merge.moc"
