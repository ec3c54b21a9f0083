#pragma once
// Best runs and class records that the data folder could not take (a full disk, a read-only
// or vanished folder, a share that is away or held): kept in a file of this user's own on
// this computer, beside the answer spool of the same running copy, so that a restart loses
// none of them. They are written, merged with what the files hold then, once the folder
// takes them; a run another copy has beaten meanwhile stays beaten.

#include "core/applicationstate.h"

#include <QList>
#include <QString>

struct KeptRun {
    enum Kind { Best, Record }; // a pupil's best run in the roster, or the class record
    Kind kind = Best;
    Activity activity = Activity::Novice;
    qint16 run = 0;
    QString name; // the pupil, or the record's holder
    bool operator==(const KeptRun &) const = default;
};

// The most a kept-runs file is read up to: four records and four runs of every row, many
// times over.
inline constexpr qint64 kMaxKeptRunBytes = 64 * 1024;

// The file's lines ("Quorin kept runs 1", then "best|record;<activity 0-3>;<run>;<name>");
// lines that do not read so are left out.
QByteArray keptRunsBytes(const QList<KeptRun> &runs);
QList<KeptRun> parseKeptRuns(const QByteArray &bytes);

// The kept runs of one data folder for one running copy: `path` (empty: memory only) is read
// at once and written at every change (removed when nothing is kept).
class RunSpool {
public:
    explicit RunSpool(const QString &path = QString());
    QString path() const { return m_path; }
    const QList<KeptRun> &runs() const { return m_runs; }
    bool isEmpty() const { return m_runs.isEmpty(); }
    // Keeps `run`; of the same pupil and activity (or the same activity's record) only the
    // larger run is kept, a tie keeping the earlier one.
    void keep(const KeptRun &run);
    void forget(const KeptRun &run);
    // Takes in the runs another copy kept at `path` (one that no longer runs); the file is
    // removed once they are kept in this one's.
    void adopt(const QString &path);
    // Why the file cannot be read or written, or empty.
    QString problem() const { return m_problem; }

private:
    void save();
    QString m_path;
    QList<KeptRun> m_runs;
    QString m_problem;
};
