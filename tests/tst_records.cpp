// The data files: code page 932 names, the roster file read and written back, the one save
// function, the record file and the streak message.

#include "records/cp932.h"
#include "records/datafile.h"
#include "records/pupilname.h"
#include "records/roster.h"
#include "records/streakrecord.h"
#include "testsupport.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTest>

namespace {

QByteArray sj(const QString &text) {
    return encodeCp932(text).value();
}

// Lines in code page 932, each ended by CR LF.
QByteArray file(const QStringList &lines) {
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += sj(line) + "\r\n";
    return bytes;
}

const QString kHeader =
    QStringLiteral("氏名;初級100点回数;中級100点回数;上級100点回数;チャレンジ100点回数");
const QString kIdeo = QStringLiteral("\u3000");

QString shortMessage(int current, int best) {
    return QStringLiteral("ただいま連続 %1 回正解中です。").arg(current) + kIdeo +
           QStringLiteral("あなたの最高記録は %1 回です。").arg(best);
}

QString longMessage(int current, int best, const QString &holder, int record) {
    return shortMessage(current, best) + kIdeo + kIdeo + kIdeo + kIdeo +
           QStringLiteral("最高連続正解回数は、 ") + holder +
           QStringLiteral(" さんの %1 回です。").arg(record);
}

QByteArray streakFile(const QStringList &records) {
    return file(QStringList{QStringLiteral("氏名;得点")} + records);
}

} // namespace

class TestRecords : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void namesRoundTrip_data();
    void namesRoundTrip();
    void namesRefused_data();
    void namesRefused();
    void rosterLoadAndSave_data();
    void rosterLoadAndSave();
    void rosterChangeOneCount();
    void rosterFullTable();
    void rosterNeverWithoutHeader();
    void saveFailsWithoutTouchingTheOldFile_data();
    void saveFailsWithoutTouchingTheOldFile();
    void createKeepsWhatIsThere();
    void recordNumbers_data();
    void recordNumbers();
    void messagePieces();
    void recordProcedure_data();
    void recordProcedure();
    void fullMarkTakesTheRecord();
    void secondGradingOnlyRefreshes();
    void absentRecordFile();
};

void TestRecords::namesRoundTrip_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("kana") << QStringLiteral("たろう");
    QTest::newRow("kanji") << QStringLiteral("山田一郎");
    QTest::newRow("full-width letters") << QStringLiteral("ＡＢＣ");
    QTest::newRow("half-width kana") << QStringLiteral("ﾀﾛｳ");
    QTest::newRow("taka") << QStringLiteral("髙橋");
    QTest::newRow("wave dash") << QStringLiteral("ゆ～き");
    QTest::newRow("spaces count") << QStringLiteral(" はな　こ ");
}

void TestRecords::namesRoundTrip() {
    QFETCH(QString, name);
    const NameCheck check = checkPupilName(name);
    QCOMPARE(check.problem, NameProblem::None);
    QCOMPARE(check.name, name);
    // Through a roster file and back, byte for byte.
    const QByteArray bytes = file({kHeader, name + QStringLiteral(";1;0;0;2")});
    ApplicationState s;
    const RosterFile roster = loadRosterBytes(s, bytes);
    QCOMPARE(rosterNames(s, roster), QStringList{name});
    QCOMPARE(rosterFileBytes(s, roster).value(), bytes);
}

void TestRecords::namesRefused_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<NameProblem>("problem");
    QTest::addColumn<QString>("offending");
    QTest::newRow("separator") << QStringLiteral("た;ろう") << NameProblem::Separator << ";";
    QTest::newRow("line feed") << QStringLiteral("た\nろう") << NameProblem::LineBreak << "\n";
    QTest::newRow("carriage return")
        << QStringLiteral("たろう\r") << NameProblem::LineBreak << "\r";
    QTest::newRow("line separator")
        << QStringLiteral("た\u2028ろう") << NameProblem::LineBreak << QStringLiteral("\u2028");
    QTest::newRow("tab") << QStringLiteral("た\tろう") << NameProblem::ControlCharacter << "\t";
    QTest::newRow("yoshi") << QStringLiteral("𠮷田") << NameProblem::NotEncodable
                           << QStringLiteral("𠮷");
    QTest::newRow("emoji") << QStringLiteral("はな😀") << NameProblem::NotEncodable
                           << QStringLiteral("😀");
    QTest::newRow("umlaut") << QStringLiteral("Jürgen") << NameProblem::NotEncodable
                            << QStringLiteral("ü");
}

void TestRecords::namesRefused() {
    QFETCH(QString, name);
    QFETCH(NameProblem, problem);
    QFETCH(QString, offending);
    const NameCheck check = checkPupilName(name);
    QCOMPARE(check.problem, problem);
    QCOMPARE(check.offending, offending);
    QVERIFY(!nameProblemMessage(check).isEmpty());
    // A kana with a separate sound mark is composed first and then fits.
    QCOMPARE(checkPupilName(QStringLiteral("か\u3099な")).name, QStringLiteral("がな"));
}

void TestRecords::rosterLoadAndSave_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QByteArray>("tail");

    const QByteArray head = file({kHeader, QStringLiteral("たろう;1;0;0;0")});
    const QByteArray rest =
        file({QStringLiteral("じろう;0;0;0"), QStringLiteral("はなこ;0;0;0;0")});
    QTest::newRow("header only") << file({kHeader}) << QStringList() << 1 << QByteArray();
    QTest::newRow("short line stops")
        << head + rest << QStringList{QStringLiteral("たろう")} << 2 << rest;
    QTest::newRow("five separators") << file({kHeader, QStringLiteral("たろう;1;2;3;4;メモ")})
                                     << QStringList{QStringLiteral("たろう")} << 2 << QByteArray();
    QTest::newRow("not code page 932")
        << head + QByteArray("\x82\xff;0;0;0;0\r\n") + rest << QStringList{QStringLiteral("たろう")}
        << 2 << QByteArray("\x82\xff;0;0;0;0\r\n") + rest;
    QTest::newRow("empty name") << head + file({QStringLiteral(";0;0;0;0")}) + rest
                                << QStringList{QStringLiteral("たろう")} << 2
                                << file({QStringLiteral(";0;0;0;0")}) + rest;
    QTest::newRow("blank last line")
        << head + "\r\n"
        << QStringList{QStringLiteral("たろう")} << 2 << QByteArray("\r\n");
    // No usable header: the standard one is put first, the whole file kept after it.
    QTest::newRow("empty file") << QByteArray() << QStringList() << 1 << QByteArray();
    QTest::newRow("malformed header") << rest << QStringList() << 1 << rest;
}

void TestRecords::rosterLoadAndSave() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    QFETCH(int, rows);
    QFETCH(QByteArray, tail);
    ApplicationState s;
    RosterFile roster = loadRosterBytes(s, bytes);
    QCOMPARE(rosterNames(s, roster), names);
    QCOMPARE(roster.rows, rows);
    QCOMPARE(roster.tail, tail);
    QCOMPARE(s.RosterTable[0][0], QStringLiteral("氏名"));
    QCOMPARE(s.RosterTable[0][4], QStringLiteral("チャレンジ100点回数"));
    const QByteArray rows0 =
        rows == 1 && !bytes.startsWith(sj(kHeader)) ? file({kHeader}) : QByteArray();
    QCOMPARE(rosterFileBytes(s, roster).value(), rows0 + bytes);

    // A pupil added after the rows read goes before the unread part, which follows byte for
    // byte; no line is written twice.
    const PupilSearch search = findPupil(s, roster, QStringLiteral("じろう"));
    QVERIFY(!search.found);
    QCOMPARE(search.row, rows);
    s.RosterTable[rows][0] = QStringLiteral("じろう");
    for (int c = 1; c < 5; ++c)
        s.RosterTable[rows][c] = QStringLiteral("0");
    roster.rows = rows + 1;
    const QByteArray saved = rosterFileBytes(s, roster).value();
    QVERIFY(saved.endsWith(file({QStringLiteral("じろう;0;0;0;0")}) + tail));
    QCOMPARE(saved.size(),
             rows0.size() + bytes.size() + sj(QStringLiteral("じろう;0;0;0;0\r\n")).size());
    // The next load finds the new pupil and stops at the same place.
    ApplicationState again;
    const RosterFile reread = loadRosterBytes(again, saved);
    QCOMPARE(rosterNames(again, reread), names + QStringList{QStringLiteral("じろう")});
    QCOMPARE(reread.tail, tail);
}

void TestRecords::rosterChangeOneCount() {
    const QByteArray before =
        file({kHeader, QStringLiteral("たろう;0;0;0;0"), QStringLiteral("はなこ;2;0;1;0"),
              QStringLiteral("じろう;0;0;0;0")});
    ApplicationState s;
    const RosterFile roster = loadRosterBytes(s, before);
    QCOMPARE(s.RosterTable[2][3], QStringLiteral("1"));
    s.RosterTable[2][3] = QStringLiteral("12");
    QByteArray expected = before;
    expected.replace(sj(QStringLiteral("はなこ;2;0;1;0")), sj(QStringLiteral("はなこ;2;0;12;0")));
    QCOMPARE(rosterFileBytes(s, roster).value(), expected);
    // A file written with LF alone reads the same.
    QByteArray lf = before;
    lf.replace("\r\n", "\n");
    ApplicationState t;
    QCOMPARE(rosterNames(t, loadRosterBytes(t, lf)), rosterNames(s, roster));
}

void TestRecords::rosterFullTable() {
    QStringList lines{kHeader};
    for (int i = 1; i <= 100; ++i)
        lines << QStringLiteral("p%1;%2;0;0;0").arg(i).arg(i % 3);
    const QByteArray extra = file({QStringLiteral("p101;0;0;0;0")});
    const QByteArray bytes = file(lines) + extra;
    ApplicationState s;
    const RosterFile roster = loadRosterBytes(s, bytes);
    QCOMPARE(roster.rows, 101);
    QCOMPARE(roster.tail, extra);
    QCOMPARE(rosterNames(s, roster).size(), 100);
    const PupilSearch last = findPupil(s, roster, QStringLiteral("p100"));
    QVERIFY(last.found);
    QCOMPARE(last.row, 100);
    QVERIFY(findPupil(s, roster, QStringLiteral("new")).full);
    QCOMPARE(rosterFileBytes(s, roster).value(), bytes);
    // 99 pupils: rows 1..99 are taken, a new name is refused.
    ApplicationState t;
    const RosterFile ninetyNine = loadRosterBytes(t, file(lines.mid(0, 100)));
    QVERIFY(findPupil(t, ninetyNine, QStringLiteral("new")).full);
    QVERIFY(findPupil(t, ninetyNine, QStringLiteral("p99")).found);
}

void TestRecords::rosterNeverWithoutHeader() {
    ApplicationState s;
    s.RosterTable[1][0] = QStringLiteral("たろう");
    QVERIFY(!rosterFileBytes(s, RosterFile{2, {}}));
    QVERIFY(!rosterFileBytes(s, RosterFile{}));
    QCOMPARE(newRosterFileBytes(), file({kHeader}));
}

void TestRecords::saveFailsWithoutTouchingTheOldFile_data() {
    QTest::addColumn<qint64>("failAfter");
    QTest::newRow("nothing written") << qint64(0);
    QTest::newRow("cut in a line") << qint64(7);
    QTest::newRow("last byte missing") << qint64(-1);
}

void TestRecords::saveFailsWithoutTouchingTheOldFile() {
    QFETCH(qint64, failAfter);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quorin.ini"));
    const QByteArray old = file({kHeader, QStringLiteral("たろう;1;0;0;0")});
    QVERIFY(writeBytes(path, old));
    const QByteArray next = old + file({QStringLiteral("はなこ;0;0;0;0")});
    {
        SaveFaultForTesting fault(failAfter < 0 ? next.size() - 1 : failAfter);
        const SaveResult result = saveDataFile(path, next);
        QVERIFY(!result.ok);
        QVERIFY(!result.reason.isEmpty());
    }
    QCOMPARE(readBytes(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Quorin.ini")});
    QVERIFY(saveDataFile(path, next).ok);
    QCOMPARE(readBytes(path), next);

    // A folder whose parent is an ordinary file cannot be written, even by the administrator.
    const QString blocked = dir.filePath(QStringLiteral("Quorin.ini/sub/Quorin.ini"));
    const SaveResult result = saveDataFile(blocked, next);
    QVERIFY(!result.ok);
    QCOMPARE(result.reason, QStringLiteral("フォルダーが見つかりません。"));
    QVERIFY(!dataFolderProblem(dir.filePath(QStringLiteral("Quorin.ini/sub"))).isEmpty());
    QVERIFY(dataFolderProblem(dir.path()).isEmpty());
    QCOMPARE(readBytes(path), next);

    // A read-only file is not replaced (permission bits bind every user but the
    // administrator, for whom the file stays writable).
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
    if (!QFileInfo(path).isWritable()) {
        QCOMPARE(saveDataFile(path, old).reason,
                 QStringLiteral("ファイルが読み取り専用になっています。"));
        QCOMPARE(readBytes(path), next);
    }
}

void TestRecords::createKeepsWhatIsThere() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quorin.dat"));
    QVERIFY(writeBytes(path, "keep"));
    QVERIFY(createDataFileIfMissing(path, newStreakFileBytes()).ok);
    QCOMPARE(readBytes(path), QByteArray("keep"));
    // A folder where the file should be is reported, and makes the folder unusable.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Quorin.ini")));
    QVERIFY(!createDataFileIfMissing(dir.filePath(QStringLiteral("Quorin.ini")), "x").ok);
    QVERIFY(!dataFolderProblem(dir.path()).isEmpty());
    QCOMPARE(newStreakFileBytes(),
             QByteArray("\x8e\x81\x96\xbc;\x93\xbe\x93_\r\n;0\r\n;0\r\n;0\r\n;0\r\n"));
}

void TestRecords::recordNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // -99999: does not convert
    QTest::newRow("leading blank") << " 7" << 7;
    QTest::newRow("blanks around") << "  12 " << 12;
    QTest::newRow("plain") << "0" << 0;
    QTest::newRow("negative") << "-3" << -3;
    QTest::newRow("largest") << "32767" << 32767;
    QTest::newRow("too large") << "32768" << -99999;
    QTest::newRow("empty") << "" << -99999;
    QTest::newRow("not a number") << "abc" << -99999;
    QTest::newRow("number and text") << "7a" << -99999;
}

void TestRecords::recordNumbers() {
    QFETCH(QString, text);
    QFETCH(int, value);
    const auto parsed = parseRecordNumber(text);
    QCOMPARE(parsed ? int(*parsed) : -99999, value);
    QCOMPARE(recordNumberText(7), QStringLiteral(" 7"));
    QCOMPARE(recordNumberText(-2), QStringLiteral("-2"));
}

void TestRecords::messagePieces() {
    // Pieces 1-4 and 5a; then 5b-9 (ASCII blanks and ideographic spaces as laid down).
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
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("after"); // empty: unchanged

    const QByteArray fresh = newStreakFileBytes();
    const QByteArray held = streakFile({QStringLiteral("はなこ; 7"), QStringLiteral("じろう;2"),
                                        QStringLiteral(";0"), QStringLiteral("けん; 1 ")});
    QTest::newRow("fresh file, no runs") << fresh << 0 << shortMessage(0, 0) << QByteArray();
    QTest::newRow("record read") << held << 3 << longMessage(0, 3, QStringLiteral("はなこ"), 7)
                                 << QByteArray();
    QTest::newRow("tie keeps the holder")
        << held << 7 << longMessage(0, 7, QStringLiteral("はなこ"), 7) << QByteArray();
    QTest::newRow("beaten") << held << 8 << longMessage(0, 8, QStringLiteral("たろう"), 8)
                            << streakFile({QStringLiteral("たろう; 8"), QStringLiteral("じろう;2"),
                                           QStringLiteral(";0"), QStringLiteral("けん; 1 ")});
    QTest::newRow("sixth line dropped")
        << fresh + file({QStringLiteral("メモ")}) << 1
        << longMessage(0, 1, QStringLiteral("たろう"), 1)
        << streakFile({QStringLiteral("たろう; 1"), QStringLiteral(";0"), QStringLiteral(";0"),
                       QStringLiteral(";0")});
    QTest::newRow("four lines") << fresh.left(fresh.lastIndexOf(";0")) << 5 << shortMessage(0, 5)
                                << QByteArray();
    QTest::newRow("own number broken")
        << streakFile({QStringLiteral("はなこ;x"), QStringLiteral(";0"), QStringLiteral(";0"),
                       QStringLiteral(";0")})
        << 5 << shortMessage(0, 5) << QByteArray();
    QTest::newRow("other number broken, copied")
        << streakFile({QStringLiteral(";0"), QStringLiteral("じろう;x"), QStringLiteral(";0"),
                       QStringLiteral(";0")})
        << 1 << longMessage(0, 1, QStringLiteral("たろう"), 1)
        << streakFile({QStringLiteral("たろう; 1"), QStringLiteral("じろう;x"),
                       QStringLiteral(";0"), QStringLiteral(";0")});
    QTest::newRow("line without separator") << streakFile({QStringLiteral("はなこ 7")}) + fresh << 5
                                            << shortMessage(0, 5) << QByteArray();
}

void TestRecords::recordProcedure() {
    QFETCH(QByteArray, before);
    QFETCH(int, best);
    QFETCH(QString, message);
    QFETCH(QByteArray, after);
    TestMain t;
    QVERIFY(writeBytes(t.path(QStringLiteral("Quorin.dat")), before));
    t.window->nameCombo()->setEditText(QStringLiteral("たろう"));
    t.state.NoviceBestStreak = qint16(best);
    t.window->ShowNoviceStreakRecord();
    QCOMPARE(t.window->streakLabel(Activity::Novice)->text(), message);
    QCOMPARE(readBytes(t.path(QStringLiteral("Quorin.dat"))), after.isEmpty() ? before : after);
    QVERIFY(t.messages.isEmpty());
}

void TestRecords::fullMarkTakesTheRecord() {
    TestMain t;
    t.window->OpenDataFolder();
    const QByteArray fresh = readBytes(t.path(QStringLiteral("Quorin.dat")));
    t.window->nameCombo()->setEditText(QStringLiteral("たろう"));
    t.window->QuorinIniFinCommand_Click();
    t.state.NoviceFirstAttempt = True;
    t.window->advanceStreakAndSave(Activity::Novice, 20);
    t.state.NoviceFirstAttempt = False;
    t.window->ShowNoviceStreakRecord();
    QCOMPARE(t.state.NoviceBestStreak, qint16(1));
    QCOMPARE(readBytes(t.path(QStringLiteral("Quorin.ini"))),
             file({kHeader, QStringLiteral("たろう;1;0;0;0")}));
    QByteArray expected = fresh;
    expected.replace(expected.indexOf(";0"), 2, sj(QStringLiteral("たろう; 1")));
    QCOMPARE(readBytes(t.path(QStringLiteral("Quorin.dat"))), expected);
    QCOMPARE(t.window->streakLabel(Activity::Novice)->text(),
             longMessage(1, 1, QStringLiteral("たろう"), 1));

    // Another activity's rewrite copies the line with its single blank.
    t.state.ChallengeFirstAttempt = True;
    t.window->advanceStreakAndSave(Activity::Challenge, 81);
    t.window->ShowChallengeStreakRecord();
    QCOMPARE(readBytes(t.path(QStringLiteral("Quorin.dat"))),
             streakFile({QStringLiteral("たろう; 1"), QStringLiteral(";0"), QStringLiteral(";0"),
                         QStringLiteral("たろう; 1")}));
    // 19 of 20 ends the run and keeps the best run and the record.
    t.state.NoviceFirstAttempt = True;
    t.window->advanceStreakAndSave(Activity::Novice, 19);
    t.window->ShowNoviceStreakRecord();
    QCOMPARE(t.window->streakLabel(Activity::Novice)->text(),
             longMessage(0, 1, QStringLiteral("たろう"), 1));
}

void TestRecords::secondGradingOnlyRefreshes() {
    TestMain t;
    QVERIFY(writeBytes(t.path(QStringLiteral("Quorin.dat")),
                       streakFile({QStringLiteral(";0"), QStringLiteral(";0"),
                                   QStringLiteral("はなこ; 4"), QStringLiteral(";0")})));
    t.state.ExpertCurrentStreak = 2;
    t.state.ExpertBestStreak = 3;
    t.state.ExpertFirstAttempt = False;
    t.window->advanceStreakAndSave(Activity::Expert, 20);
    t.window->ShowExpertStreakRecord();
    QCOMPARE(t.state.ExpertCurrentStreak, qint16(2));
    QCOMPARE(t.window->streakLabel(Activity::Expert)->text(),
             longMessage(2, 3, QStringLiteral("はなこ"), 4));
}

void TestRecords::absentRecordFile() {
    TestMain t;
    t.window->nameCombo()->setEditText(QStringLiteral("たろう"));
    t.window->QuorinIniFinCommand_Click();
    t.state.IntermediateFirstAttempt = True;
    t.window->advanceStreakAndSave(Activity::Intermediate, 20);
    t.window->ShowIntermediateStreakRecord();
    QCOMPARE(t.state.IntermediateBestStreak, qint16(1));
    QCOMPARE(t.state.RosterTable[1][2], QStringLiteral("1"));
    QVERIFY(!QFile::exists(t.path(QStringLiteral("Quorin.dat"))));
    for (Activity a : kAllActivities)
        QCOMPARE(t.window->streakLabel(a)->text(),
                 a == Activity::Intermediate ? shortMessage(1, 1) : shortMessage(0, 0));
}

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
