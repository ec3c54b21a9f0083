// Sign-in on tab 0: finding and adding pupils in the roster file, names that are refused,
// and saves that fail.

#include "records/cp932.h"
#include "records/datafile.h"
#include "records/pupilname.h"
#include "testsupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

namespace {

QByteArray file(const QStringList &lines) {
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += encodeCp932(line).value() + "\r\n";
    return bytes;
}

const QString kHeader =
    QStringLiteral("氏名;初級100点回数;中級100点回数;上級100点回数;チャレンジ100点回数");

QByteArray threePupils() {
    return file({kHeader, QStringLiteral("たろう;0;0;0;0"), QStringLiteral("はなこ;2;0;5;1"),
                 QStringLiteral("Taro;1;1;1;1")});
}

void signIn(TestMain &t, const QString &name) {
    QLineEdit *edit = t.window->nameCombo()->lineEdit();
    edit->clear();
    typeText(edit, name);
    QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand")), Qt::LeftButton);
}

QStringList listed(TestMain &t) {
    QStringList names;
    for (int i = 0; i < t.window->nameCombo()->count(); ++i)
        names << t.window->nameCombo()->itemText(i);
    return names;
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

// A main window on a data folder that already holds `roster`.
std::unique_ptr<TestMain> withRoster(const QByteArray &roster) {
    auto t = std::make_unique<TestMain>(false);
    writeBytes(t->path(QStringLiteral("Quorin.ini")), roster);
    t->window->Form_Load();
    return t;
}

} // namespace

class TestSignIn : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void existingPupil();
    void newPupilAppendedOnce();
    void caseOrWidthMakesANewPupil_data();
    void caseOrWidthMakesANewPupil();
    void editingOrEmptyNameKeepsThePupil();
    void firstSignInIsRecorded();
    void refusedNames_data();
    void refusedNames();
    void composedName();
    void fullRoster();
    void folderBehindAFile();
    void failingSaveOfANewPupil();
    void failingSaveOfABestRun();
};

void TestSignIn::existingPupil() {
    auto t = withRoster(threePupils());
    QCOMPARE(listed(*t), (QStringList{QStringLiteral("たろう"), QStringLiteral("はなこ"),
                                      QStringLiteral("Taro")}));
    signIn(*t, QStringLiteral("はなこ"));
    QCOMPARE(t->state.CurrentPupilRow, qint16(2));
    QCOMPARE(bestRuns(t->state), (QList<qint16>{2, 0, 5, 1}));
    QCOMPARE(readBytes(t->path(QStringLiteral("Quorin.ini"))), threePupils());
    QVERIFY(activitiesOpen(*t));
    QVERIFY(t->messages.isEmpty());
}

void TestSignIn::newPupilAppendedOnce() {
    auto t = withRoster(threePupils());
    t->state.NoviceBestStreak = 9;
    signIn(*t, QStringLiteral("じろう"));
    signIn(*t, QStringLiteral("じろう"));
    QCOMPARE(t->state.CurrentPupilRow, qint16(4));
    QCOMPARE(bestRuns(t->state), (QList<qint16>{0, 0, 0, 0}));
    QCOMPARE(listed(*t).count(QStringLiteral("じろう")), 1);
    QCOMPARE(listed(*t).size(), 4);
    QCOMPARE(t->window->currentNameText(), QStringLiteral("じろう"));
    QCOMPARE(readBytes(t->path(QStringLiteral("Quorin.ini"))),
             threePupils() + file({QStringLiteral("じろう;0;0;0;0")}));
}

void TestSignIn::caseOrWidthMakesANewPupil_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("lower case") << QStringLiteral("taro");
    QTest::newRow("full width") << QStringLiteral("Ｔａｒｏ");
    QTest::newRow("trailing space") << QStringLiteral("Taro ");
    QTest::newRow("katakana") << QStringLiteral("タロウ");
}

void TestSignIn::caseOrWidthMakesANewPupil() {
    QFETCH(QString, name);
    auto t = withRoster(threePupils());
    signIn(*t, name);
    QCOMPARE(t->state.CurrentPupilRow, qint16(4));
    QCOMPARE(t->state.RosterTable[4][0], name);
    QCOMPARE(readBytes(t->path(QStringLiteral("Quorin.ini"))),
             threePupils() + file({name + QStringLiteral(";0;0;0;0")}));
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
    QCOMPARE(readBytes(t->path(QStringLiteral("Quorin.ini"))), threePupils());
}

void TestSignIn::firstSignInIsRecorded() {
    TestMain t;
    QVERIFY(!t.state.RosterLoaded);
    signIn(t, QStringLiteral("さくら"));
    QCOMPARE(readBytes(t.path(QStringLiteral("Quorin.ini"))),
             file({kHeader, QStringLiteral("さくら;0;0;0;0")}));
    QCOMPARE(t.state.RosterLoaded, True);
    QCOMPARE(t.state.CurrentPupilRow, qint16(1));
    QCOMPARE(listed(t), QStringList{QStringLiteral("さくら")});
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
    t->window->nameCombo()->setEditText(name);
    t->window->QuorinIniFinCommand_Click();
    QLabel *label = t->window->signInMessageLabel();
    QCOMPARE(label->objectName(), QStringLiteral("QuorinIniMessageLabel"));
    QCOMPARE(label->text(), nameProblemMessage(checkPupilName(name)));
    QVERIFY(!t->window->isTabSelectable(2));
    QCOMPARE(listed(*t).size(), 3);
    QCOMPARE(readBytes(t->path(QStringLiteral("Quorin.ini"))), threePupils());
    QCOMPARE(t->state.CurrentPupilRow, qint16(1));
    if (QByteArray(QTest::currentDataTag()) == "yoshi") {
        t->window->show();
        snapshot(t->window.get(), QStringLiteral("signin-refused"));
    }
    signIn(*t, QStringLiteral("はなこ"));
    QVERIFY(label->text().isEmpty());
    QVERIFY(activitiesOpen(*t));
}

void TestSignIn::composedName() {
    auto t = withRoster(threePupils());
    signIn(*t, QStringLiteral("か\u3099く"));
    QCOMPARE(t->window->currentNameText(), QStringLiteral("がく"));
    QCOMPARE(t->state.RosterTable[4][0], QStringLiteral("がく"));
    QVERIFY(readBytes(t->path(QStringLiteral("Quorin.ini")))
                .endsWith(file({QStringLiteral("がく;0;0;0;0")})));
}

void TestSignIn::fullRoster() {
    QStringList lines{kHeader};
    for (int i = 1; i <= 99; ++i)
        lines << QStringLiteral("p%1;0;0;0;%2").arg(i).arg(i);
    const QByteArray roster = file(lines);
    auto t = withRoster(roster);
    signIn(*t, QStringLiteral("p99"));
    QCOMPARE(t->state.CurrentPupilRow, qint16(99));
    QCOMPARE(t->state.ChallengeBestStreak, qint16(99));
    signIn(*t, QStringLiteral("new"));
    QCOMPARE(t->window->signInMessageLabel()->text(), rosterFullMessage());
    QVERIFY(!t->window->isTabSelectable(1));
    QCOMPARE(t->state.CurrentPupilRow, qint16(99));
    QCOMPARE(readBytes(t->path(QStringLiteral("Quorin.ini"))), roster);
    // A file that already holds 100 pupils: the last one signs in and keeps the line.
    auto full = withRoster(roster + file({QStringLiteral("p100;0;3;0;0")}));
    signIn(*full, QStringLiteral("p100"));
    QCOMPARE(full->state.CurrentPupilRow, qint16(100));
    QCOMPARE(full->state.IntermediateBestStreak, qint16(3));
    full->state.IntermediateFirstAttempt = True;
    full->state.IntermediateCurrentStreak = 3;
    full->window->advanceStreakAndSave(Activity::Intermediate, 20);
    QCOMPARE(readBytes(full->path(QStringLiteral("Quorin.ini"))),
             roster + file({QStringLiteral("p100;0;4;0;0")}));
}

void TestSignIn::folderBehindAFile() {
    TestMain base(false);
    QVERIFY(writeBytes(base.path(QStringLiteral("plain")), "x"));
    const QString folder = base.path(QStringLiteral("plain/data"));
    TestMain t(true, folder);
    signIn(t, QStringLiteral("たろう"));
    // The teacher is told which file could not be made; the pupil can still work, and no
    // run is written anywhere.
    QCOMPARE(t.messages.size(), 1);
    QVERIFY2(t.messages[0].text.contains(t.state.rosterPath()), qPrintable(t.messages[0].text));
    QVERIFY(t.messages[0].text.contains(QStringLiteral("フォルダーが見つかりません")));
    QVERIFY(activitiesOpen(t));
    QCOMPARE(t.state.CurrentPupilRow, qint16(0));
    t.state.NoviceFirstAttempt = True;
    t.window->advanceStreakAndSave(Activity::Novice, 20);
    QCOMPARE(t.messages.size(), 1);
    QVERIFY(t.state.RosterTable[0][0].isEmpty());
}

void TestSignIn::failingSaveOfANewPupil() {
    auto t = withRoster(threePupils());
    {
        SaveFaultForTesting fault(10);
        signIn(*t, QStringLiteral("じろう"));
    }
    QCOMPARE(t->messages.size(), 1);
    QCOMPARE(t->messages[0].icon, QMessageBox::Warning);
    QVERIFY(t->messages[0].text.contains(t->state.rosterPath()));
    QVERIFY(t->messages[0].text.contains(QStringLiteral("ディスクがいっぱい")));
    QCOMPARE(readBytes(t->path(QStringLiteral("Quorin.ini"))), threePupils());
    QVERIFY(t->state.RosterTable[4][0].isEmpty());
    QCOMPARE(listed(*t).size(), 3);
    QVERIFY(!activitiesOpen(*t));
    // Once the disk takes it again, the same sign-in works.
    signIn(*t, QStringLiteral("じろう"));
    QCOMPARE(t->state.CurrentPupilRow, qint16(4));
    QCOMPARE(readBytes(t->path(QStringLiteral("Quorin.ini"))),
             threePupils() + file({QStringLiteral("じろう;0;0;0;0")}));
}

void TestSignIn::failingSaveOfABestRun() {
    auto t = withRoster(threePupils());
    signIn(*t, QStringLiteral("たろう"));
    {
        SaveFaultForTesting fault(0);
        t->state.NoviceFirstAttempt = True;
        t->window->advanceStreakAndSave(Activity::Novice, 20);
    }
    QCOMPARE(t->messages.size(), 1);
    QCOMPARE(t->state.NoviceBestStreak, qint16(0));
    QCOMPARE(t->state.RosterTable[1][1], QStringLiteral("0"));
    QCOMPARE(readBytes(t->path(QStringLiteral("Quorin.ini"))), threePupils());
    // The next full mark saves the run as it stands by then.
    t->state.NoviceFirstAttempt = True;
    t->window->advanceStreakAndSave(Activity::Novice, 20);
    QCOMPARE(t->state.NoviceBestStreak, qint16(2));
    QVERIFY(readBytes(t->path(QStringLiteral("Quorin.ini")))
                .contains("\r\n\x82\xbd\x82\xeb\x82\xa4;2;0;0;0\r\n"));
}

QTEST_MAIN(TestSignIn)
#include "tst_signin.moc"
