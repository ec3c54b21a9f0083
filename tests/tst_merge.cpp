// Several copies of the program on one data folder: the merge rules of both files, and the
// main window when another copy rewrote the roster or keeps the folder locked.

#include "recordfiles.h"
#include "records/datafile.h"
#include "records/datasync.h"
#include "records/rostermerge.h"
#include "records/streakrecord.h"

namespace {

QByteArray roster(const QStringList &pupils) {
    return cp932Lines(QStringList{kRosterHeader} + pupils);
}

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
};

void TestMerge::rosterRules_data() {
    QTest::addColumn<QByteArray>("disk");
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArray>("mine");
    QTest::addColumn<QByteArray>("merged");
    QTest::addColumn<QStringList>("refused");

    const QString taro = QStringLiteral("たろう;1;1;1;1");
    const QByteArray one = roster({taro});
    QTest::newRow("nobody else wrote")
        << one << one << roster({QStringLiteral("たろう;2;1;1;1")})
        << roster({QStringLiteral("たろう;2;1;1;1")}) << QStringList();
    QTest::newRow("union, file order first")
        << roster({taro, QStringLiteral("はなこ;0;0;0;0")}) << one
        << roster({taro, QStringLiteral("じろう;0;0;0;0")})
        << roster({taro, QStringLiteral("はなこ;0;0;0;0"), QStringLiteral("じろう;0;0;0;0")})
        << QStringList();
    QTest::newRow("same new name in both")
        << roster({taro, QStringLiteral("けん;2;0;0;0")}) << one
        << roster({taro, QStringLiteral("けん;0;3;0;0")})
        << roster({taro, QStringLiteral("けん;2;3;0;0")}) << QStringList();
    QTest::newRow("larger of each count")
        << roster({QStringLiteral("たろう;5;1;9;1")}) << one
        << roster({QStringLiteral("たろう;1;3;4;1")}) << roster({QStringLiteral("たろう;5;3;9;1")})
        << QStringList();
    QTest::newRow("pupil dropped from the file comes back")
        << one << roster({taro, QStringLiteral("はなこ;4;0;0;0")})
        << roster({taro, QStringLiteral("はなこ;4;0;0;0")})
        << roster({taro, QStringLiteral("はなこ;4;0;0;0")}) << QStringList();

    // Untouched lines keep their bytes: extra fields, an old code for 髙, the unread part.
    const QByteArray odd = roster({taro}) + kTakaOld + cp932Lines({QStringLiteral("ゆき;0;0;0;0")});
    const QByteArray tail = cp932Lines({QStringLiteral("こわれた行"), QStringLiteral("z;0;0;0;0")});
    QTest::newRow("untouched lines byte for byte")
        << odd + tail << odd
        << roster({taro, QStringLiteral("髙橋;1;0;0;0;メモ"), QStringLiteral("ゆき;0;2;0;0")})
        << roster({taro}) + kTakaOld + cp932Lines({QStringLiteral("ゆき;0;2;0;0")}) + tail
        << QStringList();
    QTest::newRow("changed line keeps its name bytes")
        << odd << odd
        << roster({taro, QStringLiteral("髙橋;3;0;0;0;メモ"), QStringLiteral("ゆき;0;0;0;0")})
        << roster({taro}) + QByteArray(kTakaOld).replace(";1;0;0;0;", ";3;0;0;0;") +
               cp932Lines({QStringLiteral("ゆき;0;0;0;0")})
        << QStringList();

    QStringList full;
    for (int i = 1; i <= 98; ++i)
        full << QStringLiteral("p%1;0;0;0;0").arg(i);
    const QByteArray fileOf98 = roster(full);
    const QByteArray fileOf99 = roster(full + QStringList{QStringLiteral("よそ;0;0;0;0")});
    QTest::newRow("99 rows: new pupil refused, nobody dropped")
        << fileOf99 << fileOf98 << roster(full + QStringList{QStringLiteral("new;1;0;0;0")})
        << fileOf99 << QStringList{QStringLiteral("new")};
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
    // Merging again changes nothing.
    QCOMPARE(mergeRoster(result.bytes, base, mine).bytes, merged);
}

void TestMerge::recordRules_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("run");
    QTest::addColumn<QByteArray>("raised"); // empty: the file stays

    const QByteArray held = streakLines({QStringLiteral("はなこ; 7"), ";0", ";0", ";0"});
    QTest::newRow("longer run wins")
        << held << 8 << streakLines({QStringLiteral("たろう; 8"), ";0", ";0", ";0"});
    QTest::newRow("tie keeps the holder") << held << 7 << QByteArray();
    QTest::newRow("shorter run") << held << 3 << QByteArray();
    const QByteArray others = QByteArray("\xEE\xE0; 2\r\n;x\r\n;0\r\n"); // 髙 in its old code
    QTest::newRow("other lines byte for byte")
        << streakLines({";0"}) + others << 1 << streakLines({QStringLiteral("たろう; 1")}) + others;
}

void TestMerge::recordRules() {
    QFETCH(QByteArray, file);
    QFETCH(int, run);
    QFETCH(QByteArray, raised);
    const auto result =
        raiseStreakRecord(file, Activity::Novice, QStringLiteral("たろう"), qint16(run));
    QCOMPARE(result.value_or(QByteArray()), raised);
}

void TestMerge::windowTakesInTheMergedRoster() {
    auto t =
        withRoster(roster({QStringLiteral("たろう;0;0;0;0"), QStringLiteral("はなこ;0;0;0;0")}));
    confirmName(*t, QStringLiteral("はなこ"));
    // Another copy adds a pupil and raises はなこ's Expert run.
    QVERIFY(writeBytes(t->state.rosterPath(),
                       roster({QStringLiteral("たろう;0;0;0;0"), QStringLiteral("はなこ;0;0;4;0"),
                               QStringLiteral("じろう;0;0;0;0")})));
    t->state.NoviceFirstAttempt = True;
    t->window->advanceStreakAndSave(Activity::Novice, 20);
    QCOMPARE(rosterOnDisk(*t),
             roster({QStringLiteral("たろう;0;0;0;0"), QStringLiteral("はなこ;1;0;4;0"),
                     QStringLiteral("じろう;0;0;0;0")}));
    QCOMPARE(t->window->nameCombo()->count(), 3);
    QCOMPARE(t->state.CurrentPupilRow, qint16(2));
    QCOMPARE(t->state.ExpertBestStreak, qint16(4));
    QCOMPARE(t->window->rosterFile().rows, 4);

    // Sign-in looks at the file first: a pupil another copy added is found, not added twice,
    // and a new one goes after it.
    QVERIFY(writeBytes(t->state.rosterPath(),
                       rosterOnDisk(*t) + cp932Lines({QStringLiteral("ゆき;2;0;0;0")})));
    confirmName(*t, QStringLiteral("ゆき"));
    QCOMPARE(t->state.CurrentPupilRow, qint16(4));
    QCOMPARE(t->state.NoviceBestStreak, qint16(2));
    confirmName(*t, QStringLiteral("さくら"));
    QCOMPARE(t->state.CurrentPupilRow, qint16(5));
    QCOMPARE(t->window->nameCombo()->count(), 5);
    QVERIFY(t->messages.isEmpty());
}

void TestMerge::lockedFolderKeepsTheChange() {
    // Another computer holds the folder's lock. The new pupil signs in and works; the teacher
    // is told once which computer it is; nothing is written yet.
    auto t = withRoster(roster({QStringLiteral("たろう;0;0;0;0")}));
    QVERIFY(writeBytes(t->state.streakPath(), newStreakFileBytes()));
    t->window->folderSync().setOptions({0, 3});
    const QString ini = t->state.rosterPath();
    writeForeignLock(ini, 0);
    confirmName(*t, QStringLiteral("じろう"));
    QVERIFY(t->window->isTabSelectable(2));
    QCOMPARE(t->messages.size(), 1);
    QVERIFY(t->messages[0].text.contains(QStringLiteral("「shokuinshitsu-pc」")));
    QVERIFY(t->messages[0].text.contains(QStringLiteral("4242")));
    t->state.NoviceFirstAttempt = True;
    t->window->advanceStreakAndSave(Activity::Novice, 20);
    t->window->ShowNoviceStreakRecord();
    QCOMPARE(t->messages.size(), 1);
    QCOMPARE(t->state.NoviceBestStreak, qint16(1));
    QCOMPARE(rosterOnDisk(*t), roster({QStringLiteral("たろう;0;0;0;0")}));

    // The lock is gone when the program closes: both files are written then.
    QVERIFY(QFile::remove(dataFolderLockPath(ini)));
    t->window->close();
    QCOMPARE(rosterOnDisk(*t),
             roster({QStringLiteral("たろう;0;0;0;0"), QStringLiteral("じろう;1;0;0;0")}));
    QCOMPARE(readBytes(t->state.streakPath()),
             streakLines({QStringLiteral("じろう; 1"), ";0", ";0", ";0"}));
    QCOMPARE(t->messages.size(), 1);

    // Still held at close: the teacher learns that the records are not saved.
    auto u = withRoster(roster({}));
    u->window->folderSync().setOptions({0, 3});
    writeForeignLock(u->state.rosterPath(), 0);
    confirmName(*u, QStringLiteral("かな"));
    u->window->close();
    QCOMPARE(u->messages.size(), 2);
    QVERIFY(u->messages[1].text.contains(QStringLiteral("保存されません")));
    QCOMPARE(rosterOnDisk(*u), roster({}));
}

void TestMerge::keptPupilSurvivesRereads() {
    // A new pupil waits in memory for the lock while another copy puts a pupil into the same
    // row of the file. Reading the file again (the full-mark list, the data-folder dialog)
    // keeps the waiting pupil, and its run never lands in the other pupil's line.
    auto t = withRoster(roster({QStringLiteral("たろう;0;0;0;0")}));
    QVERIFY(writeBytes(t->state.streakPath(), newStreakFileBytes()));
    t->window->folderSync().setOptions({0, 3});
    writeForeignLock(t->state.rosterPath(), 0);
    confirmName(*t, QStringLiteral("じろう"));
    QCOMPARE(t->state.CurrentPupilRow, qint16(2));
    QVERIFY(writeBytes(t->state.rosterPath(),
                       roster({QStringLiteral("たろう;0;0;0;0"), QStringLiteral("よそ;0;0;0;0")})));
    t->state.CurrentTab = 2;
    t->window->ShowScoreDialog();
    QCOMPARE(t->state.RosterTable[2][0], QStringLiteral("じろう"));
    t->window->OpenDataFolder();
    QCOMPARE(t->state.CurrentPupilRow, qint16(3));
    QCOMPARE(t->window->nameCombo()->count(), 3);

    QVERIFY(QFile::remove(dataFolderLockPath(t->state.rosterPath())));
    t->state.NoviceFirstAttempt = True;
    t->window->advanceStreakAndSave(Activity::Novice, 20);
    QCOMPARE(rosterOnDisk(*t),
             roster({QStringLiteral("たろう;0;0;0;0"), QStringLiteral("よそ;0;0;0;0"),
                     QStringLiteral("じろう;1;0;0;0")}));
    QCOMPARE(t->messages.size(), 1);
}

void TestMerge::stolenLockCannotLoseAnUpdate() {
    // A lock whose time stamp lies ahead (a computer with a fast clock) is taken over at once,
    // although its holder is still writing. The holder's write lands between this copy's
    // merge and its rename; the content check notices and the merge runs again.
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Quorin.ini"));
    const QByteArray base = roster({QStringLiteral("たろう;0;0;0;0")});
    QVERIFY(writeBytes(ini, base));
    writeForeignLock(ini, -40);
    const QByteArray theirs =
        roster({QStringLiteral("たろう;0;0;0;0"), QStringLiteral("よそ;3;0;0;0")});
    const QByteArray mine = roster({QStringLiteral("たろう;0;2;0;0")});
    int merges = 0;
    const SyncResult result =
        saveMerged(ini,
                   [&](const std::optional<QByteArray> &onDisk) {
                       if (merges++ == 0)
                           writeBytes(ini, theirs);
                       return std::optional(mergeRoster(onDisk.value(), base, mine).bytes);
                   },
                   {0, 3});
    QCOMPARE(result.status, SyncStatus::Saved);
    QCOMPARE(merges, 2);
    QCOMPARE(readBytes(ini),
             roster({QStringLiteral("たろう;0;2;0;0"), QStringLiteral("よそ;3;0;0;0")}));
}

QTEST_MAIN(TestMerge)
#include "tst_merge.moc"
