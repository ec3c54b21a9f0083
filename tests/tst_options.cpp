// The data-folder dialog and OpenDataFolder: choosing a folder, creating the data files,
// signing the pupil out, and folders that cannot be used.

#include "recordfiles.h"
#include "records/roster.h"
#include "records/streakrecord.h"
#include "ui/dialogs/frmoptions.h"

#include <QAction>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <functional>

namespace {

// Opens the dialog from the menu; `drive` acts in it and presses its buttons.
void useOptions(TestMain &t, const std::function<void(frmOptions *)> &drive) {
    t.window->setDialogHook([&](QDialog *dialog) { drive(qobject_cast<frmOptions *>(dialog)); });
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

} // namespace

class TestOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void dialogAndFolderText();
    void openDataFolderCreatesBothFiles();
    void okSignsOutAndMakesTheHolder();
    void cancelKeepsFolderAndPupil();
    void unusableFolderIsKept();
};

void TestOptions::dialogAndFolderText() {
    QCOMPARE(optionsFolderText(QStringLiteral("/")), QDir::toNativeSeparators("/"));
    QCOMPARE(optionsFolderText(QStringLiteral("/tmp//class/")),
             QDir::toNativeSeparators("/tmp/class"));
    TestMain t;
    useOptions(t, [&](frmOptions *o) {
        QCOMPARE(o->parentWidget(), t.window.get());
        QVERIFY(o->driveList()->count() > 0);
        QCOMPARE(pathLabel(o), QStringLiteral("ファイルの場所：") + t.state.DataFolder);
        QCOMPARE(o->findChild<QLabel *>(QStringLiteral("QuorinOptionLabel"))
                     ->palette()
                     .color(QPalette::WindowText),
                 QColor(0, 0, 255));
        // Opening alone is not a choice of drive.
        QVERIFY(t.state.OptionsDrive.isEmpty());
        const QString deep =
            t.path(QStringLiteral("さんすう/2ねん1くみ/かけざん_きろく/2024ねんど"));
        QVERIFY(QDir().mkpath(deep));
        QVERIFY(o->setCurrentFolder(deep));
        for (QWidget *w : o->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QVERIFY2(o->rect().contains(w->geometry()), qPrintable(w->objectName()));
        o->show();
        snapshot(o, QStringLiteral("options"));
        press(o, "cmdCancel");
    });
}

void TestOptions::openDataFolderCreatesBothFiles() {
    TestMain t;
    t.window->OpenDataFolder();
    QCOMPARE(rosterOnDisk(t), cp932Lines({kRosterHeader}));
    QCOMPARE(readBytes(t.path(QStringLiteral("Quorin.dat"))),
             streakLines({";0", ";0", ";0", ";0"}));
    QCOMPARE(t.state.RosterLoaded, True);
    QCOMPARE(t.window->nameCombo()->count(), 0);
    QVERIFY(t.messages.isEmpty());
}

void TestOptions::okSignsOutAndMakesTheHolder() {
    const QByteArray roster = cp932Lines({kRosterHeader, QStringLiteral("たろう;2;0;3;1")});
    auto t = withRoster(roster);
    confirmName(*t, QStringLiteral("たろう"));
    t->window->tabStrip()->setCurrentIndex(3);
    QTemporaryDir other;
    useOptions(*t, [&](frmOptions *o) {
        QVERIFY(o->setCurrentFolder(other.path() + QLatin1Char('/')));
        QCOMPARE(pathLabel(o),
                 QStringLiteral("ファイルの場所：") + QDir::toNativeSeparators(other.path()));
        press(o, "cmdOK");
    });
    QVERIFY(t->messages.isEmpty());
    QCOMPARE(t->state.DataFolder, QDir::toNativeSeparators(other.path()));
    QCOMPARE(t->state.CurrentPupilRow, qint16(0));
    // Back on tab 0; the pupil signs in again before any activity.
    QCOMPARE(t->window->tabStrip()->currentIndex(), 0);
    QVERIFY(t->window->isTabSelectable(0));
    for (int i = 1; i <= 5; ++i)
        QVERIFY(!t->window->isTabSelectable(i));
    QVERIFY(t->find<QPushButton>(QStringLiteral("QuorinIniFinCommand"))->isEnabled());
    QCOMPARE(t->window->nameCombo()->count(), 0);
    QCOMPARE(readBytes(other.filePath(QStringLiteral("Quorin.ini"))), newRosterFileBytes());
    // The fresh record file makes the pupil in the name box the holder of every level with
    // a best run above 0, each procedure reading what the one before wrote.
    QCOMPARE(readBytes(other.filePath(QStringLiteral("Quorin.dat"))),
             streakLines({QStringLiteral("たろう; 2"), ";0", QStringLiteral("たろう; 3"),
                          QStringLiteral("たろう; 1")}));
    QCOMPARE(t->window->streakLabel(Activity::Expert)->text(),
             streakMessage(0, 3, QStringLiteral("たろう"), 3));
    QCOMPARE(rosterOnDisk(*t), roster);
    // A second opening starts on the drive and folder chosen before.
    const QString drive = t->state.OptionsDrive;
    QVERIFY(!drive.isEmpty());
    useOptions(*t, [&](frmOptions *o) {
        QCOMPARE(o->driveList()->currentText(), drive);
        QCOMPARE(pathLabel(o), QStringLiteral("ファイルの場所：") + t->state.DataFolder);
        auto *model = qobject_cast<QFileSystemModel *>(o->folderList()->model());
        QCOMPARE(model->filePath(o->folderList()->currentIndex()), other.path());
        press(o, "cmdCancel");
    });
}

void TestOptions::cancelKeepsFolderAndPupil() {
    TestMain t;
    t.window->OpenDataFolder();
    confirmName(t, QStringLiteral("たろう"));
    const QString folder = t.state.DataFolder;
    const QByteArray roster = rosterOnDisk(t) + cp932Lines({QStringLiteral("けん;0;0;0;0")});
    writeBytes(t.path(QStringLiteral("Quorin.ini")), roster);
    QFile::remove(t.path(QStringLiteral("Quorin.dat")));
    useOptions(t, [&](frmOptions *o) { press(o, "cmdCancel"); });
    QCOMPARE(t.state.DataFolder, folder);
    QCOMPARE(t.state.CurrentPupilRow, qint16(1));
    QVERIFY(t.window->isTabSelectable(4));
    QCOMPARE(t.window->nameCombo()->itemText(1), QStringLiteral("けん"));
    QCOMPARE(t.window->currentNameText(), QStringLiteral("たろう"));
    QCOMPARE(readBytes(t.path(QStringLiteral("Quorin.dat"))), newStreakFileBytes());
    QCOMPARE(rosterOnDisk(t), roster);
}

void TestOptions::unusableFolderIsKept() {
    TestMain t;
    confirmName(t, QStringLiteral("たろう"));
    const QString folder = t.state.DataFolder;
    QTemporaryDir other;
    // A folder where the roster should be, and a folder removed after it was chosen.
    QVERIFY(QDir(other.path()).mkpath(QStringLiteral("Quorin.ini")));
    QVERIFY(QDir(other.path()).mkpath(QStringLiteral("gone")));
    int result = -1;
    useOptions(t, [&](frmOptions *o) {
        QVERIFY(o->setCurrentFolder(other.path()));
        press(o, "cmdOK");
        QVERIFY(o->setCurrentFolder(other.filePath(QStringLiteral("gone"))));
        QVERIFY(QDir(other.path()).rmdir(QStringLiteral("gone")));
        press(o, "cmdOK");
        result = o->result();
        press(o, "cmdCancel");
    });
    QCOMPARE(result, int(QDialog::Rejected));
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
