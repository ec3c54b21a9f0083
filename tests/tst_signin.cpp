// Sign-in on tab 0: finding and adding pupils in the roster file, names that are refused,
// and saves that fail.

#include "recordfiles.h"
#include "records/datafile.h"
#include "records/pupilname.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QByteArray threePupils() {
    return cp932Lines({kRosterHeader, QStringLiteral("たろう;0;0;0;0"),
                       QStringLiteral("はなこ;2;0;5;1"), QStringLiteral("Taro;1;1;1;1")});
}

// Types the name into the box and presses the button, as a pupil does.
void signIn(TestMain &t, const QString &name) {
    QLineEdit *edit = t.window->nameCombo()->lineEdit();
    edit->clear();
    typeText(edit, name);
    QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand")), Qt::LeftButton);
}

bool activitiesOpen(TestMain &t) {
    for (int i = 1; i <= 5; ++i)
        if (!t.window->isTabSelectable(i))
            return false;
    return true;
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
    void firstSignInIsRecorded();
    void refusedNames_data();
    void refusedNames();
    void fullRoster();
    void folderBehindAFile();
    void failingSaves();
};

void TestSignIn::existingAndNewPupils() {
    auto t = withRoster(threePupils());
    QCOMPARE(t->window->nameCombo()->count(), 3);
    signIn(*t, QStringLiteral("はなこ"));
    QCOMPARE(t->state.CurrentPupilRow, qint16(2));
    QCOMPARE(bestRuns(t->state), (QList<qint16>{2, 0, 5, 1}));
    QCOMPARE(rosterOnDisk(*t), threePupils());
    QVERIFY(activitiesOpen(*t));
    // A new name is appended once, even when confirmed twice; the box keeps the text.
    signIn(*t, QStringLiteral("じろう"));
    signIn(*t, QStringLiteral("じろう"));
    QCOMPARE(t->state.CurrentPupilRow, qint16(4));
    QCOMPARE(bestRuns(t->state), (QList<qint16>{0, 0, 0, 0}));
    QCOMPARE(t->window->nameCombo()->count(), 4);
    QCOMPARE(t->window->nameCombo()->itemText(3), QStringLiteral("じろう"));
    QCOMPARE(t->window->currentNameText(), QStringLiteral("じろう"));
    QCOMPARE(rosterOnDisk(*t), threePupils() + cp932Lines({QStringLiteral("じろう;0;0;0;0")}));
    // A kana typed with a separate sound mark is stored composed.
    signIn(*t, QStringLiteral("か\u3099く"));
    QCOMPARE(t->window->currentNameText(), QStringLiteral("がく"));
    QCOMPARE(t->state.RosterTable[5][0], QStringLiteral("がく"));
    // Letter case, width and spaces make another pupil.
    QByteArray expected = rosterOnDisk(*t);
    for (const QString &name :
         {QStringLiteral("taro"), QStringLiteral("Ｔａｒｏ"), QStringLiteral("Taro ")}) {
        signIn(*t, name);
        expected += cp932Lines({name + QStringLiteral(";0;0;0;0")});
    }
    QCOMPARE(t->state.CurrentPupilRow, qint16(8));
    QCOMPARE(rosterOnDisk(*t), expected);
    QVERIFY(t->messages.isEmpty());
}

void TestSignIn::editingOrEmptyNameKeepsThePupil() {
    auto t = withRoster(threePupils());
    signIn(*t, QStringLiteral("はなこ"));
    typeText(t->window->nameCombo()->lineEdit(), QStringLiteral("x"));
    QVERIFY(!t->window->isTabSelectable(1) && !t->window->isTabSelectable(5));
    signIn(*t, QString());
    QVERIFY(!t->window->isTabSelectable(3));
    QCOMPARE(t->state.CurrentPupilRow, qint16(2));
    QCOMPARE(bestRuns(t->state), (QList<qint16>{2, 0, 5, 1}));
    QCOMPARE(rosterOnDisk(*t), threePupils());
}

void TestSignIn::firstSignInIsRecorded() {
    TestMain t;
    signIn(t, QStringLiteral("さくら"));
    QCOMPARE(rosterOnDisk(t), cp932Lines({kRosterHeader, QStringLiteral("さくら;0;0;0;0")}));
    QCOMPARE(t.state.CurrentPupilRow, qint16(1));
    QCOMPARE(t.window->nameCombo()->itemText(0), QStringLiteral("さくら"));
    QVERIFY(activitiesOpen(t));
}

void TestSignIn::refusedNames_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("separator") << QStringLiteral("た;ろう");
    QTest::newRow("yoshi") << QStringLiteral("𠮷田");
    QTest::newRow("emoji") << QStringLiteral("はな🌸");
    QTest::newRow("tab") << QStringLiteral("た\tろう");
}

void TestSignIn::refusedNames() {
    QFETCH(QString, name);
    auto t = withRoster(threePupils());
    signIn(*t, QStringLiteral("たろう"));
    confirmName(*t, name);
    QLabel *label = t->window->signInMessageLabel();
    QCOMPARE(label->objectName(), QStringLiteral("QuorinIniMessageLabel"));
    QCOMPARE(label->text(), nameProblemMessage(checkPupilName(name)));
    QVERIFY(!t->window->isTabSelectable(2));
    QCOMPARE(t->window->nameCombo()->count(), 3);
    QCOMPARE(rosterOnDisk(*t), threePupils());
    if (QByteArray(QTest::currentDataTag()) == "yoshi") {
        t->window->show();
        snapshot(t->window.get(), QStringLiteral("signin-refused"));
    }
    signIn(*t, QStringLiteral("はなこ"));
    QVERIFY(label->text().isEmpty());
    QVERIFY(activitiesOpen(*t));
}

void TestSignIn::fullRoster() {
    QStringList lines{kRosterHeader};
    for (int i = 1; i <= 99; ++i)
        lines << QStringLiteral("p%1;0;0;0;%2").arg(i).arg(i);
    const QByteArray roster = cp932Lines(lines);
    auto t = withRoster(roster);
    signIn(*t, QStringLiteral("p99"));
    QCOMPARE(t->state.ChallengeBestStreak, qint16(99));
    signIn(*t, QStringLiteral("new"));
    QCOMPARE(t->window->signInMessageLabel()->text(), rosterFullMessage());
    t->window->show();
    snapshot(t->window.get(), QStringLiteral("signin-full"));
    QVERIFY(!t->window->isTabSelectable(1));
    QCOMPARE(t->state.CurrentPupilRow, qint16(99));
    QCOMPARE(rosterOnDisk(*t), roster);
    // A file that already holds 100 pupils (and a line more): the last one signs in, and a
    // save keeps every line.
    const QByteArray beyond = cp932Lines({QStringLiteral("p101;0;0;0;0")});
    auto full = withRoster(roster + cp932Lines({QStringLiteral("p100;0;3;0;0")}) + beyond);
    signIn(*full, QStringLiteral("p100"));
    QCOMPARE(full->state.CurrentPupilRow, qint16(100));
    full->state.IntermediateFirstAttempt = True;
    full->state.IntermediateCurrentStreak = 3;
    full->window->advanceStreakAndSave(Activity::Intermediate, 20);
    QCOMPARE(rosterOnDisk(*full), roster + cp932Lines({QStringLiteral("p100;0;4;0;0")}) + beyond);
}

void TestSignIn::folderBehindAFile() {
    TestMain base(false);
    QVERIFY(writeBytes(base.path(QStringLiteral("plain")), "x"));
    TestMain t(true, base.path(QStringLiteral("plain/data")));
    signIn(t, QStringLiteral("たろう"));
    // The teacher is told which file could not be made; the pupil can still work, and no
    // run is written anywhere.
    QCOMPARE(t.messages.size(), 1);
    QVERIFY(t.messages[0].text.contains(t.state.rosterPath()));
    QVERIFY(t.messages[0].text.contains(QStringLiteral("フォルダーが見つかりません")));
    QVERIFY(activitiesOpen(t));
    QCOMPARE(t.state.CurrentPupilRow, qint16(0));
    t.state.NoviceFirstAttempt = True;
    t.window->advanceStreakAndSave(Activity::Novice, 20);
    QCOMPARE(t.messages.size(), 1);
}

void TestSignIn::failingSaves() {
    auto t = withRoster(threePupils());
    {
        SaveFaultForTesting fault(10);
        signIn(*t, QStringLiteral("じろう"));
    }
    // Not recorded and not signed in; the teacher reads which file and why.
    QCOMPARE(t->messages.size(), 1);
    QCOMPARE(t->messages[0].icon, QMessageBox::Warning);
    QVERIFY(t->messages[0].text.contains(t->state.rosterPath()));
    QVERIFY(t->messages[0].text.contains(QStringLiteral("ディスクがいっぱい")));
    QCOMPARE(rosterOnDisk(*t), threePupils());
    QVERIFY(t->state.RosterTable[4][0].isEmpty());
    QCOMPARE(t->window->nameCombo()->count(), 3);
    QVERIFY(!activitiesOpen(*t));

    // A best run that cannot be saved is not kept; the next full mark saves the run then.
    signIn(*t, QStringLiteral("たろう"));
    {
        SaveFaultForTesting fault(0);
        t->state.NoviceFirstAttempt = True;
        t->window->advanceStreakAndSave(Activity::Novice, 20);
    }
    QCOMPARE(t->messages.size(), 2);
    QCOMPARE(t->state.NoviceBestStreak, qint16(0));
    QCOMPARE(t->state.RosterTable[1][1], QStringLiteral("0"));
    QCOMPARE(rosterOnDisk(*t), threePupils());
    t->state.NoviceFirstAttempt = True;
    t->window->advanceStreakAndSave(Activity::Novice, 20);
    QCOMPARE(t->state.NoviceBestStreak, qint16(2));
    QVERIFY(rosterOnDisk(*t).contains(cp932Lines({QStringLiteral("たろう;2;0;0;0")})));
}

QTEST_MAIN(TestSignIn)
#include "tst_signin.moc"
