// The rules of the program without widgets: numbers and keys, the shuffle, names, the roster
// and record files, the run step, merging with other copies, and the classroom model's
// sign-in, saves and messages. Every rule is a table of rows.

#include "classroom/answerqueue.h"
#include "classroom/classroom.h"
#include "classroom/factstate.h"
#include "core/challengeclock.h"
#include "core/keys.h"
#include "core/numericvalue.h"
#include "records/cp932.h"
#include "records/datafile.h"
#include "records/datasync.h"
#include "records/ownfile.h"
#include "records/pupilname.h"
#include "records/rosterchanges.h"
#include "records/rostermerge.h"
#include "records/streak.h"
#include "records/streakrecord.h"
#include "testsupport.h"
#include "ui/dialogs/frmoptions.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QSysInfo>
#include <sys/stat.h>
#ifdef Q_OS_WIN
// Windows has no FIFOs and no POSIX links: the rows that plant them are skipped there.
int mkfifo(const char *, int) {
    return -1;
}
int link(const char *, const char *) {
    return -1;
}
#else
#include <unistd.h>
#endif

namespace {

QStringList numbered(int n, const char *format = "p%1;0;0;0;0") {
    QStringList out;
    for (int i = 1; i <= n; ++i)
        out << QString::fromLatin1(format).arg(i);
    return out;
}
// Scripted keys for the shuffle.
struct ScriptedRandom : RandomSource {
    explicit ScriptedRandom(QList<float> k) : keys(std::move(k)) {}
    float next() override { return keys.isEmpty() ? 0.0f : keys[taken++ % keys.size()]; }
    void reseedFromClock() override {}
    QList<float> keys;
    int taken = 0;
};

// A lock file as another computer leaves it, modified `ageSeconds` ago (negative: ahead).
QByteArray encoded(const char *codec, const QStringList &texts) {
    QStringEncoder encoder(codec, QStringConverter::Flag::WriteBom);
    return encoder.encode(texts.join("\r\n") + "\r\n");
}

} // namespace

class TestRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void numbersKeysClock_data();
    void numbersKeysClock();
    void shuffleTies_data();
    void shuffleTies();
    void names_data();
    void names();
    void rosterFile_data();
    void rosterFile();
    void runStep();
    void recordProcedure_data();
    void recordProcedure();
    void merge_data();
    void merge();
    void signIn_data();
    void signIn();
    void fullMarkList_data();
    void fullMarkList();
    void dataFolderChange();
    void damagedFiles_data();
    void damagedFiles();
    void lockedFolderKeepsTheChanges();
    void teachersChangesReachEveryCopy_data();
    void teachersChangesReachEveryCopy();
    void unwritableJournalHoldsTheChange_data();
    void unwritableJournalHoldsTheChange();
    void largeDropWaitsForTheTeacher_data();
    void largeDropWaitsForTheTeacher();
    void restoreAfterAWipe();
    void versionsStayBounded();
    void runFollowsThePupilsName_data();
    void runFollowsThePupilsName();
    void abandonedByOwnClock_data();
    void abandonedByOwnClock();
    void stolenLockCannotLoseAnUpdate();
    void answerLogWriting_data();
    void answerLogWriting();
    void answerLogColumns_data();
    void answerLogColumns();
    void tornSpoolLine();
    void fullSpoolTellsTheLoss();
    void answerLogSpecialFiles_data();
    void answerLogSpecialFiles();
    void answersKeptOverRestart();
    void runsKeptOverRestart_data();
    void runsKeptOverRestart();
    void twoCopiesKeepTheirOwnAnswers();
    void usualFolderAway();
    void factState_data();
    void factState();
    void factIndexReadsOn_data();
    void factIndexReadsOn();
    void weakSet_data();
    void weakSet();
};

// Each row compares what a pure function gives with what it must give.
void TestRules::numbersKeysClock_data() {
    QTest::addColumn<QString>("got");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, auto got, auto expected) {
        QTest::newRow(name) << QVariant(got).toString() << QVariant(expected).toString();
    };
    row("value 9", numericValue(u"9"), 9.0);
    row("value -5", numericValue(u"-5"), -5.0);
    row("value full-width", numericValue(u"　５６"), 56.0);
    row("count stops at the top", saturatingIncrement(32767), 32767);
    qint16 digit = 0;
    IsDigitKey(105, digit);
    row("keypad 9 is a digit", digit, int(True));
    row("Delete edits", isEditingKey(VK::Delete), true);
    row("full-width 9", virtualKeyCode(Qt::Key_unknown, {}, 0, 0, "９"), 57);
#ifdef Q_OS_WIN
    // Windows reports the key's own virtual key (and its scan code 10) with the symbol.
    row("Shift+9 on the main row",
        virtualKeyCode(Qt::Key_ParenLeft, Qt::ShiftModifier, 0x39, 10, "("), 57);
#else
    row("Shift+9 on the main row", virtualKeyCode(Qt::Key_ParenLeft, Qt::ShiftModifier, 0, 18, "("),
        57);
#endif
    row("keypad 9", virtualKeyCode(Qt::Key_9, Qt::KeypadModifier, 0, 0, "9"), 105);
    // One log file per computer: host names that fold alike, and clones with one host name.
    const auto twoLogs = [](const QString &a, const QString &b, const char *idA, const char *idB) {
        return answerLogFileName(a, idA) != answerLogFileName(b, idB) &&
               QDir::match(answerLogFilePattern(), answerLogFileName(a, idA));
    };
    row("log of 教室PC, 職員PC", twoLogs("教室PC", "職員PC", "1", "1"), true);
    row("log of PC-01, pc-01", twoLogs("PC-01", "pc-01", "1", "1"), true);
    row("log of names alike for 60", twoLogs(QString(60, 'k') + 'a', QString(60, 'k'), "", ""),
        true);
    row("log of clones", twoLogs("pc-01", "pc-01", "3f2a", "77c1"), true);
    // Control codes are themselves in code page 932, as Windows reads and writes them: a line
    // nobody reads must not change bytes each time a copy saves the file.
    const QByteArray controls("\x1a\x1c\x7f\x82\xa0");
    row("code page 932 controls read", decodeCp932(controls).value_or("?"), "\x1a\x1c\x7f\u3042");
    row("code page 932 controls written",
        encodeCp932(QString::fromLatin1(controls.left(3)) + u'\u3042').value_or("?"), controls);
    // Quorin.chg as anyone may have written it: what is read of it.
    const auto journal = [](const QStringList &lines) {
        return parseRosterChanges(cp932Lines(QStringList{"Quorin roster changes 1"} + lines))
            .changes;
    };
    row("journal: a count past the last column", journal({"0000000a;lower;た;5;3;0"}).size(), 0);
    row("journal: a change naming nobody", journal({"0000000a;remove;"}).size(), 0);
    QStringList many;
    for (int i = 0; i <= kMaxRosterChanges; ++i)
        many << QStringLiteral("%1;remove;た").arg(i, 8, 16, QLatin1Char('0'));
    row("journal: the newest changes kept", journal(many).first().id, "00000001");
    row("clock 59 s", ClockCaption(59), " 59秒");
    row("clock 1 min", ClockCaption(60), " 1分 0秒");
    row("the root folder's text", optionsFolderText("/"), QDir::toNativeSeparators("/"));
    // The tablet's streak line: words between spaces, the name taken as it is.
    row("pupil's run, none yet", pupilStreakMessage(0, 2, QString(), 0, QStringLiteral("100点")),
        QStringLiteral("つづけて 100点を めざそう！ じぶんの いちばんは 2かい。"));
    row("pupil's run and the class record",
        pupilStreakMessage(3, 5, QStringLiteral("ゆ%1き"), 7, QStringLiteral("まん点")),
        QStringLiteral("いま 3かい つづけて まん点！ じぶんの いちばんは 5かい。 クラスの "
                       "いちばんは ゆ%1きさんの 7かい。"));
}

void TestRules::numbersKeysClock() {
    QFETCH(QString, got);
    QTEST(got, "expected");
}

void TestRules::shuffleTies_data() {
    QTest::addColumn<QList<float>>("keys");
    QTest::addColumn<QList<int>>("order");
    QTest::newRow("descending") << QList<float>{0.2f, 0.9f, 0.5f, 0.1f} << QList<int>{1, 2, 0, 3};
    QTest::newRow("tie to the lower") << QList<float>{0.5f, 0.9f, 0.5f} << QList<int>{1, 0, 2};
    // A drawn key of exactly 0 must not let a taken position be drawn again.
    QTest::newRow("zero keys") << QList<float>{0.0f, 0.4f, 0.0f, 0.4f} << QList<int>{1, 3, 0, 2};
}

void TestRules::shuffleTies() {
    QFETCH(QList<float>, keys);
    ApplicationState s;
    ScriptedRandom random(keys);
    Shuffle(s, int(keys.size()), random);
    QTEST(QList<int>(s.QuestionOrder, s.QuestionOrder + keys.size()), "order");
}

void TestRules::names_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<NameProblem>("problem");
    QTest::addColumn<QString>("stored");
    QTest::newRow("end spaces go, width counts")
        << "　Ｔａ ｒｏ " << NameProblem::None << "Ｔａ ｒｏ";
    // Code page 932's own compatibility kanji, which composition would change.
    QTest::newRow("compatibility kanji") << "\uFA10田" << NameProblem::None << "\uFA10田";
    QTest::newRow("angstrom sign") << "\u212B" << NameProblem::None << "\u212B";
    QTest::newRow("sound mark typed apart") << "か\u3099く" << NameProblem::None << "がく";
    QTest::newRow("separator") << "た;ろう" << NameProblem::Separator << "";
    QTest::newRow("line feed") << "た\nろう" << NameProblem::LineBreak << "";
    QTest::newRow("tab") << "た\tろう" << NameProblem::ControlCharacter << "";
    QTest::newRow("yoshi") << "𠮷田" << NameProblem::NotEncodable << "";
    // Invisible, and code page 932's converter drops it at the start: the roster would file
    // the pupil under たろう.
    QTest::newRow("leading byte-order mark")
        << QStringLiteral("\uFEFFたろう") << NameProblem::NotEncodable << "";
}

void TestRules::names() {
    QFETCH(QString, typed);
    const NameCheck check = checkPupilName(typed);
    QTEST(check.problem, "problem");
    if (check.problem == NameProblem::None)
        QTEST(check.name, "stored");
}

void TestRules::rosterFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("rows");        // rows of the table that are the roster
    QTest::addColumn<QByteArray>("tail"); // kept byte for byte after them

    const QByteArray head = roster({"たろう;1;0;0;0"});
    const QByteArray rest = cp932Lines({"じろう;0;0;0", "はなこ;0;0;0;0"});
    const QByteArray bad = QByteArray("\x82\xff;0;0;0;0\r\n");
    QTest::newRow("header only") << roster({}) << 1 << QByteArray();
    QTest::newRow("short line and five separators")
        << head + rest + cp932Lines({"ゆき;1;2;3;4;メモ"}) << 4 << QByteArray();
    QTest::newRow("not code page 932") << head + bad + rest << 3 << QByteArray();
    QTest::newRow("empty name") << head + cp932Lines({";0;0;0;0"}) + rest << 3 << QByteArray();
    QTest::newRow("LF only") << QByteArray(head + rest).replace("\r\n", "\n") << 3 << QByteArray();
    QTest::newRow("blank last line") << head + "\r\n" << 2 << QByteArray("\r\n");
    QTest::newRow("malformed header") << rest << 2 << QByteArray();
    QTest::newRow("no pupil after a bad header") << bad << 1 << bad;
    const QByteArray beyond = cp932Lines({"p101;0;0;0;0"});
    QTest::newRow("101 pupils: the last one unread")
        << roster(numbered(100)) + beyond << 101 << beyond;
}

void TestRules::rosterFile() {
    QFETCH(QByteArray, bytes);
    ApplicationState s;
    RosterFile file = loadRosterBytes(s, bytes);
    QTEST(file.rows, "rows");
    QTEST(file.tail, "tail");
    // Saved unchanged (LF line ends aside); a file without a usable header gets one in front.
    const QByteArray header = bytes.startsWith(roster({})) ? QByteArray() : roster({});
    if (!bytes.contains("\r\n") && !bytes.isEmpty())
        return;
    QCOMPARE(rosterFileBytes(s, file).value(), header + bytes);
    // Never a roster without its header.
    s.RosterTable[0][0].clear();
    QVERIFY(!rosterFileBytes(s, file));
}

void TestRules::runStep() {
    // A full mark adds to the run and the best run in the activity's own column; a miss ends
    // the run; the counters stop at the top; with nobody signed in no cell is written.
    ApplicationState s;
    s.CurrentPupilRow = 1;
    s.ExpertFirstAttempt = True;
    QVERIFY(AdvanceStreak(s, Activity::Expert, 20));
    QCOMPARE(s.RosterTable[1][3], "1");
    QCOMPARE(s.RosterTable[1][2], QString());
    s.ExpertFirstAttempt = True;
    QVERIFY(!AdvanceStreak(s, Activity::Expert, 19));
    QCOMPARE(s.ExpertCurrentStreak, qint16(0));
    QCOMPARE(s.ExpertBestStreak, qint16(1));
    s.ChallengeFirstAttempt = True;
    s.ChallengeCurrentStreak = s.ChallengeBestStreak = 32767;
    QVERIFY(!AdvanceStreak(s, Activity::Challenge, 81));
    QCOMPARE(s.ChallengeBestStreak, qint16(32767));
    s.CurrentPupilRow = 0;
    s.NoviceFirstAttempt = True;
    QVERIFY(!AdvanceStreak(s, Activity::Novice, 20));
    QCOMPARE(s.RosterTable[0][1], QString());
}

void TestRules::recordProcedure_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("best");
    QTest::addColumn<QString>("holder"); // shown after the procedure; empty: short form
    QTest::addColumn<int>("record");
    QTest::addColumn<QByteArray>("after"); // empty: file unchanged

    const QByteArray fresh = newStreakFileBytes();
    const QStringList others{"じろう;x", ";0", "けん; 1 "};
    const QByteArray held = streakLines(QStringList{"はなこ; 7"} + others);
    const QStringList zeros{";0", ";0", ";0"};
    QTest::newRow("tie keeps the holder") << held << 7 << "はなこ" << 7 << QByteArray();
    QTest::newRow("beaten, others copied")
        << held << 8 << "たろう" << 8 << streakLines(QStringList{"たろう; 8"} + others);
    QTest::newRow("sixth line dropped") << fresh + cp932Lines({"メモ"}) << 1 << "たろう" << 1
                                        << streakLines(QStringList{"たろう; 1"} + zeros);
    QTest::newRow("four lines") << streakLines(zeros) << 5 << QString() << 0 << QByteArray();
    QTest::newRow("line without separator")
        << streakLines(QStringList{"7"} + zeros) << 5 << QString() << 0 << QByteArray();
}

void TestRules::recordProcedure() {
    QFETCH(QByteArray, before);
    QFETCH(int, best);
    QFETCH(QString, holder);
    QFETCH(int, record);
    QFETCH(QByteArray, after);
    Room r(QByteArray(), before);
    r.model->setNameText("たろう");
    r.state.NoviceBestStreak = qint16(best);
    r.model->ShowNoviceStreakRecord();
    QCOMPARE(r.message[0], streakMessage(0, qint16(best), holder, qint16(record)));
    QCOMPARE(r.dat(), after.isEmpty() ? before : after);
    // The file removed meanwhile: nobody is shown as the holder any more.
    QVERIFY(QFile::remove(r.state.streakPath()));
    r.state.NoviceBestStreak = 0;
    r.model->ShowNoviceStreakRecord();
    QCOMPARE(r.message[0], streakMessage(0, 0, QString(), 0));
}

void TestRules::merge_data() {
    QTest::addColumn<QByteArray>("disk");
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArray>("mine");
    QTest::addColumn<QByteArray>("merged");
    QTest::addColumn<QStringList>("refused");

    const QString taro = "たろう;1;1;1;1";
    const QByteArray one = roster({taro});
    QTest::newRow("union, file order first, larger counts")
        << roster({"たろう;5;1;1;1", "はなこ;0;0;0;0"}) << one
        << roster({"たろう;1;3;1;1", "じろう;0;0;0;0"})
        << roster({"たろう;5;3;1;1", "はなこ;0;0;0;0", "じろう;0;0;0;0"}) << QStringList();
    // The teacher's class list here: たろう reset, はなこ renamed, ゆき removed, あいうえお
    // order; another copy raised たろう and added じろう meanwhile.
    const QStringList four{taro, "はなこ;4;0;0;0", "ゆき;1;0;0;0", "あい;0;0;0;0"};
    QTest::newRow("this copy's reset, rename, removal and order")
        << roster(four + QStringList{"じろう;1;0;0;0"}).replace(";1;1;1;1", ";5;1;1;1")
        << roster(four) << roster({"あい;0;0;0;0", "はな子;4;0;0;0", "たろう;0;0;0;0"})
        << roster({"あい;0;0;0;0", "たろう;0;0;0;0", "じろう;1;0;0;0", "はな子;4;0;0;0"})
        << QStringList();
    const QByteArray two = roster({taro, "はなこ;4;0;0;0"});
    QTest::newRow("pupil dropped from the file comes back")
        << one << two << two << two << QStringList();
    // 髙 in the code that code page 932 also has elsewhere, an extra field, an unread part.
    const QByteArray taka = QByteArray("\xEE\xE0\x8B\xB4;1;0;0;0;\x83\x81\x83\x82\r\n");
    const QByteArray odd = one + taka + cp932Lines({"ゆき;0;0;0;0"});
    const QByteArray tail = cp932Lines({"こわれた;行", "z;0;0;0;0"});
    QTest::newRow("untouched lines byte for byte")
        << odd + tail << odd + tail
        << roster({taro, "髙橋;1;0;0;0;メモ", "ゆき;0;2;0;0", "z;0;0;0;0"})
        << one + taka + cp932Lines({"ゆき;0;2;0;0"}) + tail << QStringList();
    // Another copy's pupil pushed p100 past row 100, into the part of the file that is not
    // read: p100, unchanged here, is not written a second time.
    const QByteArray hundred = roster(numbered(100)),
                     pushed = roster(QStringList{"よそ;0;0;0;0"} + numbered(100));
    QTest::newRow("unread part") << pushed << hundred << hundred << pushed << QStringList();
    const QByteArray fileOf99 = roster(numbered(98) + QStringList{"よそ;0;0;0;0"});
    // Blank lines before the header are written after it: a CR alone there stays a line of
    // its own and does not join the LF line that follows the header.
    const QByteArray blankFirst = "\r" + roster({}) + "\n" + cp932Lines({taro});
    QTest::newRow("blank lines around the header all kept")
        << blankFirst << blankFirst << one << roster({}) + "\r\n\n" + cp932Lines({taro})
        << QStringList();
    QTest::newRow("99 rows: new pupil refused, nobody dropped")
        << fileOf99 << roster(numbered(98)) << roster(numbered(98) + QStringList{"new;1;0;0;0"})
        << fileOf99 << QStringList{"new"};
}

void TestRules::merge() {
    QFETCH(QByteArray, disk);
    QFETCH(QByteArray, base);
    QFETCH(QByteArray, mine);
    QFETCH(QByteArray, merged);
    const RosterMerge result = mergeRoster(disk, base, mine);
    QCOMPARE(result.bytes, merged);
    QTEST(result.refused, "refused");
    QCOMPARE(mergeRoster(result.bytes, base, mine).bytes, merged); // merging again: no change
}

void TestRules::signIn_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("typed"); // confirmed one after the other
    QTest::addColumn<int>("row");           // of the last; 0: not signed in
    QTest::addColumn<QByteArray>("saved");  // the roster afterwards
    QTest::addColumn<QString>("message");   // the sign-in page's message for the last

    const QByteArray three = roster({"たろう;0;0;0;0", "はなこ;2;0;5;1", "Taro;1;1;1;1"});
    QTest::newRow("first pupil in an empty folder")
        << QByteArray() << QStringList{"さくら"} << 1 << roster({"さくら;0;0;0;0"}) << "";
    QTest::newRow("listed") << three << QStringList{"はなこ"} << 2 << three << "";
    QTest::newRow("new, confirmed twice") << three << QStringList{"じろう", "じろう"} << 4
                                          << three + cp932Lines({"じろう;0;0;0;0"}) << "";
    QTest::newRow("case and width make another pupil, end spaces do not")
        << three << QStringList{"taro", "Ｔａｒｏ", "　Taro "} << 3
        << three + cp932Lines({"taro;0;0;0;0", "Ｔａｒｏ;0;0;0;0"}) << "";
    QTest::newRow("spaces alone sign out")
        << three << QStringList{"はなこ", " 　"} << 0 << three << "";
    // A class list typed as names alone, and a file whose header was lost: every line a
    // pupil, listed once, written back whole under the header.
    QTest::newRow("names alone") << cp932Lines({"たろう", "はなこ"})
                                 << QStringList{"はなこ", "さくら"} << 3
                                 << roster({"たろう;0;0;0;0", "はなこ;0;0;0;0", "さくら;0;0;0;0"})
                                 << "";
    QTest::newRow("no header line")
        << cp932Lines({"たろう;1;0;0;0"}) << QStringList{"たろう", "じろう", "ゆき"} << 3
        << roster({"たろう;1;0;0;0", "じろう;0;0;0;0", "ゆき;0;0;0;0"}) << "";
    QTest::newRow("refused name") << three << QStringList{"たろう", "はな🌸"} << 0 << three
                                  << nameProblemMessage(checkPupilName("はな🌸"));
    QTest::newRow("the 99th pupil") << roster(numbered(98)) << QStringList{"new"} << 99
                                    << roster(numbered(98) + QStringList{"new;0;0;0;0"}) << "";
    QTest::newRow("roster full") << roster(numbered(99)) << QStringList{"new"} << 0
                                 << roster(numbered(99)) << rosterFullMessage();
    QTest::newRow("the 100th pupil listed")
        << roster(numbered(100)) << QStringList{"p100"} << 100 << roster(numbered(100)) << "";
}

void TestRules::signIn() {
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, typed);
    QFETCH(int, row);
    QFETCH(QByteArray, saved);
    Room r(ini);
    SignInOutcome outcome;
    for (const QString &name : typed)
        outcome = r.signIn(name);
    QCOMPARE(outcome.kind == SignInOutcome::SignedIn, row != 0);
    QTEST(outcome.message, "message");
    if (row)
        QCOMPARE(r.state.CurrentPupilRow, qint16(row));
    QCOMPARE(r.ini(), saved);
    QVERIFY(r.told.isEmpty());
    // The signed-in pupil's runs land in the pupil's own line.
    if (row == 2) {
        QCOMPARE(r.state.ExpertBestStreak, qint16(5));
        r.state.NoviceCurrentStreak = 2;
        r.grade(Activity::Novice);
        QCOMPARE(r.ini(), QByteArray(saved).replace(";2;0;5;1", ";3;0;5;1"));
    }
}

void TestRules::fullMarkList_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QStringList>("names");
    const QByteArray some =
        roster({"あ;1;0;0;0", "い;0;0;0;2回", "う;5;5;5;5", ";1;0;0;0", "え;1;0", "お;1;0;0;0"});
    QTest::newRow("Novice, past lines that are no pupil's")
        << some << 2 << QStringList{"あ", "う", "お"};
    QTest::newRow("Challenge") << some << 5 << QStringList{"い", "う"};
    QTest::newRow("sign-in tab") << some << 0 << QStringList();
    QTest::newRow("a full table, 100 pupils")
        << roster(numbered(101, "p%1;1;0;0;0")) << 2
        << numbered(100, "p%1;1;0;0;0").replaceInStrings(";1;0;0;0", "");
}

void TestRules::fullMarkList() {
    QFETCH(QByteArray, ini);
    QFETCH(int, tab);
    Room r(ini);
    QTEST(r.model->fullMarkNames(tab), "names");
}

void TestRules::dataFolderChange() {
    // Another folder: nobody is signed in any more, both files are made, and the fresh record
    // file makes the pupil in the name box the holder of every activity with a best run.
    Room r(roster({"たろう;2;0;3;1"}));
    r.signIn("たろう");
    QTemporaryDir other;
    for (const char *file : {"Quorin.ini", "Quorin.dat"}) { // a folder where either is unreadable
        QTemporaryDir unusable;
        QVERIFY(QDir(unusable.path()).mkdir(file));
        QVERIFY(!r.model->useDataFolder(unusable.path()).isEmpty());
    }
    QCOMPARE(r.state.CurrentPupilRow, qint16(1));
    QVERIFY(r.model->useDataFolder(other.path()).isEmpty());
    r.model->OpenDataFolder(); // as the window does when the dialog has closed
    QCOMPARE(r.state.DataFolder, QDir::toNativeSeparators(other.path()));
    QCOMPARE(r.state.CurrentPupilRow, qint16(0));
    QCOMPARE(r.ini(), newRosterFileBytes());
    QCOMPARE(r.dat(), streakLines({"たろう; 2", ";0", "たろう; 3", "たろう; 1"}));
    QCOMPARE(r.message[2], streakMessage(0, 3, "たろう", 3));
    QVERIFY(r.told.isEmpty());
#ifdef Q_OS_UNIX
    // The folder kept for every start, with a FIFO in the settings file's place: nothing
    // waits on it (a wait would hang the test until CTest's time-out), nothing replaces it.
    const QString settings =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/" +
        applicationTitle() + ".conf";
    QVERIFY(QDir().mkpath(QFileInfo(settings).path()));
    QFile::remove(settings);
    QCOMPARE(::mkfifo(QFile::encodeName(settings).constData(), 0644), 0);
    rememberDataFolder(other.path());
    QCOMPARE(rememberedDataFolder(), other.path());
    QVERIFY(!QFileInfo(settings).isFile() && QFile::remove(settings));
#endif
}

void TestRules::lockedFolderKeepsTheChanges() {
    // Another computer holds the folder: the new pupils sign in and work; the record line
    // (never a box, a pupil would see it) says in a child's words that the records are saved
    // later, and the teacher which computer; the changes wait, and are written when the lock
    // is gone. A tie among the waiting runs keeps the earlier holder.
    Room r(roster({"たろう;0;0;0;0"}), newStreakFileBytes());
    r.model->folderSync().setOptions(lockWait(0));
    foreignLock(r.state.rosterPath(), 0);
    QCOMPARE(r.signIn("じろう").kind, SignInOutcome::SignedIn);
    QVERIFY(r.told.isEmpty());
    QVERIFY2(r.status.startsWith("きろくは　あとで　ほぞんします。") &&
                 r.status.contains("「shokuinshitsu-pc」") && r.status.contains("4242"),
             qPrintable(r.status));
    r.grade(Activity::Novice);
    r.signIn("さくら");
    r.grade(Activity::Novice);
    QCOMPARE(r.ini(), roster({"たろう;0;0;0;0"}));
    // Another copy fills the roster meanwhile. At さくら's next save her line finds no row;
    // she is the pupil in the name box: no box, her run waits and the record line says so.
    QVERIFY(QFile::remove(dataFolderLockPath(r.state.rosterPath())));
    writeBytes(r.state.rosterPath(), roster(QStringList{"たろう;0;0;0;0"} + numbered(97)));
    r.grade(Activity::Intermediate);
    QCOMPARE(r.ini(),
             roster(QStringList{"たろう;0;0;0;0"} + numbered(97) + QStringList{"じろう;1;0;0;0"}));
    QCOMPARE(r.dat(), streakLines({"じろう; 1", "さくら; 1", ";0", ";0"}));
    QVERIFY(r.told.isEmpty() && r.status.contains("「さくら」さんは名簿にない"));
    // Held again after all was written: told again. At the end the teacher hears what still
    // waits; a kept change that then cannot be written at all is told as lost.
    Room k(roster({"たろう;0;0;0;0"}), newStreakFileBytes());
    k.model->folderSync().setOptions(lockWait(0));
    const QString ini = k.state.rosterPath(), lock = dataFolderLockPath(ini);
    foreignLock(ini, 0);
    k.signIn("じろう");
    QVERIFY(QFile::remove(lock));
    k.grade(Activity::Novice);
    QVERIFY(k.status.isEmpty());
    foreignLock(ini, 0);
    k.grade(Activity::Novice);
    QVERIFY(k.status.contains("4242"));
    k.model->saveKeptChanges(); // as when the program ends
    QVERIFY(QFile::remove(lock));
    SaveFaultForTesting fault(0, "Quorin.ini");
    k.grade(Activity::Novice); // the run itself is kept on this computer, without a box
    QCOMPARE(k.told.size(), 2);
    QVERIFY(k.told[0].contains("まだ保存") && k.told[1].contains("前に保存できなかった"));
}

void TestRules::teachersChangesReachEveryCopy_data() {
    QTest::addColumn<bool>("inEditor");
    QTest::addColumn<bool>("written"); // this copy wrote the roster before the change
    QTest::newRow("class list on another computer") << false << true;
    QTest::newRow("text editor") << true << true;
    QTest::newRow("text editor, roster never written by the program") << true << false;
}

void TestRules::teachersChangesReachEveryCopy() {
    // Two copies hold the class. The teacher removes ゆき, renames はなこ, resets たろう's
    // first run and puts あい first — in the class list of the other copy, or in an editor —
    // while this copy raises さくら's run and adds じろう from what it read before. The
    // teacher's changes stay, and so does every run this copy raised.
    QFETCH(bool, inEditor);
    QFETCH(bool, written);
    const QStringList before{"たろう;5;1;1;1", "はなこ;4;0;0;0", "ゆき;1;0;0;0", "さくら;0;0;0;0",
                             "あい;0;0;0;0"};
    Room here(roster(before), newStreakFileBytes());
    Room there(here.dir.path());
    QCOMPARE(here.signIn("さくら").kind, SignInOutcome::SignedIn);
    if (written)
        here.grade(Activity::Novice);
    if (inEditor) {
        writeBytes(here.state.rosterPath(),
                   roster({"あい;0;0;0;0", "たろう;0;1;1;1",
                           written ? "さくら;1;0;0;0" : "さくら;0;0;0;0", "はな子;4;0;0;0"}));
    } else {
        QList<RosterRow> list;
        for (const char *line :
             {"あい;0;0;0;0", "たろう;0;1;1;1", "さくら;0;0;0;0", "はな子;4;0;0;0"}) {
            const QStringList cells = QString::fromUtf8(line).split(u';');
            list.append({cells[0], cells[1], cells[2], cells[3], cells[4]});
        }
        QVERIFY(there.model->setClassList(list, {{"はなこ", "はな子"}}).isEmpty());
    }
    here.grade(Activity::Novice);
    QCOMPARE(here.signIn("じろう").kind, SignInOutcome::SignedIn);
    here.grade(Activity::Novice);
    const QByteArray expected =
        roster({"あい;0;0;0;0", "たろう;0;1;1;1", written ? "さくら;2;0;0;0" : "さくら;1;0;0;0",
                "はな子;4;0;0;0", "じろう;1;0;0;0"});
    QCOMPARE(here.ini(), expected);
    QCOMPARE(here.names, (QStringList{"あい", "たろう", "さくら", "はな子", "じろう"}));
    // The other copy, which made or never saw the change, writes nothing of the old list back.
    there.signIn("あい");
    there.grade(Activity::Expert);
    QCOMPARE(here.ini(), QByteArray(expected).replace(";0;0;0;0\r\n", ";0;0;1;0\r\n"));
}

void TestRules::unwritableJournalHoldsTheChange_data() {
    QTest::addColumn<QString>("journal"); // what stands at Quorin.chg
    for (const char *kind : {"folder", "fifo", "17 MiB"})
        QTest::newRow(kind) << kind;
}

void TestRules::unwritableJournalHoldsTheChange() {
    // The teacher removes ゆき, but the file that tells the other copies cannot be written: the
    // class list says it is not done, and the removal waits; once the file can be written, both
    // the roster and the file have it.
    QFETCH(QString, journal);
    const QStringList pupils{"たろう;0;0;0;0", "ゆき;1;0;0;0"};
    Room r(roster(pupils), newStreakFileBytes());
    const QString chg = rosterChangesPath(r.state.rosterPath());
    if (journal == "folder")
        QVERIFY(QDir().mkdir(chg));
    else if (journal == "fifo" && ::mkfifo(chg.toLocal8Bit().constData(), 0644) != 0)
        QSKIP("no FIFOs here");
    else if (journal == "17 MiB")
        QVERIFY(writeBytes(chg, QByteArray(17 << 20, '\n')));
    QList<RosterRow> list = r.model->classList();
    list.removeLast();
    QVERIFY2(r.model->setClassList(list).contains("Quorin.chg"), qPrintable(r.status));
    QCOMPARE(r.ini(), roster(pupils));
    QVERIFY2(r.status.contains("Quorin.chg"), qPrintable(r.status));
    QVERIFY(journal == "folder" ? QDir(chg).removeRecursively() : QFile::remove(chg));
    r.model->setRetryInterval(10);
    QTRY_COMPARE(r.ini(), roster(pupils.mid(0, 1)));
    QVERIFY(readBytes(chg).contains(";remove;"));
}

void TestRules::largeDropWaitsForTheTeacher_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("take"); // the teacher's answer
    QTest::newRow("roster emptied in an editor, class kept") << "emptied" << false;
    QTest::newRow("roster emptied in an editor, taken") << "emptied" << true;
    QTest::newRow("forged removals in Quorin.chg, class kept") << "forged" << false;
    QTest::newRow("two of four with runs removed: no question") << "two" << false;
}

void TestRules::largeDropWaitsForTheTeacher() {
    // While this copy holds four pupils with runs, most of them leave the roster by somebody
    // else's hand. Nothing is written until the teacher answers, and the run あい raises
    // meanwhile (to 2) is kept; the answer then decides which roster the file holds.
    QFETCH(QString, change);
    QFETCH(bool, take);
    const QStringList pupils{"たろう;5;1;0;0", "はなこ;4;0;0;0", "ゆき;1;0;0;2", "あい;1;0;0;0"};
    Room r(roster(pupils), newStreakFileBytes());
    QCOMPARE(r.signIn("あい").kind, SignInOutcome::SignedIn);
    r.grade(Activity::Novice);
    QByteArray wiped;
    if (change == "emptied") {
        wiped = roster({"あい;1;0;0;0"});
        writeBytes(r.state.rosterPath(), wiped);
    } else if (change == "forged") {
        QByteArray lines = "Quorin roster changes 1\r\n";
        int n = 0;
        for (const char *name : {"たろう", "はなこ", "ゆき"})
            lines += "0123456789abcde" + QByteArray::number(++n) + ";remove;" + cp932Lines({name});
        writeBytes(rosterChangesPath(r.state.rosterPath()), lines);
        wiped = r.ini();
    } else {
        writeBytes(r.state.rosterPath(), roster({"ゆき;1;0;0;2", "あい;1;0;0;0"}));
    }
    r.grade(Activity::Novice);
    if (change == "two") {
        QVERIFY(!r.model->heldRosterDrop());
        QCOMPARE(r.ini(), roster({"ゆき;1;0;0;2", "あい;2;0;0;0"}));
        return;
    }
    QVERIFY(r.model->heldRosterDrop());
    QCOMPARE(r.model->heldRosterDrop()->withRuns, 4);
    QCOMPARE(r.model->heldRosterDrop()->left, 1);
    QCOMPARE(r.ini(), wiped);
    QVERIFY2(r.status.contains("クラスの名簿"), qPrintable(r.status));
    r.model->decideRosterDrop(take);
    QVERIFY(!r.model->heldRosterDrop());
    // Kept: every pupil back (after those the file holds, when it was edited).
    const QStringList others{"たろう;5;1;0;0", "はなこ;4;0;0;0", "ゆき;1;0;0;2"};
    QCOMPARE(r.ini(), take                 ? roster({"あい;2;0;0;0"})
                      : change == "forged" ? roster(others + QStringList{"あい;2;0;0;0"})
                                           : roster(QStringList{"あい;2;0;0;0"} + others));
    r.grade(Activity::Novice); // and the next save asks nothing again
    QVERIFY(!r.model->heldRosterDrop());
}

void TestRules::restoreAfterAWipe() {
    // The class list is cut down to one pupil; after it, あい earns a run and うみ joins.
    // The teacher takes the class list back to the version kept before the wipe: every pupil
    // is back with the runs of then, あい keeps the run earned since, うみ stays, and a copy
    // started later writes none of it away.
    const QStringList pupils{"たろう;5;1;0;0", "はなこ;4;0;0;0", "ゆき;1;0;0;2", "あい;0;0;0;0"};
    Room r(roster(pupils), newStreakFileBytes());
    QCOMPARE(r.signIn("あい").kind, SignInOutcome::SignedIn);
    QList<RosterRow> one = r.model->classList();
    one.remove(0, 3);
    QVERIFY(r.model->setClassList(one).isEmpty());
    QCOMPARE(r.signIn("あい").kind, SignInOutcome::SignedIn);
    r.grade(Activity::Novice);
    QCOMPARE(r.signIn("うみ").kind, SignInOutcome::SignedIn);
    QCOMPARE(r.ini(), roster({"あい;1;0;0;0", "うみ;0;0;0;0"}));

    const QList<RosterVersion> versions = r.model->rosterVersions();
    const auto whole = std::find_if(versions.begin(), versions.end(),
                                    [](const RosterVersion &v) { return v.pupils == 4; });
    QVERIFY(whole != versions.end());
    QCOMPARE(whole->withRuns, 3);
    QCOMPARE(versions.first().pupils, 2); // the newest is the roster as it is
    QVERIFY(r.model->restoreRosterVersion(whole->fileName).isEmpty());
    const QByteArray back = roster(
        {"たろう;5;1;0;0", "はなこ;4;0;0;0", "ゆき;1;0;0;2", "あい;1;0;0;0", "うみ;0;0;0;0"});
    QCOMPARE(r.ini(), back);

    Room later(r.dir.path());
    QCOMPARE(later.signIn("うみ").kind, SignInOutcome::SignedIn);
    later.grade(Activity::Novice);
    QCOMPARE(r.ini(), roster({"たろう;5;1;0;0", "はなこ;4;0;0;0", "ゆき;1;0;0;2", "あい;1;0;0;0",
                              "うみ;1;0;0;0"}));
}

void TestRules::versionsStayBounded() {
    // One version per change, never the same roster twice in a row; versions older than the
    // days kept go; a roster swollen past any class is not kept.
    QTemporaryDir dir;
    RosterVersions versions(dir.path() + "/v");
    const QDateTime start(QDate(2026, 9, 1), QTime(8, 30));
    QVERIFY(versions.keep(roster({"たろう;0;0;0;0"}), start));
    QVERIFY(versions.keep(roster({"たろう;0;0;0;0"}), start.addSecs(60)));
    QVERIFY(versions.keep(roster({"たろう;1;0;0;0"}), start.addSecs(120)));
    QCOMPARE(versions.versions().size(), 2);
    QVERIFY(versions.keep(roster({"たろう;2;0;0;0"}), start.addDays(kVersionDays + 1)));
    QCOMPARE(versions.versions().size(), 1);
    QVERIFY(versions.keep(QByteArray(kVersionBytes, 'x'), start.addDays(kVersionDays + 2)));
    const QList<RosterVersion> left = versions.versions();
    QCOMPARE(left.size(), 1);
    QCOMPARE(versions.read(left.first().fileName), roster({"たろう;2;0;0;0"}));
    QVERIFY(!versions.read("../Quorin.ini"));
}

void TestRules::runFollowsThePupilsName_data() {
    QTest::addColumn<QString>("change");  // made by the teacher on the other computer
    QTest::addColumn<bool>("list");       // the full-mark list opened here afterwards
    QTest::addColumn<bool>("closedList"); // new names refused at sign-in
    QTest::addColumn<QStringList>("after");
    const QStringList reordered{"うめこ;1;0;0;0", "いちろう;0;0;0;0", "あきら;0;0;0;0"},
        readded{"あきら;0;0;0;0", "いちろう;0;0;0;0", "うめこ;1;0;0;0"};
    QTest::newRow("reordered, list opened") << "order" << true << false << reordered;
    QTest::newRow("reordered, no list") << "order" << false << false << reordered;
    QTest::newRow("removed, list opened: added back with the run")
        << "remove" << true << false << readded;
    QTest::newRow("removed, no list") << "remove" << false << false << readded;
    QTest::newRow("removed from a closed class list: kept, the teacher told")
        << "remove" << true << true << readded.mid(0, 2);
}

void TestRules::runFollowsThePupilsName() {
    // うめこ signs in here (row 3; row 2 when she is removed). On the other computer the teacher
    // reorders the class list, or removes her with the run of 2 she had. Her next full mark goes
    // into her own line, never into the line that now has row 3.
    QFETCH(QString, change);
    QFETCH(bool, list);
    QFETCH(bool, closedList);
    QFETCH(QStringList, after);
    const bool order = change == "order"; // removed: she is in row 2, between the others
    Room here(order ? roster({"あきら;0;0;0;0", "いちろう;0;0;0;0", "うめこ;0;0;0;0"})
                    : roster({"あきら;0;0;0;0", "うめこ;2;0;0;0", "いちろう;0;0;0;0"}),
              newStreakFileBytes());
    here.model->setClosedClassList(closedList);
    Room there(here.dir.path());
    QCOMPARE(here.signIn("うめこ").kind, SignInOutcome::SignedIn);
    QCOMPARE(here.state.CurrentPupilRow, qint16(order ? 3 : 2));
    QList<RosterRow> pupils = there.model->classList();
    if (order)
        std::reverse(pupils.begin(), pupils.end());
    else
        pupils.removeAt(1);
    QVERIFY(there.model->setClassList(pupils).isEmpty());
    if (list) {
        here.model->rereadRoster();
        QCOMPARE(here.model->fullMarkNames(2), QStringList());
    }
    here.grade(Activity::Novice);
    QCOMPARE(here.ini(), roster(after));
    QCOMPARE(here.told, QStringList());
    // A run that waits on this computer is told to the teacher on the record line. Once the
    // teacher puts うめこ back on the class list, the run is written into her line.
    QCOMPARE(here.status.contains("「うめこ」さんは名簿にない"), closedList);
    if (!closedList)
        return;
    pupils.append({"うめこ", "0", "0", "0", "0"});
    QVERIFY(there.model->setClassList(pupils).isEmpty());
    here.model->rereadRoster();
    QCOMPARE(here.ini(), roster(after + QStringList{"うめこ;1;0;0;0"}));
    QVERIFY(here.status.isEmpty());
}

void TestRules::abandonedByOwnClock_data() {
    // What another copy left at the lock's name or as a save copy, how long this copy's own
    // steady clock runs between two saves, and whether the second save took it for abandoned.
    QTest::addColumn<QString>("placed");
    QTest::addColumn<int>("waitedMs");
    QTest::addColumn<int>("status"); // of the second save
    QTest::addColumn<bool>("gone");  // the placed thing removed by it
    const int saved = int(SyncStatus::Saved), busy = int(SyncStatus::Busy);
    QTest::newRow("lock of a clock 2 min ahead") << "lock +120" << 1000 << busy << false;
    QTest::newRow("lock of a clock 10 min behind") << "lock -600" << 1000 << busy << false;
    QTest::newRow("lock left unchanged 20 s") << "lock +120" << 20000 << saved << true;
    QTest::newRow("lock rewritten meanwhile") << "lock rewritten" << 20000 << busy << false;
    QTest::newRow("lock of an ended process here") << "own dead lock" << 0 << saved << true;
    // A computer cloned from this one's disk image: same host name and machine id, its own
    // boot; its process numbers mean nothing here.
    QTest::newRow("lock of a cloned computer") << "clone lock" << 0 << busy << false;
    QTest::newRow("dangling link at the lock") << "dangling" << 1000 << busy << false;
    QTest::newRow("dangling link left 20 s") << "dangling" << 20000 << saved << true;
    QTest::newRow("link to the user's file left 20 s") << "link" << 20000 << saved << true;
    QTest::newRow("FIFO at the lock left 20 s") << "fifo" << 20000 << saved << true;
    QTest::newRow("folder at the lock") << "folder" << 20000 << int(SyncStatus::Failed) << false;
    QTest::newRow("save copy 10 min old") << "copy -600" << 1000 << saved << false;
    QTest::newRow("save copy 10 min ahead, left 60 s") << "copy +600" << 60000 << saved << true;
    QTest::newRow("teacher's backup left 60 s") << "backup" << 60000 << saved << false;
}

void TestRules::abandonedByOwnClock() {
    QFETCH(QString, placed);
    QFETCH(int, waitedMs);
    QFETCH(int, status);
    QFETCH(bool, gone);
    QTemporaryDir dir, home;
    const QString ini = dir.filePath("Quorin.ini");
    const QString lock = dataFolderLockPath(ini);
    const QString userFile = home.filePath(".bashrc");
    QVERIFY(writeBytes(ini, roster({})) && writeBytes(userFile, "alias ls=ls\n"));
    const QString kind = placed.section(' ', 0, 0);
    const int offset = placed.section(' ', 1).toInt();
#ifndef Q_OS_UNIX
    if (kind == "dangling" || kind == "link" || kind == "fifo")
        QSKIP("FIFOs and symbolic links in a folder are Unix's");
#endif
    QString thing = lock;
    if (kind == "lock") {
        foreignLock(ini, -offset);
    } else if (kind == "own" || kind == "clone") {
        writeBytes(lock, "999999999\nquorin\n" + QSysInfo::machineHostName().toUtf8() + "\n" +
                             QSysInfo::machineUniqueId() + "\n" +
                             (kind == "own" ? QSysInfo::bootUniqueId() : "another-boot") + "\n");
    } else if (kind == "dangling" || kind == "link") {
        QVERIFY(QFile::link(kind == "link" ? userFile : dir.filePath("nowhere"), lock));
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(lock).constData(), 0644), 0);
    } else if (kind == "folder") {
        QVERIFY(QDir(dir.path()).mkdir("Quorin.lock"));
    } else {
        thing = dir.filePath(kind == "backup" ? "Quorin.ini.backup" : "Quorin.ini.aB3xYz");
        QVERIFY(writeBytes(thing, roster({})));
        QFile file(thing);
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(QDateTime::currentDateTime().addSecs(offset),
                                 QFileDevice::FileModificationTime));
    }
    qint64 now = 0;
    StaleWatch watch;
    SyncOptions options = lockWait(0);
    options.stale.steadyMs = [&now] { return now; };
    options.stale.watch = &watch;
    int round = 0;
    const auto merge = [&round](const std::optional<QByteArray> &) {
        return std::optional(roster({QStringLiteral("p%1;0;0;0;0").arg(round)}));
    };
    saveMerged(ini, merge, options);
    if (placed == "lock rewritten")
        writeBytes(lock, "4242\nquorin\nshokuinshitsu-pc\n\n\nanother\n");
    now += waitedMs;
    ++round;
    const SyncResult second = saveMerged(ini, merge, options);
    QCOMPARE(int(second.status), status);
    if (kind == "dangling" && !gone) // the teacher reads what is in the way
        QVERIFY2(second.reason.contains("「Quorin.lock」はリンク"), qPrintable(second.reason));
    QCOMPARE(!checkOwnPath(thing).exists, gone);
    QCOMPARE(readBytes(userFile), QByteArray("alias ls=ls\n")); // never written through
    if (status == int(SyncStatus::Saved)) // the lock is released after the save
        QVERIFY(!checkOwnPath(lock).exists);
}

void TestRules::stolenLockCannotLoseAnUpdate() {
    // A lock taken over while its holder still writes (it hung long enough to look
    // abandoned): that write lands between this copy's merge and its rename; the content
    // check notices and the merge runs again.
    QTemporaryDir dir;
    const QString ini = dir.filePath("Quorin.ini");
    const QByteArray base = roster({"たろう;0;0;0;0"});
    writeBytes(ini, base);
    foreignLock(ini, 0);
    int merges = 0;
    const auto merge = [&](const std::optional<QByteArray> &onDisk) {
        if (merges++ == 0) { // the holder writes, and a third copy takes the lock over
            writeBytes(ini, roster({"たろう;0;0;0;0", "よそ;3;0;0;0"}));
            writeBytes(dataFolderLockPath(ini), "4243\nquorin\nrouka-pc\n\n\nthird\n");
        }
        return std::optional(mergeRoster(onDisk.value(), base, roster({"たろう;0;2;0;0"})).bytes);
    };
    SyncOptions options = lockWait(0);
    options.stale.staleAfterMs = 0;
    QCOMPARE(saveMerged(ini, merge, options).status, SyncStatus::Busy); // seen first
    QCOMPARE(saveMerged(ini, merge, options).status, SyncStatus::Saved);
    QCOMPARE(readDataFile(ini).value_or(""), roster({"たろう;0;2;0;0", "よそ;3;0;0;0"}));
    QVERIFY(checkOwnPath(dataFolderLockPath(ini)).exists); // the third copy's lock is left alone
    // A file another copy made between a look and the lock is not replaced by a fresh one.
    QVERIFY(QFile::remove(dataFolderLockPath(ini)));
    QCOMPARE(FolderSync().createIfMissing(ini, roster({})).status, SyncStatus::Unchanged);
}

void TestRules::damagedFiles_data() {
    QTest::addColumn<QByteArray>("ini");     // the roster as the teacher or an editor left it
    QTest::addColumn<QString>("twist");      // what else is odd in the folder
    QTest::addColumn<QStringList>("listed"); // names offered after start-up
    QTest::addColumn<QByteArray>("saved");   // the roster after はなこ's two full marks
    QTest::addColumn<bool>("recorded");      // the record file names はなこ with 2 afterwards
    QTest::addColumn<int>("boxes");          // message boxes shown
    QTest::addColumn<QString>("told");       // in a box or the sign-in page's record line

    const QString taro = "たろう;0;0;0;0", hana = "はなこ;0;0;0;0", hana2 = "はなこ;2;0;0;0";
    const QStringList both{"たろう", "はなこ"};
    const QByteArray top = roster({taro});
    const QByteArray end = cp932Lines({hana});
    const QByteArray end2 = cp932Lines({hana2});
    const QByteArray plain = top + end, plain2 = top + end2;
    const QStringList text{kRosterHeader, taro, hana};
    const auto row = [](const char *name) { return &QTest::newRow(name); };
    // A bad line hides nobody after it and stays where it was.
    for (const QByteArray &bad :
         {QByteArray("\r\n"), cp932Lines({"じろう;0;0"}), QByteArray("\x82\xff;0;0;0;0\r\n"),
          QByteArray(1 << 20, 'x') + "\r\n"})
        *row(bad.size() > 1000 ? "1 MB line" : qPrintable("bad line " + bad.toHex().left(12)))
            << top + bad + end << "" << both << top + bad + end2 << true << 0 << "";
    // Another encoding: read, and written in code page 932 at the next save.
    *row("UTF-8") << text.join("\r\n").toUtf8() + "\r\n"
                  << "" << both << plain2 << true << 0 << "";
    *row("UTF-8, BOM") << encoded("UTF-8", text) << "" << both << plain2 << true << 0 << "";
    *row("UTF-16, BOM") << encoded("UTF-16LE", text) << "" << both << plain2 << true << 0 << "";
    const QString yoshi = "𠮷田;3;0;0;0";
    *row("UTF-8, name outside code page 932")
        << encoded("UTF-8", {kRosterHeader, taro, yoshi, hana}) << "" << both
        << top + yoshi.toUtf8() + "\r\n" + end2 << true << 1 << "𠮷田";
    // A roster that is there but cannot be read: the pupil practises, and the page says that
    // the pupil's runs are not kept (the class record still is). A read that blocked on a
    // FIFO would hang the test until CTest's time-out fails it.
    // A link in the roster's place (to a file of the user's) is neither read nor written
    // through: the file it leads to stays as it was.
    for (const char *twist : {"unreadable", "folder", "fifo", "link"})
        *row(twist) << plain << twist << QStringList() << plain << true << 0 << "Quorin.ini";
    *row("record file a FIFO") << plain << "fifo dat" << both << plain2 << false << 0
                               << "Quorin.dat";
    *row("record file a link") << plain << "link dat" << both << plain2 << false << 0
                               << "「Quorin.dat」はリンク";
    // The roster and the record file deleted from the folder (the same folder on disk): both
    // are written again from memory, with はなこ's runs.
    *row("files deleted") << plain << "emptied" << both << plain2 << true << 0 << "";
    // A roster read and then gone with its folder (a share dropped to its bare mount point,
    // the folder removed): nothing is written there; the record line tells, the records wait.
    *row("another folder in its place")
        << plain << "replaced" << both << plain << false << 0 << "読んだときのフォルダーではなく";
    // An emptied roster then removed is written afresh: the folder is not taken for gone.
    *row("empty roster removed") << QByteArray() << "emptied" << QStringList() << roster({hana2})
                                 << true << 0 << "";
    *row("no record file") << plain << "no dat" << both << plain2 << true << 0 << "";
    // Failing saves of a pupil's run bring no box: the record line tells, the run is kept on
    // this computer (and the class record, which the record file takes, is written).
    *row("record file not writable")
        << plain << "dat fails" << both << plain2 << false << 0 << "Quorin.dat";
    *row("roster not writable") << plain << "ini fails" << both << plain << true << 0
                                << "Quorin.ini";
    *row("folder removed") << plain << "folder removed" << both << QByteArray() << false << 0
                           << "フォルダーが見つかりません";
    *row("folder named Quorin.lock")
        << plain << "lock folder" << both << plain << false << 0 << "Quorin.lock";
}

void TestRules::damagedFiles() {
    QFETCH(QByteArray, ini);
    QFETCH(QString, twist);
    QFETCH(QByteArray, saved);
    QFETCH(bool, recorded);
    QFETCH(int, boxes);
    QFETCH(QString, told);
#ifndef Q_OS_UNIX
    if (twist.startsWith("fifo") || twist.startsWith("link"))
        QSKIP("FIFOs and symbolic links in a folder are Unix's");
#endif
    Room r(QByteArray(), QByteArray(), false);
    const QString iniPath = r.state.rosterPath(), datPath = r.state.streakPath();
    std::optional<ReadFaultForTesting> unreadable;
    std::optional<SaveFaultForTesting> failing;
    QTemporaryDir home; // the user's own files, outside the data folder
    const QString userFile = home.filePath(".profile");
    if (twist == "folder")
        QVERIFY(QDir(r.dir.path()).mkdir("Quorin.ini"));
    else if (twist == "link")
        QVERIFY(writeBytes(userFile, ini) && QFile::link(userFile, iniPath));
    else if (twist != "fifo")
        writeBytes(iniPath, ini);
    if (twist == "link dat")
        QVERIFY(writeBytes(userFile, newStreakFileBytes()) && QFile::link(userFile, datPath));
    else if (twist != "fifo dat" && twist != "no dat")
        writeBytes(datPath, newStreakFileBytes());
#ifdef Q_OS_UNIX
    if (twist == "fifo")
        QCOMPARE(::mkfifo(iniPath.toLocal8Bit().constData(), 0644), 0);
    if (twist == "fifo dat")
        QCOMPARE(::mkfifo(datPath.toLocal8Bit().constData(), 0644), 0);
#endif
    if (twist == "unreadable")
        unreadable.emplace("Quorin.ini");
    if (twist == "lock folder")
        QVERIFY(QDir(r.dir.path()).mkdir("Quorin.lock"));
    r.model->folderSync().setOptions(lockWait(300));

    r.model->load();
    QTEST(r.names, "listed");
    if (twist == "emptied") {
        QVERIFY(QFile::remove(iniPath) && QFile::remove(datPath));
    } else if (twist == "folder removed") {
        QVERIFY(r.dir.remove());
    } else if (twist == "replaced") { // a share dropped and another mounted at its path
        const QString path = r.dir.path(), gone = path + "-gone";
        QVERIFY(QDir().rename(path, gone) && QDir().mkdir(path));
        QVERIFY(writeBytes(iniPath, ini) && writeBytes(datPath, newStreakFileBytes()));
    } else if (twist == "dat fails" || twist == "ini fails") {
        failing.emplace(0, twist == "dat fails" ? "Quorin.dat" : "Quorin.ini");
    }
    // The pupil may practise in every case.
    QCOMPARE(r.signIn("はなこ").kind, SignInOutcome::SignedIn);
    r.grade(Activity::Novice);
    r.grade(Activity::Novice);

    if (twist == "folder" || twist == "fifo")
        QVERIFY(!QFileInfo(iniPath).isFile());
    else
        QCOMPARE(r.ini(), saved);
    const QByteArray record = twist == "fifo dat" ? QByteArray() : r.dat();
    if (twist.startsWith("link"))
        QVERIFY(QFileInfo(twist == "link" ? iniPath : datPath).isSymLink());
    QCOMPARE(record.contains(cp932Lines({"はなこ; 2"})), recorded);
    QCOMPARE(r.told.size(), boxes);
    const QString all = r.status + r.told.join(u'\n');
    QVERIFY2(QFile::exists(iniPath) || !all.contains("そのまま残って"), qPrintable(all));
    QVERIFY2(told.isEmpty() ? all.isEmpty() : all.contains(told), qPrintable(all));
    if (twist == "replaced") { // the share is back: records and answers reach it unasked
        r.model->recordAnswer(LoggedActivity::Practice, {3, 4, true});
        QVERIFY(r.model->answersKept());
        QVERIFY(QDir(r.dir.path()).entryList({"answers-*"}).isEmpty());
        const QString path = r.dir.path();
        QVERIFY(QDir(path).removeRecursively() && QDir().rename(path + "-gone", path));
        r.model->writeKeptAnswers();
        QCOMPARE(QDir(r.dir.path()).entryList({"answers-*.csv"}).size(), 1);
        r.model->setRetryInterval(10);
        QTRY_COMPARE(r.ini(),
                     ini.replace(cp932Lines({"はなこ;0;0;0;0"}), cp932Lines({"はなこ;2;0;0;0"})));
        QVERIFY(r.dat().contains(cp932Lines({"はなこ; 2"})));
        QVERIFY2(r.status.isEmpty(), qPrintable(r.status));
    }
}

void TestRules::answerLogColumns_data() {
    // A line of each width the log has had, after its factors: what is read of the rest.
    QTest::addColumn<QByteArray>("rest");
    QTest::addColumn<int>("ms");
    QTest::addColumn<bool>("unfinished");
    QTest::newRow("six columns") << QByteArray(",○") << -1 << false;
    QTest::newRow("seven, a set left unfinished") << QByteArray(",×,とちゅう") << -1 << true;
    QTest::newRow("eight, without the number given") << QByteArray(",○,,1500") << 1500 << false;
    QTest::newRow("nine") << QByteArray(",○,,900,42") << 900 << false;
}

void TestRules::answerLogColumns() {
    QFETCH(QByteArray, rest);
    AnswerLogs logs;
    QVERIFY(logs.addFile(answerLogHeader() + "2026-12-08 09:00:00,た,レベル1,3,4" + rest + "\r\n"));
    QCOMPARE(logs.answers.size(), 1);
    QTEST(int(logs.answers[0].ms), "ms");
    QTEST(logs.answers[0].unfinished, "unfinished");
}

void TestRules::tornSpoolLine() {
    // The program stopped while its spool was written: the torn last line never reaches the
    // log; the whole one does.
    QTemporaryDir dir;
    const QString spool = answerSpoolPath(dir.path());
    const QByteArray whole =
        answerLogLine({QDateTime::currentDateTime(), "た", LoggedActivity::Novice, {3, 4, true}});
    QVERIFY(QDir().mkpath(QFileInfo(spool).path()) && writeBytes(spool, whole + whole.left(30)));
    AnswerQueue(dir.path(), answerLogFileName("pc", "1"), spool).flush();
    const AnswerLogs logs = readAnswerLogs(dir.path());
    QCOMPARE(logs.answers.size(), 1);
    QCOMPARE(logs.damagedLines, 0);
}

void TestRules::fullSpoolTellsTheLoss() {
    // The log cannot be written and the spool is full: the teacher is told how many answers
    // were not kept.
    QTemporaryDir dir;
    writeBytes(dir.filePath("plain"), "x");
    const QString folder = dir.filePath("plain/data");
    AnswerQueue queue(folder, answerLogFileName("pc", "1"), answerSpoolPath(folder));
    const QByteArray lines = QByteArray(64 * 1024 - 1, 'x') + '\n';
    for (qint64 held = 0; held <= kMaxWaitingAnswerBytes; held += lines.size())
        queue.add(lines, 1);
    QVERIFY2(queue.problem().contains("記録できなかった答えが 1 問"), qPrintable(queue.problem()));
}

void TestRules::answerLogWriting_data() {
    // The log as it was, the pupil whose answer is appended, the file afterwards ("@" for the
    // line appended), the names read back and the damaged lines.
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("damaged");
    const QByteArray head = answerLogHeader(), torn = "2026-12-08 09:00:00,た,レベル1,3,4,○,\r";
    QTest::newRow("new file: one mark, one header") << QByteArray() << "た" << head + "@" << 0;
    QTest::newRow("quotes and a comma") << head << "た\"ろ,う" << head + "@" << 0;
    for (const char *formula : {"=1+1", "+81", "-2", "@SUM(A1)", "'はな", "=\"a,b\""})
        QTest::newRow(formula) << head << formula << head + "@" << 0;
    QTest::newRow("one torn byte: ended, no second header")
        << QByteArray("2") << "た" << QByteArray("2\r\n@") << 1;
    QTest::newRow("torn line ended") << head + "2026-12"
                                     << "た" << head + "2026-12\r\n@" << 1;
    // A line whose LF was lost reads as damaged, never as the answer it held.
    QTest::newRow("torn CR LF") << head + torn << "じ" << head + torn + "\r\n@" << 1;
    const QByteArray resaved =
        encodeCp932("日時,名前\r\n2026/12/8 9:00,た,レベル1,3,4,○\r\n").value();
    QTest::newRow("saved again: no header inside") << resaved << "じ" << resaved + "@" << 0;
}

void TestRules::answerLogWriting() {
    QFETCH(QByteArray, before);
    QFETCH(QString, name);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString path = dir.filePath(answerLogFileName("pc", "1"));
    if (!before.isEmpty())
        writeBytes(path, before);
    const QDateTime now = QDateTime::currentDateTime();
    const QByteArray line = answerLogLine({now, name, LoggedActivity::Expert, {7, 8, false}});
    QCOMPARE(appendAnswerLog(path, line).status, AppendResult::Written);
    QCOMPARE(readBytes(path), after.replace("@", line));
    QVERIFY(line.startsWith(now.toString("yyyy-MM-dd HH:mm:ss,").toUtf8())); // local time
    // A spreadsheet runs a field starting with = + - @ (quoted or not) as a formula.
    const char first = line.at(20) == '"' ? line.at(21) : line.at(20);
    QVERIFY2(!QByteArray("=+-@").contains(first), line.constData());
    const AnswerLogs logs = readAnswerLogs(dir.path());
    QCOMPARE(logs.pupils.last(), name);
    QTEST(logs.damagedLines, "damaged");
    QVERIFY(!checkOwnPath(path + ".lock").exists); // the log's lock is let go
}

void TestRules::answerLogSpecialFiles_data() {
    // Something planted at the log's name: never written through, refused at once (no wait on
    // a FIFO, no endless read of a device), named as unreadable (a second name reads).
    QTest::addColumn<QString>("planted");
    for (const char *planted : {"link to user file", "hard link", "link to /dev/zero",
                                "link to /dev/null", "fifo", "link to nowhere", "folder"})
        QTest::newRow(planted) << planted;
}

void TestRules::answerLogSpecialFiles() {
    QFETCH(QString, planted);
    QTemporaryDir dir, home;
    const QString log = dir.filePath("answers-pc.csv"), user = home.filePath(".bashrc");
    const QByteArray path = QFile::encodeName(log);
#ifndef Q_OS_UNIX
    if (planted != "folder")
        QSKIP("FIFOs, devices and POSIX links are Unix's");
#endif
    writeBytes(user, "alias ls=ls\n");
    if (planted.startsWith("link to")) // a link to the user's file, a device, nothing
        QVERIFY(QFile::link(planted.endsWith("file") ? user : planted.mid(8), log));
    if (planted == "hard link")
        QCOMPARE(::link(QFile::encodeName(user).constData(), path.constData()), 0);
    if (planted == "fifo")
        QCOMPARE(::mkfifo(path.constData(), 0644), 0);
    if (planted == "folder")
        QVERIFY(QDir(dir.path()).mkdir("answers-pc.csv"));
    const AppendResult result = appendAnswerLog(log, "2026-12-08 9:00:00,$(touch x),レベル1\r\n");
    QCOMPARE(result.status, AppendResult::Failed);
    QVERIFY2(result.reason.contains("answers-pc.csv"), qPrintable(result.reason));
    QCOMPARE(readBytes(user), QByteArray("alias ls=ls\n"));
    QCOMPARE(readAnswerLogs(dir.path()).unreadable.size(), planted == "hard link" ? 0 : 1);
}

void TestRules::answersKeptOverRestart() {
    // A data folder that cannot take the log (its parent is an ordinary file): the answers
    // are kept over a restart, the pages are told and the record line says why. Once the
    // folder is there, a write cut off by a full disk leaves nothing; the next set writes
    // everything, once.
    QTemporaryDir dir;
    writeBytes(dir.filePath("plain"), "x");
    const QString folder = dir.filePath("plain/data");
    const QList<FactAnswer> set(20, FactAnswer{7, 8, true});
    {
        Room r(folder);
        r.signIn("たろう");
        r.grade(Activity::Expert, 20, set);
        QVERIFY2(r.status.contains("答えが 20 問") &&
                     r.status.contains("フォルダーが見つかりません"),
                 qPrintable(r.status));
    }
    QVERIFY(QFile::remove(dir.filePath("plain")) && QDir().mkpath(folder));
    Room r(folder); // the next start writes what the last one kept
    QCOMPARE(readAnswerLogs(folder).answers.size(), 20);
    r.signIn("たろう");
    {
        AppendFaultForTesting fullDisk(30);
        r.grade(Activity::Expert, 20, set);
        QVERIFY(r.model->answersKept() && readAnswerLogs(folder).answers.size() == 20);
    }
    r.grade(Activity::Expert, 20, set);
    QVERIFY2(!r.model->answersKept() && !r.status.contains("答え"), qPrintable(r.status));
    const AnswerLogs logs = readAnswerLogs(folder);
    QCOMPARE(logs.answers.size(), 60);
    QCOMPARE(logs.damagedLines, 0);
    QVERIFY(!checkOwnPath(answerSpoolPath(folder)).exists);
}

void TestRules::runsKeptOverRestart_data() {
    // The file whose saves fail while たろう's run rises to 2, what another copy writes while
    // the program is closed, and the files once the next start has written what was kept.
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QByteArray>("meanwhileIni");
    QTest::addColumn<QByteArray>("meanwhileDat");
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QByteArray>("dat");
    QTest::addColumn<QString>("closeBox"); // what the box at the close says, when there is one
    QTest::addColumn<bool>("secondCopy");  // another copy runs beside, in the first spool
    const QByteArray taro2 = roster({"たろう;2;0;0;0"});
    const QByteArray record2 = streakLines({"たろう; 2", ";0", ";0", ";0"});
    QTest::newRow("roster") << "Quorin.ini" << QByteArray() << QByteArray() << taro2 << record2
                            << "" << false;
    QTest::newRow("roster, a longer run written meanwhile")
        << "Quorin.ini" << roster({"たろう;5;0;0;0"}) << QByteArray() << roster({"たろう;5;0;0;0"})
        << record2 << "" << false;
    QTest::newRow("record file") << "Quorin.dat" << QByteArray() << QByteArray() << taro2 << record2
                                 << "" << false;
    QTest::newRow("record file, a longer record written meanwhile")
        << "Quorin.dat" << QByteArray() << streakLines({"はなこ; 5", ";0", ";0", ";0"}) << taro2
        << streakLines({"はなこ; 5", ";0", ";0", ";0"}) << "" << false;
    // Another computer holds the folder until after the close: the box says the runs are
    // written at the next start, not that they are lost.
    QTest::newRow("folder held") << "Quorin.lock" << QByteArray() << QByteArray() << taro2
                                 << record2 << "次にプログラムを始めたときに保存します" << false;
    // The runs went to the second spool; the next start takes the first and must find them.
    QTest::newRow("roster, kept beside another copy")
        << "Quorin.ini" << QByteArray() << QByteArray() << taro2 << record2 << "" << true;
}

void TestRules::runsKeptOverRestart() {
    // A run the data folder does not take (a full disk) is kept on this computer without a
    // box, over a restart, and written at the next start, merged with what is there then.
    QFETCH(QString, failing);
    QFETCH(QByteArray, meanwhileIni);
    QFETCH(QByteArray, meanwhileDat);
    QTemporaryDir dir;
    const QString folder = dir.path();
    writeBytes(folder + "/Quorin.ini", roster({"たろう;0;0;0;0"}));
    writeBytes(folder + "/Quorin.dat", newStreakFileBytes());
    {
        QFETCH(bool, secondCopy);
        std::unique_ptr<Room>
            running; // takes the first spool: this copy keeps its runs in the second
        if (secondCopy)
            running = std::make_unique<Room>(folder);
        Room r(folder);
        std::optional<SaveFaultForTesting> fullDisk;
        if (failing == "Quorin.lock") {
            r.model->folderSync().setOptions(lockWait(0));
            foreignLock(r.state.rosterPath(), 0);
        } else {
            fullDisk.emplace(0, failing);
        }
        r.signIn("たろう");
        r.grade(Activity::Novice);
        r.grade(Activity::Novice);
        QVERIFY2(r.told.isEmpty(), qPrintable(r.told.join(u'\n')));
        QVERIFY2(r.status.contains("とって　あります"), qPrintable(r.status));
        r.model->saveKeptChanges(); // the program ends
        QFETCH(QString, closeBox);
        QCOMPARE(r.told.size(), closeBox.isEmpty() ? 0 : 1);
        QVERIFY2(closeBox.isEmpty() || r.told[0].contains(closeBox),
                 qPrintable(r.told.join(u'\n')));
    }
    QFile::remove(folder + "/Quorin.lock");
    if (!meanwhileIni.isEmpty())
        writeBytes(folder + "/Quorin.ini", meanwhileIni);
    if (!meanwhileDat.isEmpty())
        writeBytes(folder + "/Quorin.dat", meanwhileDat);
    Room r(folder);
    QTEST(readBytes(folder + "/Quorin.ini"), "ini");
    QTEST(readBytes(folder + "/Quorin.dat"), "dat");
    QVERIFY2(!r.status.contains("とって"), qPrintable(r.status));
}

void TestRules::twoCopiesKeepTheirOwnAnswers() {
    // Two copies of the program under one account on a folder that cannot take the log. The
    // first ends with its 20 answers waiting; the second, started before, writes its own set
    // once the folder is there. Both sets reach the log, and no spool is left.
    QTemporaryDir dir;
    writeBytes(dir.filePath("plain"), "x");
    const QString folder = dir.filePath("plain/data");
    auto first = std::make_unique<Room>(folder), second = std::make_unique<Room>(folder);
    first->signIn("たろう");
    second->signIn("はなこ");
    const QList<FactAnswer> set(20, FactAnswer{7, 8, true});
    first->model->recordAnswers(LoggedActivity::Novice, set);
    QVERIFY(first->model->answersKept());
    first.reset();
    QVERIFY(QFile::remove(dir.filePath("plain")) && QDir().mkpath(folder));
    second->model->recordAnswers(LoggedActivity::Novice, set);
    QCOMPARE(readAnswerLogs(folder).answers.size(), 40);
    const QString spool = answerSpoolPath(folder);
    QVERIFY(!QFileInfo::exists(spool) && !QFileInfo::exists(spool.chopped(4) + "-1.csv"));
}

void TestRules::usualFolderAway() {
    // The folder chosen for every start was gone at start: the record line says where the
    // records go instead, then that the folder is back; choosing a folder ends it.
    QTemporaryDir share;
    const QString usual = share.filePath("2-1");
    Room r(roster({"たろう;0;0;0;0"}));
    r.model->setUsualFolderAway(usual);
    r.model->load();
    QVERIFY2(r.status.startsWith("きろくは　いつもと") && r.status.contains("使えません") &&
                 r.status.contains(QDir::toNativeSeparators(r.state.DataFolder)),
             qPrintable(r.status));
    QVERIFY(QDir().mkpath(usual));
    r.signIn("たろう");
    QVERIFY2(r.status.contains("もどりました"), qPrintable(r.status));
    r.state.DataFolder = usual;
    r.model->OpenDataFolder();
    QVERIFY2(r.status.isEmpty(), qPrintable(r.status));
}

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"

namespace {
// Answers as "r1500@3" (right in 1.5 s, at second 3), "r@3" (right, no time: an older log's
// line), "w@3" (wrong).
FactHistory history(const QStringList &answers) {
    FactHistory t;
    for (const QString &text : answers) {
        const QStringList parts = text.mid(1).split(u'@');
        t.add({parts.value(1).toLongLong(), text.startsWith(u'r'),
               parts[0].isEmpty() ? -1 : parts[0].toInt()});
    }
    return t;
}
} // namespace

void TestRules::factState_data() {
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("limitMs");
    QTest::addColumn<int>("state");
    const int notYet = int(FactState::NotYet), learning = int(FactState::Learning),
              known = int(FactState::Known);
    QTest::newRow("never answered") << QStringList{} << 6000 << notYet;
    QTest::newRow("never right") << QStringList{"w@1", "w@2", "w@3"} << 6000 << notYet;
    QTest::newRow("right once") << QStringList{"r1000@1"} << 6000 << learning;
    QTest::newRow("2 of the last 3 in time")
        << QStringList{"r2000@1", "w@2", "r5999@3"} << 6000 << known;
    QTest::newRow("just over the limit") << QStringList{"r2000@1", "r6001@2"} << 6000 << learning;
    QTest::newRow("slow at 3 s, known at 12 s")
        << QStringList{"r4000@1", "r5000@2"} << 3000 << learning;
    QTest::newRow("no limit") << QStringList{"r40000@1", "r50000@2"} << 0 << known;
    QTest::newRow("old misses forgotten")
        << QStringList{"w@1", "w@2", "r100@3", "r100@4"} << 6000 << known;
    QTest::newRow("recent misses count")
        << QStringList{"r100@1", "r100@2", "w@3", "w@4"} << 6000 << learning;
    QTest::newRow("older lines without times")
        << QStringList{"r@1", "r@2", "r@3"} << 6000 << learning;
    QTest::newRow("older lines, no limit") << QStringList{"r@1", "r@2"} << 0 << known;
    // Logs of several computers are read one after the other: the last three are by time.
    QTest::newRow("by time, not by reading")
        << QStringList{"w@9", "r100@1", "r100@2", "w@8"} << 6000 << learning;
    QTest::newRow("by time, an early miss")
        << QStringList{"r100@8", "r100@9", "w@1"} << 6000 << known;
}

void TestRules::factState() {
    QFETCH(QStringList, answers);
    QFETCH(int, limitMs);
    QFETCH(int, state);
    QCOMPARE(int(history(answers).state(limitMs)), state);
    // Read from log lines the same (their times as written, all on one day).
    AnswerLogs logs;
    QByteArray file;
    for (const QString &text : answers) {
        const QStringList parts = text.mid(1).split(u'@');
        const QTime at = QTime(8, 0).addSecs(parts.value(1).toInt());
        file += "2026-12-07 " + at.toString(u"HH:mm:ss").toLatin1() + ",たろう,レベル1,7,6," +
                (text.startsWith(u'r') ? "○" : "×") + QByteArray(parts[0].isEmpty() ? "" : ",,") +
                parts[0].toLatin1() + (parts[0].isEmpty() ? "" : ",42") + "\r\n";
    }
    QVERIFY(logs.addFile(answerLogHeader() + file));
    QCOMPARE(logs.damagedLines, 0);
    const QList<PupilFacts> read = factTallies(logs);
    QCOMPARE(int((read.isEmpty() ? PupilFacts{} : read[0])[factIndex(7, 6)].state(limitMs)), state);
    // The same for たろう alone from a data folder's log, where はなこ answered the fact quickly
    // after him, and his lines were appended after a first reading.
    QTemporaryDir dir;
    const QString path = dir.filePath("answers-pc-0123456789.csv");
    const QByteArray other = answerLogHeader() +
                             "2026-12-07 09:00:00,はなこ,レベル1,7,6,○,,90,42\r\n"
                             "2026-12-07 09:00:01,はなこ,レベル1,7,6,○,,90,42\r\n";
    FactIndex index;
    QVERIFY(writeBytes(path, other));
    index.update(dir.path());
    QVERIFY(writeBytes(path, other + file));
    index.update(dir.path());
    QCOMPARE(int(index.facts("たろう")[factIndex(7, 6)].state(limitMs)), state);
}

// A log in any encoding is read on from where it was left: after a line is appended only
// that line is read (a spreadsheet saving the file again whole with a line more, or this
// program appending its own line to the file a spreadsheet saved), and the pupil's fact has
// both answers. 上 holds the byte of a line feed in UTF-16.
void TestRules::factIndexReadsOn_data() {
    QTest::addColumn<QString>("encoding"); // of the file
    QTest::addColumn<QString>("appended"); // of the line appended
    QTest::addColumn<QString>("pupil");
    const auto row = [](const char *name, const char *encoding, const char *appended,
                        const char *pupil) {
        QTest::newRow(name) << QString(encoding) << QString(appended) << QString(pupil);
    };
    row("as written", "utf8", "utf8", "たろう");
    row("code page 932", "cp932", "cp932", "たろう");
    row("code page 932, then this program's line", "cp932", "utf8", "たろう");
    row("UTF-16 with tabs", "utf16le", "utf16le", "上田");
    row("UTF-16 big-endian with tabs", "utf16be", "utf16be", "上田");
}

void TestRules::factIndexReadsOn() {
    QFETCH(QString, encoding);
    QFETCH(QString, appended);
    QFETCH(QString, pupil);
    const auto encode = [](const QString &text, const QString &as) -> QByteArray {
        if (as == u"cp932")
            return encodeCp932(text).value_or(QByteArray());
        if (as.startsWith(u"utf16"))
            return QStringEncoder(as == u"utf16le" ? QStringEncoder::Utf16LE
                                                   : QStringEncoder::Utf16BE)(
                QString(text).replace(u',', u'\t'));
        return text.toUtf8();
    };
    const QString header = QString::fromUtf8(answerLogHeader().sliced(3));
    const QString line = QStringLiteral("2026-12-07 09:00:0%1,") + pupil +
                         QStringLiteral(",レベル1,7,6,○,,900,42\r\n");
    QByteArray file = encoding == u"utf8"      ? answerLogHeader()
                      : encoding == u"utf16le" ? QByteArray("\xFF\xFE")
                      : encoding == u"utf16be" ? QByteArray("\xFE\xFF")
                                               : QByteArray();
    if (encoding != u"utf8")
        file += encode(header, encoding);
    file += encode(line.arg(0), encoding);
    QTemporaryDir dir;
    const QString path = dir.filePath("answers-pc-0123456789.csv");
    QVERIFY(writeBytes(path, file));
    FactIndex index;
    QVERIFY(index.update(dir.path()));
    QCOMPARE(index.facts(pupil)[factIndex(7, 6)].count, 1);
    const qint64 before = index.bytesRead();
    const QByteArray more = encode(line.arg(5), appended);
    QVERIFY(writeBytes(path, file + more));
    QVERIFY(index.update(dir.path()));
    QCOMPARE(index.bytesRead() - before, qint64(more.size()));
    QCOMPARE(index.facts(pupil)[factIndex(7, 6)].count, 2);
    QCOMPARE(index.facts(pupil)[factIndex(7, 6)].state(6000), FactState::Known);
}

void TestRules::weakSet_data() {
    // Every fact known (two quick right answers a week ago) but those listed, as
    // "a*b:answers" with the answers as above; "now" is day 10.
    QTest::addColumn<QStringList>("facts");
    QTest::addColumn<QList<int>>("weak"); // the facts learnt, as a * 10 + b, in order
    QTest::addColumn<bool>("knownMixedIn");
    QTest::newRow("missed in a level: both orders")
        << QStringList{"7*6:w@860000", "8*4:r9000@860000,r9000@860001"}
        << QList<int>{67, 76, 48, 84} << true;
    // A pair missed on an earlier day comes back before one missed today, and both before
    // one never answered; at most 4 facts.
    QTest::newRow("spaced across days") << QStringList{"9*9:", "7*6:w@864100", "3*8:w@860000"}
                                        << QList<int>{38, 83, 67, 76} << true;
    // Of the facts met today, the one just missed before the one right once.
    QTest::newRow("a miss before a slow right answer")
        << QStringList{"2*3:r9000@864050", "5*4:r9000@864050,w@864060"}
        << QList<int>{45, 54, 23, 32} << true;
    QTest::newRow("rows 6 to 8 first among equals")
        << QStringList{"2*3:", "3*2:", "6*7:", "1*1:"} << QList<int>{67, 76, 11} << true;
    QTest::newRow("everything known: the slowest")
        << QStringList{"9*8:r5000@800000,r5500@800001", "4*4:r4000@800000,r4000@800002"}
        << QList<int>{89, 98, 44, 11} << true;
    QTest::newRow("nothing known: easy facts mixed in")
        << QStringList{"all"} << QList<int>{} << false;
}

void TestRules::weakSet() {
    QFETCH(QStringList, facts);
    QFETCH(bool, knownMixedIn);
    const qint64 now = 10 * 86400 + 100; // day 10
    PupilFacts pupil{};
    const bool none = facts == QStringList{"all"};
    for (int i = 0; i < 81 && !none; ++i)
        pupil[i] = history({"r1000@100", "r1000@200"});
    for (const QString &fact : none ? QStringList() : facts) {
        const int a = fact[0].digitValue(), b = fact[2].digitValue();
        const QString answers = fact.section(u':', 1);
        pupil[factIndex(a, b)] = history(answers.isEmpty() ? QStringList{} : answers.split(u','));
    }
    MersenneRandomSource random(false, 7u);
    const WeakSet set = dealWeakSet(pupil, 6000, now, random);
    QList<int> learnt;
    for (int i : set.weakFacts)
        learnt.append((i / 9 + 1) * 10 + i % 9 + 1);
    if (!none)
        QTEST(learnt, "weak");
    QCOMPARE(set.questions.size(), kWeakSetSize);
    int known = 0;
    for (qsizetype i = 0; i < set.questions.size(); ++i) {
        const auto [a, b] = set.questions[i];
        const int fact = factIndex(a, b);
        QVERIFY2(i == 0 || set.questions[i] != set.questions[i - 1],
                 "the same fact twice in a row");
        if (set.weakFacts.contains(fact))
            continue;
        known += pupil[fact].state(6000) == FactState::Known;
    }
    for (int fact : set.weakFacts) // each fact learnt is asked twice
        QCOMPARE(set.questions.count({fact / 9 + 1, fact % 9 + 1}), 2);
    QVERIFY(knownMixedIn ? known >= 2 : known == 0);
    if (none) // a pupil who knows nothing yet: 4 facts, with the 1, 2 and 5 rows to fill
        QCOMPARE(set.weakFacts.size(), 4);
}
