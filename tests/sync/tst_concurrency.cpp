// Processes sharing one data folder: several savers at once, and a saver of another user in
// front of a roster the teacher made read-only.

#include "records/datafile.h"
#include "records/foldersync.h"
#include "records/streakrecord.h"
#include "saverplan.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

QByteArray readAll(const QString &path) {
    return readDataFile(path).value_or(QByteArray());
}

// Every save ends with the disk's flush, which takes the disk's time and tests nothing here:
// the folders live in a memory filesystem where the system has one.
QString folderTemplate() {
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? QStringLiteral("/dev/shm/quorin-XXXXXX")
                                           : QDir::tempPath() + QStringLiteral("/quorin-XXXXXX");
}

// A folder with both data files as the program creates them (and `roster` when given).
struct Folder {
    QTemporaryDir dir{folderTemplate()};
    QString ini = dir.filePath(QStringLiteral("Quorin.ini"));
    QString dat = dir.filePath(QStringLiteral("Quorin.dat"));
    explicit Folder(const QByteArray &roster = newRosterFileBytes()) {
        saveDataFile(ini, roster);
        saveDataFile(dat, newStreakFileBytes());
    }
};

QByteArray describe(QProcess *p) {
    return "exit " + QByteArray::number(p->exitCode()) + ": " + p->readAll();
}

} // namespace

class TestConcurrency : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void copiesLoseNothing_data();
    void copiesLoseNothing();
    void readOnlyRosterLeftAlone();
};

// Counts what the savers 1..copies left in the files: every pupil, each pupil's longest run
// per activity, and each activity's class record (the longest run of all, with its pupil).
int entriesKept(const Folder &folder, int copies, int *total) {
    ApplicationState s;
    const RosterFile file = loadRosterBytes(s, readAll(folder.ini));
    int kept = 0;
    int best[4][3] = {}; // per activity: run, saver, pupil of the longest run written
    for (int k = 1; k <= copies; ++k) {
        for (int j = 0; j < plan::kPupils; ++j) {
            const PupilSearch found = findPupil(s, file, plan::pupil(k, j));
            kept += found.found;
            for (int a = 0; a < 4; ++a) {
                int largest = 0;
                for (int i = plan::kPupils; i < plan::kSaves; ++i) {
                    if (plan::pupilOf(i) != j || plan::activityOf(i) != a)
                        continue;
                    largest = qMax(largest, plan::runOf(k, i));
                    if (plan::runOf(k, i) > best[a][0])
                        best[a][0] = plan::runOf(k, i), best[a][1] = k, best[a][2] = j;
                }
                kept += found.found && s.RosterTable[found.row][a + 1] == QString::number(largest);
            }
        }
    }
    const QByteArray records = readAll(folder.dat);
    for (int a = 0; a < 4; ++a) {
        const Activity activity = static_cast<Activity>(a);
        readStreakRecord(s, activity, records, QString());
        const ActivityFields f = activityFields(s, activity);
        kept += f.RecordHolder == plan::pupil(best[a][1], best[a][2]) &&
                int(f.RecordStreak) == best[a][0];
    }
    *total = copies * plan::kPupils * 5 + 4;
    return kept;
}

void TestConcurrency::copiesLoseNothing_data() {
    QTest::addColumn<int>("copies");
    QTest::addColumn<bool>("powerless");
    QTest::newRow("three copies, one lock") << 3 << false;
#ifdef Q_OS_UNIX
    // Each copy reaches the shared files through symbolic links from a folder of its own, so
    // each takes a lock nobody else asks for; flock() does nothing and renames are slow. Every
    // copy saves once more at the end, one after the other, as the program does at a later
    // save: what was overwritten must come back then, and no copy may think it saved what
    // it did not.
    QTest::newRow("four copies, powerless lock") << 4 << true;
#endif
}

void TestConcurrency::copiesLoseNothing() {
    QFETCH(int, copies);
    QFETCH(bool, powerless);
    Folder folder;
    std::vector<std::unique_ptr<QTemporaryDir>> own;
    QList<QProcess *> savers;
    for (int k = 1; k <= copies; ++k) {
        QString path = folder.dir.path();
        if (powerless) {
            own.push_back(std::make_unique<QTemporaryDir>(folderTemplate()));
            path = own.back()->path();
            QVERIFY(QFile::link(folder.ini, own.back()->filePath(QStringLiteral("Quorin.ini"))));
            QVERIFY(QFile::link(folder.dat, own.back()->filePath(QStringLiteral("Quorin.dat"))));
        }
        auto *p = new QProcess(this);
        p->setProcessChannelMode(QProcess::MergedChannels);
#ifdef QUORIN_SLOWRENAME
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (powerless)
            env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(QUORIN_SLOWRENAME));
        p->setProcessEnvironment(env);
#endif
        QStringList args{QStringLiteral("share"), path, QString::number(k)};
        p->start(QStringLiteral(QUORIN_SAVER), powerless ? args << QStringLiteral("wait") : args);
        savers << p;
    }
    for (QProcess *p : savers) // with a powerless lock, all copies done before any goes on
        QVERIFY2(!powerless || (p->waitForReadyRead(100000) && p->readAll() == "done\n"),
                 describe(p).constData());
    for (QProcess *p : savers) {
        p->write(powerless ? "go\n" : "");
        QVERIFY(p->waitForFinished(100000));
        QVERIFY2(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0,
                 describe(p).constData());
    }
    for (const auto &dir : own) // saved through the links, not over them
        QVERIFY(QFileInfo(dir->filePath(QStringLiteral("Quorin.ini"))).isSymLink());
    int total = 0;
    const int kept = entriesKept(folder, copies, &total);
    qInfo("%d processes x %d saves: %d of %d entries kept (pupils, counts, records)", copies,
          plan::kSaves, kept, total);
    QCOMPARE(kept, total);
}

void TestConcurrency::readOnlyRosterLeftAlone() {
    // File modes mean nothing to root, so the saver runs as an ordinary user. The folder lets
    // it write (a save could rename a new file over the old one); the roster does not.
#ifndef Q_OS_UNIX
    QSKIP("runs the saver as another user through setpriv, which only Linux has");
#else
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (::geteuid() != 0 || setpriv.isEmpty())
        QSKIP("needs root and setpriv to run the saver as another user");
    // A copy of the saver where that user may run it, whatever the build folder's modes.
    QTemporaryDir bin;
    const QString saver = bin.filePath(QStringLiteral("quorin_saver"));
    QVERIFY(QFile::copy(QStringLiteral(QUORIN_SAVER), saver));
    QVERIFY(QFile::setPermissions(bin.path(), QFileDevice::Permissions(0x7755)));
    Folder folder;
    QVERIFY(QFile::setPermissions(folder.dir.path(), QFileDevice::Permissions(0x7777)));
    QVERIFY(QFile::setPermissions(folder.dat, QFileDevice::Permissions(0x6666)));
    QVERIFY(QFile::setPermissions(folder.ini, QFileDevice::Permissions(0x4444)));
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                      QStringLiteral("--clear-groups"), saver, QStringLiteral("share"),
                      folder.dir.path(), QStringLiteral("1")});
    QVERIFY(p.waitForFinished(30000));
    const QString said = QString::fromUtf8(p.readAll());
    QCOMPARE(p.exitCode(), 2);
    QVERIFY2(said.contains(QStringLiteral("読み取り専用")), qPrintable(said));
    QCOMPARE(readAll(folder.ini), newRosterFileBytes());
#endif
}

QTEST_GUILESS_MAIN(TestConcurrency)
#include "tst_concurrency.moc"
