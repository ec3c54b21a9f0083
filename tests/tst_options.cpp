// The data-folder dialog and OpenDataFolder: choosing a folder, creating the data files,
// signing the pupil out, and folders that cannot be used.

#include "records/cp932.h"
#include "records/datafile.h"
#include "records/roster.h"
#include "records/streakrecord.h"
#include "testsupport.h"
#include "ui/dialogs/frmoptions.h"

#include <QAction>
#include <QComboBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <functional>

namespace {

QByteArray file(const QStringList &lines) {
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += encodeCp932(line).value() + "\r\n";
    return bytes;
}

// Opens the dialog from the menu; `drive` acts in it and presses a button.
void useOptions(TestMain &t, const std::function<void(frmOptions *)> &drive) {
    t.window->setDialogHook([&](QDialog *dialog) {
        auto *options = qobject_cast<frmOptions *>(dialog);
        QVERIFY(options);
        drive(options);
    });
    t.find<QAction>(QStringLiteral("mnuToolsOptions"))->trigger();
    t.window->setDialogHook({});
}

void press(frmOptions *options, const char *button) {
    QTest::mouseClick(options->findChild<QPushButton *>(QString::fromLatin1(button)),
                      Qt::LeftButton);
}

QString pathLabel(frmOptions *options) {
    return options->findChild<QLabel *>(QStringLiteral("QuorinOptionLabel"))->text();
}

void signIn(TestMain &t, const QString &name) {
    t.window->nameCombo()->setEditText(name);
    t.window->QuorinIniFinCommand_Click();
}

QList<bool> selectable(frmMain &w) {
    QList<bool> out;
    for (int i = 0; i < 6; ++i)
        out << w.isTabSelectable(i);
    return out;
}

} // namespace

class TestOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void folderText_data();
    void folderText();
    void dialogControls();
    void openDataFolderCreatesBothFiles();
    void okSignsOutAndMakesTheHolder();
    void cancelKeepsFolderAndPupil();
    void secondOpeningStartsOnTheChoice();
    void unusableFolderIsKept();
};

void TestOptions::folderText_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("text");
    QTest::newRow("root stays a root") << "/"
                                       << "/";
    QTest::newRow("separator dropped") << "/tmp/class/"
                                       << "/tmp/class";
    QTest::newRow("plain") << "/tmp/class"
                           << "/tmp/class";
    QTest::newRow("doubled separator") << "/tmp//class//"
                                       << "/tmp/class";
}

void TestOptions::folderText() {
    QFETCH(QString, path);
    QFETCH(QString, text);
    QCOMPARE(optionsFolderText(path), QDir::toNativeSeparators(text));
}

void TestOptions::dialogControls() {
    TestMain t;
    useOptions(t, [&](frmOptions *o) {
        QCOMPARE(o->objectName(), QStringLiteral("frmOptions"));
        QCOMPARE(o->windowTitle(), QStringLiteral("ｵﾌﾟｼｮﾝ"));
        QCOMPARE(o->parentWidget(), t.window.get());
        QCOMPARE(o->findChild<QWidget *>(QStringLiteral("QuorinOptionFrame"))->property("title"),
                 QVariant(QStringLiteral("ファイルの場所を決めてください")));
        QCOMPARE(o->findChild<QLabel *>(QStringLiteral("QuorinOptionFormDriveLabel"))->text(),
                 QStringLiteral("Drive"));
        QCOMPARE(o->findChild<QLabel *>(QStringLiteral("QuorinOptionFormDirLabel"))->text(),
                 QStringLiteral("Path"));
        QCOMPARE(o->findChild<QPushButton *>(QStringLiteral("cmdOK"))->text(),
                 QStringLiteral("OK"));
        QCOMPARE(o->findChild<QPushButton *>(QStringLiteral("cmdCancel"))->text(),
                 QStringLiteral("ｷｬﾝｾﾙ"));
        QVERIFY(o->driveList()->count() > 0);
        QCOMPARE(o->driveList()->objectName(), QStringLiteral("QuorinOptionFormDrive"));
        QCOMPARE(o->folderList()->objectName(), QStringLiteral("QuorinOptionFormDir"));
        QCOMPARE(pathLabel(o), QStringLiteral("ファイルの場所：") + t.state.DataFolder);
        QCOMPARE(o->size(), QSize(410, 336));
        for (QWidget *w : o->findChildren<QWidget *>())
            if (w->parentWidget() == o)
                QVERIFY2(o->rect().contains(w->geometry()), qPrintable(w->objectName()));
        // Opening alone is not a choice of drive.
        QVERIFY(t.state.OptionsDrive.isEmpty());
        const QString deep =
            t.path(QStringLiteral("さんすう/2ねん1くみ/かけざん_きろく/2024ねんど"));
        QVERIFY(QDir().mkpath(deep));
        QVERIFY(o->setCurrentFolder(deep));
        o->show();
        snapshot(o, QStringLiteral("options"));
        press(o, "cmdCancel");
    });
}

void TestOptions::openDataFolderCreatesBothFiles() {
    TestMain t;
    t.window->OpenDataFolder();
    QCOMPARE(readBytes(t.path(QStringLiteral("Quorin.ini"))),
             file({QStringLiteral(
                 "氏名;初級100点回数;中級100点回数;上級100点回数;チャレンジ100点回数")}));
    QCOMPARE(readBytes(t.path(QStringLiteral("Quorin.dat"))),
             file({QStringLiteral("氏名;得点"), QStringLiteral(";0"), QStringLiteral(";0"),
                   QStringLiteral(";0"), QStringLiteral(";0")}));
    QCOMPARE(t.state.RosterLoaded, True);
    QCOMPARE(t.window->nameCombo()->count(), 0);
    QVERIFY(t.messages.isEmpty());
}

void TestOptions::okSignsOutAndMakesTheHolder() {
    TestMain t(false);
    writeBytes(t.path(QStringLiteral("Quorin.ini")),
               newRosterFileBytes() + file({QStringLiteral("たろう;2;0;3;1")}));
    t.window->Form_Load();
    signIn(t, QStringLiteral("たろう"));
    t.window->tabStrip()->setCurrentIndex(3);
    QTemporaryDir other;
    useOptions(t, [&](frmOptions *o) {
        QVERIFY(o->setCurrentFolder(other.path() + QLatin1Char('/')));
        QCOMPARE(o->optionsPath(), QDir::toNativeSeparators(other.path()));
        QCOMPARE(pathLabel(o), QStringLiteral("ファイルの場所：") + o->optionsPath());
        press(o, "cmdOK");
    });
    QVERIFY(t.messages.isEmpty());
    QCOMPARE(t.state.DataFolder, QDir::toNativeSeparators(other.path()));
    QVERIFY(!t.state.OptionsDrive.isEmpty());
    QCOMPARE(t.state.CurrentPupilRow, qint16(0));
    // Back on tab 0, and the pupil signs in again before any activity.
    QCOMPARE(t.window->tabStrip()->currentIndex(), 0);
    QCOMPARE(selectable(*t.window), (QList<bool>{true, false, false, false, false, false}));
    QVERIFY(t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand"))->isEnabled());
    QCOMPARE(t.window->nameCombo()->count(), 0);
    QCOMPARE(readBytes(other.filePath(QStringLiteral("Quorin.ini"))), newRosterFileBytes());
    // The fresh record file makes the pupil in the name box the holder of every level in
    // which the best run is above 0, each procedure reading what the one before wrote.
    QCOMPARE(readBytes(other.filePath(QStringLiteral("Quorin.dat"))),
             file({QStringLiteral("氏名;得点"), QStringLiteral("たろう; 2"), QStringLiteral(";0"),
                   QStringLiteral("たろう; 3"), QStringLiteral("たろう; 1")}));
    QCOMPARE(t.window->streakLabel(Activity::Expert)->text(),
             streakMessage(0, 3, QStringLiteral("たろう"), 3));
    QCOMPARE(t.window->streakLabel(Activity::Intermediate)->text(), streakMessage(0, 0, {}, 0));
    // The old folder's roster is untouched.
    QCOMPARE(readBytes(t.path(QStringLiteral("Quorin.ini"))),
             newRosterFileBytes() + file({QStringLiteral("たろう;2;0;3;1")}));
}

void TestOptions::cancelKeepsFolderAndPupil() {
    TestMain t;
    signIn(t, QStringLiteral("たろう"));
    t.window->OpenDataFolder();
    signIn(t, QStringLiteral("はなこ"));
    const QString folder = t.state.DataFolder;
    QByteArray roster = readBytes(t.path(QStringLiteral("Quorin.ini")));
    roster += file({QStringLiteral("けん;0;0;0;0")});
    writeBytes(t.path(QStringLiteral("Quorin.ini")), roster);
    QFile::remove(t.path(QStringLiteral("Quorin.dat")));
    useOptions(t, [&](frmOptions *o) { press(o, "cmdCancel"); });
    QCOMPARE(t.state.DataFolder, folder);
    QCOMPARE(t.state.CurrentPupilRow, qint16(2));
    QVERIFY(t.window->isTabSelectable(4));
    QCOMPARE(t.window->nameCombo()->count(), 3);
    QCOMPARE(t.window->nameCombo()->itemText(2), QStringLiteral("けん"));
    QCOMPARE(t.window->currentNameText(), QStringLiteral("はなこ"));
    QCOMPARE(readBytes(t.path(QStringLiteral("Quorin.dat"))), newStreakFileBytes());
    QCOMPARE(readBytes(t.path(QStringLiteral("Quorin.ini"))), roster);
}

void TestOptions::secondOpeningStartsOnTheChoice() {
    TestMain t;
    QTemporaryDir other;
    const QString chosen = QDir::toNativeSeparators(other.path());
    useOptions(t, [&](frmOptions *o) {
        QVERIFY(o->setCurrentFolder(other.path()));
        press(o, "cmdOK");
    });
    const QString drive = t.state.OptionsDrive;
    QVERIFY(!drive.isEmpty());
    useOptions(t, [&](frmOptions *o) {
        QCOMPARE(o->driveList()->currentText(), drive);
        QCOMPARE(o->optionsPath(), chosen);
        QCOMPARE(pathLabel(o), QStringLiteral("ファイルの場所：") + chosen);
        auto *model = qobject_cast<QFileSystemModel *>(o->folderList()->model());
        QCOMPARE(QDir::toNativeSeparators(model->filePath(o->folderList()->currentIndex())),
                 chosen);
        press(o, "cmdCancel");
    });
    QCOMPARE(t.state.DataFolder, chosen);
}

void TestOptions::unusableFolderIsKept() {
    TestMain t;
    signIn(t, QStringLiteral("たろう"));
    const QString folder = t.state.DataFolder;
    QTemporaryDir other;
    // A folder where the roster should be, and a folder removed after it was chosen.
    QVERIFY(QDir(other.path()).mkdir(QStringLiteral("Quorin.ini")));
    QVERIFY(QDir(other.path()).mkdir(QStringLiteral("gone")));
    int accepted = -1;
    useOptions(t, [&](frmOptions *o) {
        QVERIFY(o->setCurrentFolder(other.path()));
        press(o, "cmdOK");
        QVERIFY(o->setCurrentFolder(other.filePath(QStringLiteral("gone"))));
        QVERIFY(QDir(other.path()).rmdir(QStringLiteral("gone")));
        press(o, "cmdOK");
        accepted = o->result();
        press(o, "cmdCancel");
    });
    QCOMPARE(accepted, int(QDialog::Rejected));
    QCOMPARE(t.messages.size(), 2);
    QVERIFY(t.messages[0].text.contains(QStringLiteral("Quorin.iniを読めません")));
    QVERIFY(t.messages[1].text.contains(QStringLiteral("フォルダーが見つかりません")));
    QVERIFY(t.messages[1].text.contains(folder));
    QCOMPARE(t.state.DataFolder, folder);
    QCOMPARE(t.state.CurrentPupilRow, qint16(1));
    QVERIFY(t.window->isTabSelectable(2));
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
