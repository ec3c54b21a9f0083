#include "classroom/runspool.h"

#include "records/ownfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {
const QByteArray kFirstLine = QByteArrayLiteral("Quorin kept runs 1");

bool sameSlot(const KeptRun &a, const KeptRun &b) {
    return a.kind == b.kind && a.activity == b.activity &&
           (a.kind == KeptRun::Record || a.name == b.name);
}
} // namespace

QByteArray keptRunsBytes(const QList<KeptRun> &runs) {
    QByteArray out = kFirstLine + '\n';
    for (const KeptRun &run : runs)
        out += (run.kind == KeptRun::Best ? "best;" : "record;") +
               QByteArray::number(int(run.activity)) + ';' + QByteArray::number(run.run) + ';' +
               run.name.toUtf8() + '\n';
    return out;
}

QList<KeptRun> parseKeptRuns(const QByteArray &bytes) {
    QList<KeptRun> runs;
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.isEmpty() || lines[0] != kFirstLine)
        return runs;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(';');
        if (fields.size() != 4 || (fields[0] != "best" && fields[0] != "record"))
            continue;
        bool activityRead = false, runRead = false;
        const int activity = fields[1].toInt(&activityRead);
        const int run = fields[2].toInt(&runRead);
        const QString name = QString::fromUtf8(fields[3]);
        if (!activityRead || activity < 0 || activity > 3 || !runRead || run <= 0 || run > 32767 ||
            name.isEmpty())
            continue;
        runs.append({fields[0] == "best" ? KeptRun::Best : KeptRun::Record, Activity(activity),
                     qint16(run), name});
    }
    return runs;
}

namespace {
// The runs kept at `path` (none when there is no file); `problem` says why one that is there
// cannot be read.
QList<KeptRun> readKeptRuns(const QString &path, QString *problem) {
    const OwnFile own = openOwnFile(path, OwnFileMode::Read);
    if (own.state == OwnFile::Refused)
        *problem = own.reason;
    if (own.state != OwnFile::Opened)
        return {};
    const std::optional<QByteArray> bytes = readOwnFile(*own.file, kMaxKeptRunBytes, problem);
    return bytes ? parseKeptRuns(*bytes) : QList<KeptRun>();
}
} // namespace

RunSpool::RunSpool(const QString &path) : m_path(path) {
    if (!m_path.isEmpty())
        for (const KeptRun &run : readKeptRuns(m_path, &m_problem))
            keep(run);
}

void RunSpool::adopt(const QString &path) {
    QString problem;
    const QList<KeptRun> runs = readKeptRuns(path, &problem);
    if (m_path.isEmpty() || !problem.isEmpty())
        return; // left where they are
    for (const KeptRun &run : runs)
        keep(run);
    if (m_problem.isEmpty()) // kept in this copy's file
        QFile::remove(path);
}

void RunSpool::keep(const KeptRun &run) {
    for (KeptRun &kept : m_runs) {
        if (!sameSlot(kept, run))
            continue;
        if (run.run <= kept.run)
            return;
        kept = run;
        save();
        return;
    }
    m_runs.append(run);
    save();
}

void RunSpool::forget(const KeptRun &run) {
    if (m_runs.removeAll(run) > 0)
        save();
}

void RunSpool::save() {
    if (m_path.isEmpty())
        return;
    if (m_runs.isEmpty()) {
        if (checkOwnPath(m_path).ordinaryFile)
            QFile::remove(m_path);
        return;
    }
    // Written beside and renamed into place: the file is either the old one or the new one.
    QDir().mkpath(QFileInfo(m_path).path());
    QSaveFile file(m_path);
    const QByteArray bytes = keptRunsBytes(m_runs);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) {
        m_problem.clear();
        return;
    }
    m_problem = QStringLiteral("取ってある記録をこのコンピューターのファイル（%1）にも保存"
                               "できません。プログラムを終わると消えます。")
                    .arg(QDir::toNativeSeparators(m_path));
}
