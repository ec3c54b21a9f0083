// The data files: code page 932 names, the roster file read and written back, the one save
// function, the record file and the streak message.

#include "recordfiles.h"
#include "records/datafile.h"
#include "records/pupilname.h"
#include "records/roster.h"
#include "records/streak.h"
#include "records/streakrecord.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>

class TestRecords : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void names_data();
    void names();
    void roster_data();
    void roster();
    void rosterCountsAndHeader();
    void failingSaveKeepsTheOldFile_data();
    void failingSaveKeepsTheOldFile();
    void messagePieces();
    void recordProcedure_data();
    void recordProcedure();
    void gradingsThroughTheWindow();
    void runStepStopsAtTheTop();
};

void TestRecords::names_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<NameProblem>("problem");
    QTest::newRow("kana") << QStringLiteral("たろう") << NameProblem::None;
    QTest::newRow("kanji, taka") << QStringLiteral("髙橋一郎") << NameProblem::None;
    QTest::newRow("full-width, wave dash") << QStringLiteral("ＡＢ～ﾀﾛｳ") << NameProblem::None;
    QTest::newRow("spaces count") << QStringLiteral(" はな　こ ") << NameProblem::None;
    QTest::newRow("separator") << QStringLiteral("た;ろう") << NameProblem::Separator;
    QTest::newRow("line feed") << QStringLiteral("た\nろう") << NameProblem::LineBreak;
    QTest::newRow("tab") << QStringLiteral("た\tろう") << NameProblem::ControlCharacter;
    QTest::newRow("yoshi") << QStringLiteral("𠮷田") << NameProblem::NotEncodable;
    QTest::newRow("emoji") << QStringLiteral("はな😀") << NameProblem::NotEncodable;
}

void TestRecords::names() {
    QFETCH(QString, name);
    QFETCH(NameProblem, problem);
    QCOMPARE(checkPupilName(name).problem, problem);
    if (problem != NameProblem::None)
        return;
    // Through a roster file and back, byte for byte.
    const QByteArray bytes = cp932Lines({kRosterHeader, name + QStringLiteral(";1;0;0;2")});
    ApplicationState s;
    const RosterFile roster = loadRosterBytes(s, bytes);
    QCOMPARE(rosterNames(s, roster), QStringList{name});
    QCOMPARE(rosterFileBytes(s, roster).value(), bytes);
    // A kana and a separate sound mark are composed first.
    QCOMPARE(checkPupilName(QStringLiteral("か\u3099な")).name, QStringLiteral("がな"));
}

void TestRecords::roster_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("rows");        // rows of the table that are the roster
    QTest::addColumn<QByteArray>("tail"); // kept byte for byte after them

    const QByteArray head = cp932Lines({kRosterHeader, QStringLiteral("たろう;1;0;0;0")});
    const QByteArray rest =
        cp932Lines({QStringLiteral("じろう;0;0;0"), QStringLiteral("はなこ;0;0;0;0")});
    const QByteArray badBytes = QByteArray("\x82\xff;0;0;0;0\r\n");
    const QByteArray noName = cp932Lines({QStringLiteral(";0;0;0;0")});
    QTest::newRow("header only") << cp932Lines({kRosterHeader}) << 1 << QByteArray();
    QTest::newRow("short line stops") << head + rest << 2 << rest;
    QTest::newRow("five separators")
        << cp932Lines({kRosterHeader, QStringLiteral("たろう;1;2;3;4;メモ")}) << 2 << QByteArray();
    QTest::newRow("not code page 932") << head + badBytes + rest << 2 << badBytes + rest;
    QTest::newRow("empty name") << head + noName + rest << 2 << noName + rest;
    QTest::newRow("blank last line") << head + "\r\n" << 2 << QByteArray("\r\n");
    QTest::newRow("empty file") << QByteArray() << 1 << QByteArray();
    QTest::newRow("malformed header") << rest << 1 << rest;
}

void TestRecords::roster() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, rows);
    QFETCH(QByteArray, tail);
    ApplicationState s;
    RosterFile roster = loadRosterBytes(s, bytes);
    QCOMPARE(roster.rows, rows);
    QCOMPARE(roster.tail, tail);
    QCOMPARE(rosterNames(s, roster).size(), rows - 1);
    QCOMPARE(s.RosterTable[0][4], QStringLiteral("チャレンジ100点回数"));
    // Saved unchanged; a file without a usable header gets one put in front.
    const QByteArray header =
        bytes.startsWith(cp932Lines({kRosterHeader})) ? QByteArray() : cp932Lines({kRosterHeader});
    QCOMPARE(rosterFileBytes(s, roster).value(), header + bytes);

    // A new pupil goes after the rows read and before the kept part; nothing is written twice,
    // and the next load finds the pupil and stops at the same place.
    const PupilSearch search = findPupil(s, roster, QStringLiteral("じろう"));
    QVERIFY(!search.found);
    QCOMPARE(search.row, rows);
    const QStringList cells{QStringLiteral("じろう"), "0", "0", "0", "0"};
    for (int c = 0; c < 5; ++c)
        s.RosterTable[rows][c] = cells[c];
    roster.rows = rows + 1;
    const QByteArray saved = rosterFileBytes(s, roster).value();
    QCOMPARE(saved, header + bytes.left(bytes.size() - tail.size()) +
                        cp932Lines({cells.join(u';')}) + tail);
    ApplicationState again;
    const RosterFile reread = loadRosterBytes(again, saved);
    QCOMPARE(reread.rows, rows + 1);
    QCOMPARE(reread.tail, tail);
}

void TestRecords::rosterCountsAndHeader() {
    // One count changed: the file differs in that field only. LF alone reads the same.
    const QByteArray before = cp932Lines(
        {kRosterHeader, QStringLiteral("たろう;0;0;0;0"), QStringLiteral("はなこ;2;0;1;0")});
    ApplicationState s;
    const RosterFile roster = loadRosterBytes(s, before);
    s.RosterTable[2][3] = QStringLiteral("12");
    QByteArray expected = before;
    expected.replace(";2;0;1;0", ";2;0;12;0");
    QCOMPARE(rosterFileBytes(s, roster).value(), expected);
    QByteArray lf = before;
    lf.replace("\r\n", "\n");
    ApplicationState t;
    QCOMPARE(rosterNames(t, loadRosterBytes(t, lf)).size(), 2);

    // Never a roster without its header.
    ApplicationState w;
    w.RosterTable[1][0] = QStringLiteral("たろう");
    QVERIFY(!rosterFileBytes(w, RosterFile{2, {}}));
}

void TestRecords::failingSaveKeepsTheOldFile_data() {
    QTest::addColumn<qint64>("failAfter");
    QTest::newRow("nothing written") << qint64(0);
    QTest::newRow("cut in a line") << qint64(7);
    QTest::newRow("last byte missing") << qint64(-1);
}

void TestRecords::failingSaveKeepsTheOldFile() {
    QFETCH(qint64, failAfter);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quorin.ini"));
    const QByteArray old = cp932Lines({kRosterHeader, QStringLiteral("たろう;1;0;0;0")});
    QVERIFY(writeBytes(path, old));
    const QByteArray next = old + cp932Lines({QStringLiteral("はなこ;0;0;0;0")});
    {
        SaveFaultForTesting fault(failAfter < 0 ? next.size() - 1 : failAfter);
        QVERIFY(!saveDataFile(path, next).ok);
    }
    QCOMPARE(readBytes(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Quorin.ini")});
    QVERIFY(saveDataFile(path, next).ok);
    QCOMPARE(readBytes(path), next);
    // A folder whose parent is an ordinary file cannot be written, even by the administrator.
    QCOMPARE(saveDataFile(path + QStringLiteral("/sub/Quorin.ini"), old).reason,
             QStringLiteral("フォルダーが見つかりません。"));
    QVERIFY(!dataFolderProblem(path + QStringLiteral("/sub")).isEmpty());
    // Creating never replaces a file that is there.
    QVERIFY(createDataFileIfMissing(path, old).ok);
    QCOMPARE(readBytes(path), next);
    // A read-only file is not replaced (the administrator may still write it).
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
    if (!QFileInfo(path).isWritable())
        QVERIFY(!saveDataFile(path, old).ok);
    QCOMPARE(readBytes(path), next);
}

void TestRecords::messagePieces() {
    QCOMPARE(streakMessage(0, 0, QString(), 9),
             QStringLiteral("ただいま連続 0 回正解中です。\u3000あなたの最高記録は 0 回です。"));
    QCOMPARE(
        streakMessage(2, 15, QStringLiteral("はなこ"), 21),
        QStringLiteral("ただいま連続 2 回正解中です。\u3000あなたの最高記録は 15 回です。"
                       "\u3000\u3000\u3000\u3000最高連続正解回数は、 はなこ さんの 21 回です。"));
}

void TestRecords::recordProcedure_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("best");
    QTest::addColumn<QString>("holder"); // shown after the procedure; empty: short form
    QTest::addColumn<int>("record");
    QTest::addColumn<QByteArray>("after"); // empty: file unchanged

    const QByteArray fresh = newStreakFileBytes();
    const QStringList others{QStringLiteral("じろう;x"), QStringLiteral(";0"),
                             QStringLiteral("けん; 1 ")};
    const QByteArray held = streakLines(QStringList{QStringLiteral("はなこ; 7")} + others);
    const QString hanako = QStringLiteral("はなこ"), taro = QStringLiteral("たろう");
    QTest::newRow("fresh file") << fresh << 0 << QString() << 0 << QByteArray();
    QTest::newRow("record read") << held << 3 << hanako << 7 << QByteArray();
    QTest::newRow("tie keeps the holder") << held << 7 << hanako << 7 << QByteArray();
    QTest::newRow("beaten, others copied")
        << held << 8 << taro << 8 << streakLines(QStringList{QStringLiteral("たろう; 8")} + others);
    QTest::newRow("sixth line dropped")
        << fresh + cp932Lines({QStringLiteral("メモ")}) << 1 << taro << 1
        << streakLines({QStringLiteral("たろう; 1"), ";0", ";0", ";0"});
    QTest::newRow("four lines") << streakLines({";0", ";0", ";0"}) << 5 << QString() << 0
                                << QByteArray();
    QTest::newRow("own number broken")
        << streakLines({"x;-", ";0", ";0", ";0"}) << 5 << QString() << 0 << QByteArray();
    QTest::newRow("line without separator")
        << streakLines({"7", ";0", ";0", ";0"}) << 5 << QString() << 0 << QByteArray();
}

void TestRecords::recordProcedure() {
    QFETCH(QByteArray, before);
    QFETCH(int, best);
    QFETCH(QString, holder);
    QFETCH(int, record);
    QFETCH(QByteArray, after);
    TestMain t;
    QVERIFY(writeBytes(t.path(QStringLiteral("Quorin.dat")), before));
    t.window->nameCombo()->setEditText(QStringLiteral("たろう"));
    t.state.NoviceBestStreak = qint16(best);
    t.window->ShowNoviceStreakRecord();
    QCOMPARE(t.window->streakLabel(Activity::Novice)->text(),
             streakMessage(0, qint16(best), holder, qint16(record)));
    QCOMPARE(readBytes(t.path(QStringLiteral("Quorin.dat"))), after.isEmpty() ? before : after);
}

void TestRecords::gradingsThroughTheWindow() {
    TestMain t;
    // Without a record file: the short form, and the best run still reaches the roster.
    confirmName(t, QStringLiteral("たろう"));
    t.state.IntermediateFirstAttempt = True;
    t.window->advanceStreakAndSave(Activity::Intermediate, 20);
    t.window->ShowIntermediateStreakRecord();
    QCOMPARE(t.window->streakLabel(Activity::Intermediate)->text(), streakMessage(1, 1, {}, 0));
    QCOMPARE(rosterOnDisk(t), cp932Lines({kRosterHeader, QStringLiteral("たろう;0;1;0;0")}));

    // A fresh record file: the procedures that follow make the pupil the Intermediate
    // holder; the first Novice full mark then rewrites line 2 only.
    t.window->OpenDataFolder();
    const QString dat = t.path(QStringLiteral("Quorin.dat"));
    QCOMPARE(readBytes(dat), streakLines({";0", QStringLiteral("たろう; 1"), ";0", ";0"}));
    t.state.NoviceFirstAttempt = True;
    t.window->advanceStreakAndSave(Activity::Novice, 20);
    t.state.NoviceFirstAttempt = False;
    t.window->ShowNoviceStreakRecord();
    QCOMPARE(readBytes(dat),
             streakLines({QStringLiteral("たろう; 1"), QStringLiteral("たろう; 1"), ";0", ";0"}));
    QCOMPARE(
        t.window->streakLabel(Activity::Novice)->text(),
        QStringLiteral("ただいま連続 1 回正解中です。\u3000あなたの最高記録は 1 回です。"
                       "\u3000\u3000\u3000\u3000最高連続正解回数は、 たろう さんの 1 回です。"));
    // A second grading of the same set changes no run; the message is refreshed.
    t.window->advanceStreakAndSave(Activity::Novice, 20);
    t.window->ShowNoviceStreakRecord();
    QCOMPARE(t.state.NoviceCurrentStreak, qint16(1));
    // 19 of 20 ends the run, keeps the best run and the record.
    t.state.NoviceFirstAttempt = True;
    t.window->advanceStreakAndSave(Activity::Novice, 19);
    t.window->ShowNoviceStreakRecord();
    QCOMPARE(t.window->streakLabel(Activity::Novice)->text(),
             streakMessage(0, 1, QStringLiteral("たろう"), 1));
    QCOMPARE(rosterOnDisk(t), cp932Lines({kRosterHeader, QStringLiteral("たろう;1;1;0;0")}));
}

void TestRecords::runStepStopsAtTheTop() {
    ApplicationState s;
    s.CurrentPupilRow = 1;
    s.ChallengeFirstAttempt = True;
    s.ChallengeCurrentStreak = s.ChallengeBestStreak = 32766;
    QVERIFY(AdvanceStreak(s, Activity::Challenge, 81));
    QCOMPARE(s.RosterTable[1][4], QStringLiteral("32767"));
    // The counters stay at 32767 instead of wrapping; nothing more to save.
    QVERIFY(!AdvanceStreak(s, Activity::Challenge, 81));
    QCOMPARE(s.ChallengeCurrentStreak, qint16(32767));
    QCOMPARE(s.ChallengeBestStreak, qint16(32767));
    // With nobody signed in (row 0, the header) no cell is written.
    s.CurrentPupilRow = 0;
    s.NoviceFirstAttempt = True;
    QVERIFY(!AdvanceStreak(s, Activity::Novice, 20));
    QCOMPARE(s.NoviceBestStreak, qint16(1));
    QCOMPARE(s.RosterTable[0][1], QString());
}

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
