// Saving the roster of a full class (100 pupils) as SaveRoster does it now: the folder's
// lock, the file read again, merged with this copy's change, written and renamed into place.
// Prints the median of many saves, alone and after another copy changed the file.

#include "records/cp932.h"
#include "records/datafile.h"
#include "records/foldersync.h"
#include "records/rostermerge.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

namespace {

constexpr int kSaves = 200;

QByteArray fullClass() {
    QString text = rosterHeaderLine() + QStringLiteral("\r\n");
    for (int i = 1; i <= 100; ++i)
        text += QStringLiteral("児童%1;%2;0;%3;1\r\n").arg(i).arg(i % 5).arg(i % 3);
    return encodeCp932(text).value();
}

double medianMs(QList<qint64> ns) {
    std::sort(ns.begin(), ns.end());
    return ns[ns.size() / 2] / 1e6;
}

} // namespace

class BenchSave : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void saveFullClass_data();
    void saveFullClass();
    void mergeOnly();
};

void BenchSave::saveFullClass_data() {
    QTest::addColumn<bool>("otherCopyWrote");
    QTest::newRow("nobody else wrote") << false;
    QTest::newRow("another copy wrote before each save") << true;
}

void BenchSave::saveFullClass() {
    QFETCH(bool, otherCopyWrote);
    QTemporaryDir dir;
    ApplicationState s;
    initialiseApplicationState(s, dir.path());
    QVERIFY(saveDataFile(s.rosterPath(), fullClass()).ok);
    FolderSync sync;
    RosterFile file;
    sync.rosterLoaded(s, file, s.rosterPath(), readDataFile(s.rosterPath()));
    QCOMPARE(file.rows, 101);

    QList<qint64> times;
    QElapsedTimer timer;
    for (int n = 1; n <= kSaves; ++n) {
        if (otherCopyWrote) {
            // Another copy raises a different pupil's count (not timed).
            ApplicationState t;
            RosterFile theirs = loadRosterBytes(t, readDataFile(s.rosterPath()).value());
            t.RosterTable[100 - n % 50][2] = QString::number(100 + n);
            QVERIFY(saveDataFile(s.rosterPath(), rosterFileBytes(t, theirs).value()).ok);
        }
        s.CurrentPupilRow = static_cast<qint16>(1 + n % 50);
        s.RosterTable[s.CurrentPupilRow][1] = QString::number(100 + n);
        timer.start();
        const SyncOutcome outcome = sync.saveRoster(s, file, s.rosterPath());
        times << timer.nsecsElapsed();
        QCOMPARE(outcome.status, SyncStatus::Saved);
    }
    qInfo("%s: median %.2f ms per save of 100 pupils with lock and merge (%d saves)",
          QTest::currentDataTag(), medianMs(times), kSaves);
}

void BenchSave::mergeOnly() {
    const QByteArray base = fullClass();
    ApplicationState s;
    const RosterFile file = loadRosterBytes(s, base);
    s.RosterTable[7][1] = QStringLiteral("9");
    const QByteArray mine = rosterFileBytes(s, file).value();
    const QByteArray disk = base;
    QList<qint64> times;
    QElapsedTimer timer;
    for (int n = 0; n < kSaves; ++n) {
        timer.start();
        const RosterMerge merged = mergeRoster(disk, base, mine);
        times << timer.nsecsElapsed();
        QCOMPARE(merged.bytes, mine);
    }
    qInfo("merge alone: median %.3f ms for 100 pupils", medianMs(times));
}

QTEST_GUILESS_MAIN(BenchSave)
#include "bench_save.moc"
