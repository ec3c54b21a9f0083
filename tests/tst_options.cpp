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
    t.find<QAction>("mnuToolsOptions")->trigger();
    t.window->setDialogHook({});
}

void press(frmOptions *options, const char *button) {
    QTest::mouseClick(options->findChild<QPushButton *>(button), Qt::LeftButton);
}

QString pathLabel(frmOptions *options) {
    return options->findChild<QLabel *>("QuorinOptionLabel")->text();
}

} // namespace

class TestOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void cancelKeepsFolderAndPupil();
    void okSignsOutAndMakesTheHolder();
    void unusableFolderIsKept();
};

void TestOptions::cancelKeepsFolderAndPupil() {
    TestMain t;
    // On an empty folder both files are created.
    t.classroom->OpenDataFolder();
    QCOMPARE(rosterOnDisk(t), roster({}));
    QCOMPARE(readBytes(t.path("Quorin.dat")), streakLines({";0", ";0", ";0", ";0"}));
    confirmName(t, "たろう");
    const QString folder = t.state.DataFolder;
    const QByteArray file = rosterOnDisk(t) + cp932Lines({"けん;0;0;0;0"});
    writeBytes(t.path("Quorin.ini"), file);
    QFile::remove(t.path("Quorin.dat"));
    useOptions(t, [&](frmOptions *o) {
        QCOMPARE(pathLabel(o), "ファイルの場所：" + t.state.DataFolder);
        const QString deep = t.path("さんすう/2ねん1くみ/かけざん_きろく/2024ねんど");
        QVERIFY(QDir().mkpath(deep));
        QVERIFY(o->setCurrentFolder(deep));
        for (QWidget *w : o->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QVERIFY2(o->rect().contains(w->geometry()), qPrintable(w->objectName()));
        o->show();
        snapshot(o, "options");
        press(o, "cmdCancel");
    });
    // The folder and the pupil stay; the files are read (and made) again.
    QCOMPARE(t.state.DataFolder, folder);
    QCOMPARE(t.state.CurrentPupilRow, qint16(1));
    QCOMPARE(openActivities(t), 5);
    QCOMPARE(t.window->nameCombo()->itemText(1), "けん");
    QCOMPARE(readBytes(t.path("Quorin.dat")), newStreakFileBytes());
    QCOMPARE(rosterOnDisk(t), file);
}

void TestOptions::okSignsOutAndMakesTheHolder() {
    const QByteArray file = roster({"たろう;2;0;3;1"});
    auto t = withRoster(file);
    confirmName(*t, "たろう");
    t->window->tabStrip()->setCurrentIndex(3);
    QTemporaryDir other;
    useOptions(*t, [&](frmOptions *o) {
        QVERIFY(o->setCurrentFolder(other.path() + '/'));
        QCOMPARE(pathLabel(o), "ファイルの場所：" + QDir::toNativeSeparators(other.path()));
        press(o, "cmdOK");
    });
    QVERIFY(t->messages.isEmpty());
    QCOMPARE(t->state.DataFolder, QDir::toNativeSeparators(other.path()));
    // Nobody signed in, back on tab 0.
    QCOMPARE(t->state.CurrentPupilRow, qint16(0));
    QCOMPARE(t->window->tabStrip()->currentIndex(), 0);
    QCOMPARE(openActivities(*t), 0);
    QCOMPARE(readBytes(other.filePath("Quorin.ini")), newRosterFileBytes());
    // The fresh record file makes the pupil in the name box the holder of every level with
    // a best run above 0, each procedure reading what the one before wrote.
    QCOMPARE(readBytes(other.filePath("Quorin.dat")),
             streakLines({"たろう; 2", ";0", "たろう; 3", "たろう; 1"}));
    QCOMPARE(t->window->streakLabel(Activity::Expert)->text(), streakMessage(0, 3, "たろう", 3));
    QCOMPARE(rosterOnDisk(*t), file);
    // A second opening starts on the drive and folder chosen before.
    const QString drive = t->state.OptionsDrive;
    QVERIFY(!drive.isEmpty());
    useOptions(*t, [&](frmOptions *o) {
        QCOMPARE(o->driveList()->currentText(), drive);
        auto *model = qobject_cast<QFileSystemModel *>(o->folderList()->model());
        QCOMPARE(model->filePath(o->folderList()->currentIndex()), other.path());
        press(o, "cmdCancel");
    });
}

void TestOptions::unusableFolderIsKept() {
    TestMain t;
    confirmName(t, "たろう");
    const QString folder = t.state.DataFolder;
    QTemporaryDir other;
    // A folder where the roster should be, and a folder removed after it was chosen.
    QVERIFY(QDir(other.path()).mkpath("Quorin.ini"));
    QVERIFY(QDir(other.path()).mkpath("gone"));
    useOptions(t, [&](frmOptions *o) {
        QVERIFY(o->setCurrentFolder(other.path()));
        press(o, "cmdOK");
        QVERIFY(o->setCurrentFolder(other.filePath("gone")));
        QVERIFY(QDir(other.path()).rmdir("gone"));
        press(o, "cmdOK");
        QCOMPARE(o->result(), int(QDialog::Rejected));
        press(o, "cmdCancel");
    });
    QCOMPARE(t.messages.size(), 2);
    QVERIFY(t.messages[0].text.contains("Quorin.iniを読めません"));
    QVERIFY(t.messages[1].text.contains("フォルダーが見つかりません"));
    QVERIFY(t.messages[1].text.contains(folder));
    QCOMPARE(t.state.DataFolder, folder);
    QCOMPARE(t.state.CurrentPupilRow, qint16(1));
    QCOMPARE(openActivities(t), 5);
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
