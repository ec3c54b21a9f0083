// Sign-in on tab 0: finding and adding pupils in the roster file, names that are refused,
// and saves that fail.

#include "recordfiles.h"
#include "records/datafile.h"
#include "records/pupilname.h"
#include "records/streakrecord.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringEncoder>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray three() {
    return roster({"たろう;0;0;0;0", "はなこ;2;0;5;1", "Taro;1;1;1;1"});
}

// Types the name into the box and presses the button, as a pupil does.
void signIn(TestMain &t, const QString &name) {
    QLineEdit *edit = t.window->nameCombo()->lineEdit();
    edit->clear();
    typeText(edit, name);
    QTest::mouseClick(t.find<QPushButton>("QuorinIniFinCommand"), Qt::LeftButton);
}

QList<qint16> bestRuns(const ApplicationState &s) {
    return {s.NoviceBestStreak, s.IntermediateBestStreak, s.ExpertBestStreak,
            s.ChallengeBestStreak};
}

// Opens the writing end of the FIFOs once `seconds` have passed, so a read that blocks on one
// returns (and the test fails) instead of hanging.
struct FifoWatchdog {
    QStringList fifos;
    std::atomic<bool> done{false}, fired{false};
    std::thread thread;
    explicit FifoWatchdog(const QStringList &paths, int seconds = 5) : fifos(paths) {
        thread = std::thread([this, seconds] {
            for (int ms = 0; !done; ms += 10) {
                if (ms >= seconds * 1000) {
                    for (const QString &fifo : fifos) {
                        const int fd =
                            ::open(fifo.toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
                        if (fd >= 0) {
                            fired = true;
                            ::close(fd);
                        }
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~FifoWatchdog() {
        done = true;
        thread.join();
    }
};

QByteArray encoded(const char *codec, const QStringList &lines) {
    QStringEncoder encoder(codec, QStringConverter::Flag::WriteBom);
    return encoder.encode(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

} // namespace

class TestSignIn : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void existingAndNewPupils();
    void editingOrEmptyNameKeepsThePupil();
    void refusedNames_data();
    void refusedNames();
    void fullRoster();
    void failingSaves();
    void damagedFiles_data();
    void damagedFiles();
};

void TestSignIn::existingAndNewPupils() {
    // The first sign-in in an empty folder is recorded.
    TestMain first;
    signIn(first, "さくら");
    QCOMPARE(rosterOnDisk(first), roster({"さくら;0;0;0;0"}));
    QCOMPARE(openActivities(first), 5);

    auto t = withRoster(three());
    signIn(*t, "はなこ");
    QCOMPARE(t->state.CurrentPupilRow, qint16(2));
    QCOMPARE(bestRuns(t->state), (QList<qint16>{2, 0, 5, 1}));
    QCOMPARE(rosterOnDisk(*t), three());
    QCOMPARE(openActivities(*t), 5);
    // A new name is appended once, even when confirmed twice; composed before it is stored.
    signIn(*t, "じろう");
    signIn(*t, "じろう");
    QCOMPARE(t->state.CurrentPupilRow, qint16(4));
    QCOMPARE(bestRuns(t->state), (QList<qint16>{0, 0, 0, 0}));
    QCOMPARE(t->window->nameCombo()->itemText(3), "じろう");
    signIn(*t, "か\u3099く");
    QCOMPARE(t->window->currentNameText(), "がく");
    // Letter case, width and spaces make another pupil.
    QByteArray expected = three() + cp932Lines({"じろう;0;0;0;0", "がく;0;0;0;0"});
    for (const QString name : {"taro", "Ｔａｒｏ", "Taro "}) {
        signIn(*t, name);
        expected += cp932Lines({name + ";0;0;0;0"});
    }
    QCOMPARE(t->state.CurrentPupilRow, qint16(8));
    QCOMPARE(t->window->nameCombo()->count(), 8);
    QCOMPARE(rosterOnDisk(*t), expected);
    QVERIFY(t->messages.isEmpty());
}

void TestSignIn::editingOrEmptyNameKeepsThePupil() {
    auto t = withRoster(three());
    signIn(*t, "はなこ");
    typeText(t->window->nameCombo()->lineEdit(), "x");
    QCOMPARE(openActivities(*t), 0);
    signIn(*t, QString());
    QCOMPARE(openActivities(*t), 0);
    QCOMPARE(t->state.CurrentPupilRow, qint16(2));
    QCOMPARE(bestRuns(t->state), (QList<qint16>{2, 0, 5, 1}));
    QCOMPARE(rosterOnDisk(*t), three());
}

void TestSignIn::refusedNames_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("separator") << "た;ろう";
    QTest::newRow("yoshi") << "𠮷田";
    QTest::newRow("emoji") << "はな🌸";
}

void TestSignIn::refusedNames() {
    QFETCH(QString, name);
    auto t = withRoster(three());
    signIn(*t, "たろう");
    confirmName(*t, name);
    QLabel *label = t->window->signInMessageLabel();
    QCOMPARE(label->objectName(), "QuorinIniMessageLabel");
    QCOMPARE(label->text(), nameProblemMessage(checkPupilName(name)));
    QCOMPARE(openActivities(*t), 0);
    QCOMPARE(rosterOnDisk(*t), three());
    if (QByteArray(QTest::currentDataTag()) == "yoshi") {
        t->window->show();
        snapshot(t->window.get(), "signin-refused");
    }
    signIn(*t, "はなこ");
    QVERIFY(label->text().isEmpty());
    QCOMPARE(openActivities(*t), 5);
}

void TestSignIn::fullRoster() {
    QStringList lines;
    for (int i = 1; i <= 99; ++i)
        lines << QStringLiteral("p%1;0;0;0;%2").arg(i).arg(i);
    const QByteArray full = roster(lines);
    auto t = withRoster(full);
    signIn(*t, "new");
    QCOMPARE(t->window->signInMessageLabel()->text(), rosterFullMessage());
    QCOMPARE(rosterOnDisk(*t), full);
    // A file that already holds 100 pupils (and a line more): the last one signs in, and a
    // save keeps every line.
    const QByteArray beyond = cp932Lines({"p101;0;0;0;0"});
    auto more = withRoster(full + cp932Lines({"p100;0;3;0;0"}) + beyond);
    signIn(*more, "p100");
    QCOMPARE(more->state.CurrentPupilRow, qint16(100));
    more->state.IntermediateFirstAttempt = True;
    more->state.IntermediateCurrentStreak = 3;
    more->classroom->advanceStreakAndSave(Activity::Intermediate, 20);
    QCOMPARE(rosterOnDisk(*more), full + cp932Lines({"p100;0;4;0;0"}) + beyond);
}

void TestSignIn::failingSaves() {
    // A data folder behind an ordinary file: the teacher is told which file could not be
    // made; the pupil can still work, and no run is written anywhere.
    TestMain base(false);
    QVERIFY(writeBytes(base.path("plain"), "x"));
    TestMain u(true, base.path("plain/data"));
    signIn(u, "たろう");
    QCOMPARE(u.messages.size(), 1);
    QVERIFY(u.messages[0].text.contains(u.state.rosterPath()));
    QVERIFY(u.messages[0].text.contains("フォルダーが見つかりません"));
    QCOMPARE(openActivities(u), 5);
    QCOMPARE(u.state.CurrentPupilRow, qint16(0));

    // A write that fails: not recorded and not signed in; the teacher reads which file and why.
    auto t = withRoster(three());
    {
        SaveFaultForTesting fault(10);
        signIn(*t, "じろう");
    }
    QCOMPARE(t->messages.size(), 1);
    QVERIFY(t->messages[0].text.contains(t->state.rosterPath()));
    QVERIFY(t->messages[0].text.contains("ディスクがいっぱい"));
    QCOMPARE(rosterOnDisk(*t), three());
    QCOMPARE(openActivities(*t), 0);
    // A best run that cannot be saved is not kept; the next full mark saves the run then.
    signIn(*t, "たろう");
    {
        SaveFaultForTesting fault(0);
        t->state.NoviceFirstAttempt = True;
        t->classroom->advanceStreakAndSave(Activity::Novice, 20);
    }
    QCOMPARE(t->messages.size(), 1); // a second failure in a run only reaches the record line
    QVERIFY(t->window->recordStatusLabel()->text().contains("Quorin.ini"));
    QCOMPARE(t->state.NoviceBestStreak, qint16(0));
    QCOMPARE(rosterOnDisk(*t), three());
    t->state.NoviceFirstAttempt = True;
    t->classroom->advanceStreakAndSave(Activity::Novice, 20);
    QVERIFY(rosterOnDisk(*t).contains(cp932Lines({"たろう;2;0;0;0"})));
    QVERIFY(t->window->recordStatusLabel()->text().isEmpty());
}

void TestSignIn::damagedFiles_data() {
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
    const QStringList lines{kRosterHeader, taro, hana};
    const auto row = [](const char *name) { return &QTest::newRow(name); };
    // A bad line hides nobody after it and stays where it was.
    for (const QByteArray &bad :
         {QByteArray("\r\n"), cp932Lines({"じろう;0;0"}), QByteArray("\x82\xff;0;0;0;0\r\n"),
          QByteArray(1 << 20, 'x') + "\r\n"})
        *row(bad.size() > 1000 ? "1 MB line" : qPrintable("bad line " + bad.toHex().left(12)))
            << top + bad + end << "" << both << top + bad + end2 << true << 0 << "";
    // Another encoding: read, and written in code page 932 at the next save.
    *row("UTF-8") << lines.join("\r\n").toUtf8() + "\r\n"
                  << "" << both << plain2 << true << 0 << "";
    *row("UTF-8, BOM") << encoded("UTF-8", lines) << "" << both << plain2 << true << 0 << "";
    *row("UTF-16, BOM") << encoded("UTF-16LE", lines) << "" << both << plain2 << true << 0 << "";
    const QString yoshi = "𠮷田;3;0;0;0";
    *row("UTF-8, name outside code page 932")
        << encoded("UTF-8", {kRosterHeader, taro, yoshi, hana}) << "" << both
        << top + yoshi.toUtf8() + "\r\n" + end2 << true << 1 << "𠮷田";
    // A roster that is there but cannot be read: the pupil practises, and the page says that
    // the pupil's runs are not kept (the class record still is).
    for (const char *twist : {"unreadable", "folder", "fifo"})
        *row(twist) << plain << twist << QStringList() << plain << true << 0 << "Quorin.ini";
    *row("record file a FIFO") << plain << "fifo dat" << both << plain2 << false << 0
                               << "Quorin.dat";
    // Files that go missing are written again, the record file too.
    *row("folder emptied") << plain << "emptied" << both << plain2 << true << 0 << "";
    *row("no record file") << plain << "no dat" << both << plain2 << true << 0 << "";
    // Failing saves: the record file never brings a box, the roster once.
    *row("record file not writable")
        << plain << "dat fails" << both << plain2 << false << 0 << "Quorin.dat";
    *row("roster not writable") << plain << "ini fails" << both << plain << false << 1
                                << "Quorin.ini";
    *row("folder removed") << plain << "folder removed" << both << QByteArray() << false << 1
                           << "フォルダーが見つかりません";
    *row("folder named Quorin.lock")
        << plain << "lock folder" << both << plain << false << 1 << "Quorin.lock";
}

void TestSignIn::damagedFiles() {
    QFETCH(QByteArray, ini);
    QFETCH(QString, twist);
    QFETCH(QStringList, listed);
    QFETCH(QByteArray, saved);
    QFETCH(bool, recorded);
    QFETCH(int, boxes);
    QFETCH(QString, told);
    TestMain t(false);
    const QString iniPath = t.path("Quorin.ini"), datPath = t.path("Quorin.dat");
    std::optional<ReadFaultForTesting> unreadable;
    std::optional<SaveFaultForTesting> failing;
    if (twist == "folder")
        QVERIFY(QDir(t.dir.path()).mkdir("Quorin.ini"));
    else if (twist == "fifo")
        QCOMPARE(::mkfifo(iniPath.toLocal8Bit().constData(), 0644), 0);
    else
        QVERIFY(writeBytes(iniPath, ini));
    if (twist == "fifo dat")
        QCOMPARE(::mkfifo(datPath.toLocal8Bit().constData(), 0644), 0);
    else if (twist != "no dat")
        QVERIFY(writeBytes(datPath, newStreakFileBytes()));
    if (twist == "unreadable")
        unreadable.emplace("Quorin.ini");
    if (twist == "lock folder")
        QVERIFY(QDir(t.dir.path()).mkdir("Quorin.lock"));
    t.classroom->folderSync().setOptions({300, 3});
    FifoWatchdog watchdog({iniPath, datPath});

    t.window->Form_Load();
    QStringList names;
    for (int i = 0; i < t.window->nameCombo()->count(); ++i)
        names << t.window->nameCombo()->itemText(i);
    QCOMPARE(names, listed);

    if (twist == "emptied") {
        QVERIFY(QFile::remove(iniPath));
        QVERIFY(QFile::remove(datPath));
    } else if (twist == "folder removed") {
        QVERIFY(t.dir.remove());
    } else if (twist == "dat fails") {
        failing.emplace(0, "Quorin.dat");
    } else if (twist == "ini fails") {
        failing.emplace(0, "Quorin.ini");
    }
    confirmName(t, "はなこ");
    QCOMPARE(openActivities(t), 5); // the pupil may practise in every case
    for (int set = 0; set < 2; ++set) {
        t.state.NoviceFirstAttempt = True;
        t.classroom->advanceStreakAndSave(Activity::Novice, 20);
        t.classroom->ShowNoviceStreakRecord();
    }
    QVERIFY2(!watchdog.fired, "a FIFO blocked the program");

    if (twist == "folder" || twist == "fifo")
        QVERIFY(!QFileInfo(iniPath).isFile());
    else
        QCOMPARE(rosterOnDisk(t), saved);
    const QByteArray record = twist == "fifo dat" ? QByteArray() : readBytes(datPath);
    QCOMPARE(record.contains(cp932Lines({"はなこ; 2"})), recorded);
    QString all = t.window->recordStatusLabel()->text();
    for (const RecordedMessage &m : t.messages) {
        all += m.text;
        QVERIFY2(QFile::exists(iniPath) || !m.text.contains("そのまま残って"), qPrintable(m.text));
    }
    QCOMPARE(t.messages.size(), boxes);
    if (told.isEmpty())
        QVERIFY2(all.isEmpty(), qPrintable(all));
    else
        QVERIFY2(all.contains(told), qPrintable(all));
    if (twist == "unreadable") {
        t.window->show();
        snapshot(t.window.get(), "signin-unreadable-roster");
    }
}

QTEST_MAIN(TestSignIn)
#include "tst_signin.moc"
