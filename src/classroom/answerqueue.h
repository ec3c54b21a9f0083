#pragma once
// Answers on their way to this computer's answer log. Lines the log cannot take just now (a
// full disk, a folder that is gone or read-only, a link in the log's place, another copy
// appending to the same file) wait here and go out at the next chance, oldest first, in one
// write with the new ones. While any wait they are also kept in a file of this user's own on
// this computer (the spool), so a restart loses none of them.

#include <QByteArray>
#include <QDateTime>
#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

// The most the spool holds: tens of thousands of answers, more than weeks of lessons.
inline constexpr qint64 kMaxWaitingAnswerBytes = 4 << 20;

// The spool of a data folder: in the per-user local data location, named by a hash of the
// folder's path. Each running copy of the program has a spool of its own (several copies
// under one account must never write over each other's): the first of kSpoolSlots files
// that no running copy holds, this path or this path with "-1" … before ".csv".
QString answerSpoolPath(const QString &dataFolder);
inline constexpr int kSpoolSlots = 8;

class AnswerQueue {
public:
    // Takes a spool no other running copy holds, with what an earlier run kept in it, and
    // the answers of spools that copies which are no longer running left behind.
    AnswerQueue(const QString &dataFolder, const QString &logFileName, const QString &spoolPath);
    ~AnswerQueue();

    QString dataFolder() const { return m_folder; }
    QString logPath() const;

    // Adds the lines of `count` answers (each with its CR LF) and writes every line waiting.
    void add(const QByteArray &lines, int count);
    // Writes the lines waiting; true when none is left.
    bool flush();
    // Asked before every write: why the data folder must not be written now (a share that
    // dropped to its bare mount point), or empty. The lines then wait.
    void setAwayCheck(std::function<QString()> check) { m_away = std::move(check); }

    int waiting() const { return m_count; }
    // Answers wait because the log could not be written (not merely busy for a moment).
    bool kept() const { return m_count > 0 && !m_failure.isEmpty(); }
    // For the teacher: what waits and why, what was lost; empty while all is well.
    QString problem() const;

    // The spool this queue writes; empty when every slot is held by a running copy.
    QString spoolPath() const { return m_spoolPath; }
    // A file kept beside a spool: its path with `ending` (".runs") for its ".csv".
    static QString besideSpool(const QString &spoolPath, const QString &ending);
    // Gives `adopt` the file with `ending` beside each spool no running copy holds (this
    // copy's own left out), with that spool's slot held meanwhile: what ended copies kept
    // beside their answers is taken in the same way as their answers.
    void adoptLeftFiles(const QString &ending, const std::function<void(const QString &)> &adopt);

private:
    void saveSpool();
    // Takes in the lines of spools of this data folder that no running copy holds: they are
    // kept in this queue's spool before theirs is removed.
    void adoptLeftSpools();
    static QString slotPath(const QString &spoolPath, int slot);

    std::function<QString()> m_away;
    QString m_folder;
    QString m_logFileName;
    QString m_spoolPath, m_firstSpoolPath;
    std::unique_ptr<QLockFile> m_spoolLock; // held while this copy runs
    QByteArray m_lines;
    int m_count = 0;
    QString m_failure; // why the last write failed, with its time; empty after a success
    int m_dropped = 0; // answers neither the log nor the spool had room for
    QString m_spoolProblem;
};
