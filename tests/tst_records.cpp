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
    void everyCodePage932CharacterIsKept();
    void roster_data();
    void roster();
    void oneCountChanged();
    void failingSaveKeepsTheOldFile();
    void recordProcedure_data();
    void recordProcedure();
    void gradingsThroughTheWindow();
    void runStepStopsAtTheTop();
};

void TestRecords::names_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<NameProblem>("problem");
    QTest::newRow("kana") << "たろう" << NameProblem::None;
    QTest::newRow("kanji, taka") << "髙橋一郎" << NameProblem::None;
    QTest::newRow("full-width, wave dash") << "ＡＢ～ﾀﾛｳ" << NameProblem::None;
    QTest::newRow("spaces count") << " はな　こ " << NameProblem::None;
    QTest::newRow("separator") << "た;ろう" << NameProblem::Separator;
    QTest::newRow("line feed") << "た\nろう" << NameProblem::LineBreak;
    QTest::newRow("tab") << "た\tろう" << NameProblem::ControlCharacter;
    QTest::newRow("yoshi") << "𠮷田" << NameProblem::NotEncodable;
    QTest::newRow("emoji") << "はな😀" << NameProblem::NotEncodable;
    // Kept as typed: code page 932's own forms, which composition would change.
    QTest::newRow("compatibility kanji") << "\uFA10田" << NameProblem::None;
}

void TestRecords::names() {
    QFETCH(QString, name);
    QFETCH(NameProblem, problem);
    QCOMPARE(checkPupilName(name).problem, problem);
    if (problem == NameProblem::None) { // as typed, through a roster file and back
        QCOMPARE(checkPupilName(name).name, name);
        const QByteArray bytes = ::roster({name + ";1;0;0;2"});
        ApplicationState s;
        const RosterFile file = loadRosterBytes(s, bytes);
        QCOMPARE(rosterNames(s, file), QStringList{name});
        QCOMPARE(rosterFileBytes(s, file).value(), bytes);
    }
}

void TestRecords::everyCodePage932CharacterIsKept() {
    // Every character the files can hold is a name exactly as typed; only a sound mark typed
    // apart, which the files cannot hold, is composed with its kana.
    int checked = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead)
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const char code[2] = {char(lead), char(trail)};
            const auto c = decodeCp932(QByteArray(code, 2));
            if (!c || c->size() != 1 || !c->at(0).isPrint() || *c == QStringLiteral(";"))
                continue;
            QCOMPARE(checkPupilName(*c).name, *c);
            ++checked;
        }
    QVERIFY2(checked > 7000, qPrintable(QString::number(checked)));
    QCOMPARE(checkPupilName(QStringLiteral("か\u3099く")).name, QStringLiteral("がく"));
}

void TestRecords::roster_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("rows");        // rows of the table that are the roster
    QTest::addColumn<QByteArray>("tail"); // kept byte for byte after them

    const QByteArray head = ::roster({"たろう;1;0;0;0"});
    const QByteArray rest = cp932Lines({"じろう;0;0;0", "はなこ;0;0;0;0"});
    const QByteArray bad = QByteArray("\x82\xff;0;0;0;0\r\n");
    const QByteArray noName = cp932Lines({";0;0;0;0"});
    QTest::newRow("header only") << ::roster({}) << 1 << QByteArray();
    QTest::newRow("short line kept") << head + rest << 3 << QByteArray();
    QTest::newRow("five separators") << ::roster({"たろう;1;2;3;4;メモ"}) << 2 << QByteArray();
    QTest::newRow("not code page 932") << head + bad + rest << 3 << QByteArray();
    QTest::newRow("empty name") << head + noName + rest << 3 << QByteArray();
    QTest::newRow("blank last line") << head + "\r\n" << 2 << QByteArray("\r\n");
    QTest::newRow("empty file") << QByteArray() << 1 << QByteArray();
    QTest::newRow("malformed header") << rest << 2 << QByteArray();
    QTest::newRow("no pupil after a bad header") << bad << 1 << bad;
}

void TestRecords::roster() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, rows);
    QFETCH(QByteArray, tail);
    ApplicationState s;
    RosterFile file = loadRosterBytes(s, bytes);
    QCOMPARE(file.rows, rows);
    QCOMPARE(file.tail, tail);
    // Saved unchanged; a file without a usable header gets one put in front.
    const QByteArray header = bytes.startsWith(::roster({})) ? QByteArray() : ::roster({});
    QCOMPARE(rosterFileBytes(s, file).value(), header + bytes);

    // A new pupil goes after the rows read and before the kept part, and is found again.
    QCOMPARE(findPupil(s, file, "じろう").row, rows);
    const QStringList cells{"じろう", "0", "0", "0", "0"};
    for (int c = 0; c < 5; ++c)
        s.RosterTable[rows][c] = cells[c];
    file.rows = rows + 1;
    const QByteArray saved = rosterFileBytes(s, file).value();
    QCOMPARE(saved, header + bytes.chopped(tail.size()) + cp932Lines({cells.join(u';')}) + tail);
    ApplicationState again;
    QCOMPARE(loadRosterBytes(again, saved).rows, rows + 1);
}

void TestRecords::oneCountChanged() {
    // The file differs in that field only. LF alone reads the same.
    const QByteArray before = ::roster({"たろう;0;0;0;0", "はなこ;2;0;1;0"});
    ApplicationState s;
    const RosterFile file = loadRosterBytes(s, before);
    s.RosterTable[2][3] = "12";
    QCOMPARE(rosterFileBytes(s, file).value(), QByteArray(before).replace(";2;0;1;0", ";2;0;12;0"));
    ApplicationState t;
    QCOMPARE(loadRosterBytes(t, QByteArray(before).replace("\r\n", "\n")).rows, 3);
    // Never a roster without its header.
    ApplicationState w;
    w.RosterTable[1][0] = "たろう";
    QVERIFY(!rosterFileBytes(w, RosterFile{2, {}, {}, {}}));
}

void TestRecords::failingSaveKeepsTheOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("Quorin.ini");
    const QByteArray old = ::roster({"たろう;1;0;0;0"});
    QVERIFY(writeBytes(path, old));
    const QByteArray next = old + cp932Lines({"はなこ;0;0;0;0"});
    for (qint64 failAfter : {qint64(0), qint64(7), next.size() - 1}) {
        SaveFaultForTesting fault(failAfter);
        QVERIFY(!saveDataFile(path, next).ok);
        QCOMPARE(readBytes(path), old);
    }
    QVERIFY(saveDataFile(path, next).ok);
    QCOMPARE(readBytes(path), next);
    // Creating never replaces a file that is there; a read-only file is not replaced (the
    // administrator may still write it).
    QVERIFY(createDataFileIfMissing(path, old).ok);
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
    if (!QFileInfo(path).isWritable())
        QVERIFY(!saveDataFile(path, old).ok);
    QCOMPARE(readBytes(path), next);
}

void TestRecords::recordProcedure_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("best");
    QTest::addColumn<QString>("holder"); // shown after the procedure; empty: short form
    QTest::addColumn<int>("record");
    QTest::addColumn<QByteArray>("after"); // empty: file unchanged

    const QByteArray fresh = newStreakFileBytes();
    const QStringList others{"じろう;x", ";0", "けん; 1 "};
    const QByteArray held = streakLines(QStringList{"はなこ; 7"} + others);
    const QStringList zeros{";0", ";0", ";0"};
    QTest::newRow("fresh file") << fresh << 0 << QString() << 0 << QByteArray();
    QTest::newRow("record read") << held << 3 << "はなこ" << 7 << QByteArray();
    QTest::newRow("tie keeps the holder") << held << 7 << "はなこ" << 7 << QByteArray();
    QTest::newRow("beaten, others copied")
        << held << 8 << "たろう" << 8 << streakLines(QStringList{"たろう; 8"} + others);
    QTest::newRow("sixth line dropped") << fresh + cp932Lines({"メモ"}) << 1 << "たろう" << 1
                                        << streakLines(QStringList{"たろう; 1"} + zeros);
    QTest::newRow("four lines") << streakLines(zeros) << 5 << QString() << 0 << QByteArray();
    QTest::newRow("own number broken")
        << streakLines(QStringList{"x;-"} + zeros) << 5 << QString() << 0 << QByteArray();
    QTest::newRow("line without separator")
        << streakLines(QStringList{"7"} + zeros) << 5 << QString() << 0 << QByteArray();
}

void TestRecords::recordProcedure() {
    QFETCH(QByteArray, before);
    QFETCH(int, best);
    QFETCH(QString, holder);
    QFETCH(int, record);
    QFETCH(QByteArray, after);
    TestMain t;
    QVERIFY(writeBytes(t.path("Quorin.dat"), before));
    t.window->nameCombo()->setEditText("たろう");
    t.state.NoviceBestStreak = qint16(best);
    t.classroom->ShowNoviceStreakRecord();
    QCOMPARE(t.window->streakLabel(Activity::Novice)->text(),
             streakMessage(0, qint16(best), holder, qint16(record)));
    QCOMPARE(readBytes(t.path("Quorin.dat")), after.isEmpty() ? before : after);
}

void TestRecords::gradingsThroughTheWindow() {
    const auto label = [](TestMain &t) { return t.window->streakLabel(Activity::Novice)->text(); };
    TestMain t;
    // The first sign-in in an empty folder makes both files; the first full mark is a record.
    confirmName(t, "たろう");
    t.state.IntermediateFirstAttempt = True;
    t.classroom->advanceStreakAndSave(Activity::Intermediate, 20);
    t.classroom->ShowIntermediateStreakRecord();
    QCOMPARE(t.window->streakLabel(Activity::Intermediate)->text(),
             streakMessage(1, 1, "たろう", 1));
    QCOMPARE(rosterOnDisk(t), ::roster({"たろう;0;1;0;0"}));

    // A fresh record file: the procedures that follow make the pupil the Intermediate
    // holder; the first Novice full mark then rewrites line 2 only.
    t.classroom->OpenDataFolder();
    const QString dat = t.path("Quorin.dat");
    QCOMPARE(readBytes(dat), streakLines({";0", "たろう; 1", ";0", ";0"}));
    t.state.NoviceFirstAttempt = True;
    t.classroom->advanceStreakAndSave(Activity::Novice, 20);
    t.state.NoviceFirstAttempt = False;
    t.classroom->ShowNoviceStreakRecord();
    QCOMPARE(readBytes(dat), streakLines({"たろう; 1", "たろう; 1", ";0", ";0"}));
    const QString full = "ただいま連続 1 回正解中です。\u3000あなたの最高記録は 1 回です。"
                         "\u3000\u3000\u3000\u3000最高連続正解回数は、 たろう さんの 1 回です。";
    QCOMPARE(label(t), full);
    // A second grading of the same set changes no run; the message is refreshed.
    t.window->streakLabel(Activity::Novice)->clear();
    t.classroom->advanceStreakAndSave(Activity::Novice, 20);
    t.classroom->ShowNoviceStreakRecord();
    QCOMPARE(label(t), full);
    // 19 of 20 ends the run, keeps the best run and the record.
    t.state.NoviceFirstAttempt = True;
    t.classroom->advanceStreakAndSave(Activity::Novice, 19);
    t.classroom->ShowNoviceStreakRecord();
    QCOMPARE(label(t), streakMessage(0, 1, "たろう", 1));
    QCOMPARE(rosterOnDisk(t), ::roster({"たろう;1;1;0;0"}));
}

void TestRecords::runStepStopsAtTheTop() {
    ApplicationState s;
    s.CurrentPupilRow = 1;
    s.ChallengeFirstAttempt = True;
    s.ChallengeCurrentStreak = s.ChallengeBestStreak = 32766;
    QVERIFY(AdvanceStreak(s, Activity::Challenge, 81));
    QCOMPARE(s.RosterTable[1][4], "32767");
    // The counters stay at 32767 instead of wrapping; nothing more to save.
    QVERIFY(!AdvanceStreak(s, Activity::Challenge, 81));
    QCOMPARE(s.ChallengeCurrentStreak, qint16(32767));
    QCOMPARE(s.ChallengeBestStreak, qint16(32767));
    // With nobody signed in (row 0, the header) no cell is written.
    s.CurrentPupilRow = 0;
    s.NoviceFirstAttempt = True;
    QVERIFY(!AdvanceStreak(s, Activity::Novice, 20));
    QCOMPARE(s.RosterTable[0][1], QString());
}

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
