// Sign-in on tab 0: finding and adding pupils in the roster file, names that are refused,
// and saves that fail.

#include "recordfiles.h"
#include "records/datafile.h"
#include "records/pupilname.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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
    more->window->advanceStreakAndSave(Activity::Intermediate, 20);
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
        t->window->advanceStreakAndSave(Activity::Novice, 20);
    }
    QCOMPARE(t->messages.size(), 2);
    QCOMPARE(t->state.NoviceBestStreak, qint16(0));
    QCOMPARE(rosterOnDisk(*t), three());
    t->state.NoviceFirstAttempt = True;
    t->window->advanceStreakAndSave(Activity::Novice, 20);
    QVERIFY(rosterOnDisk(*t).contains(cp932Lines({"たろう;2;0;0;0"})));
}

QTEST_MAIN(TestSignIn)
#include "tst_signin.moc"
