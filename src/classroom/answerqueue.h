#pragma once
// Answers on their way to this computer's answer log. Lines the log cannot take just now (a
// full disk, a folder that is gone or read-only, a link in the log's place, another copy
// appending to the same file) wait here and go out at the next chance, oldest first, in one
// write with the new ones. While any wait they are also kept in a file of this user's own on
// this computer (the spool), so a restart loses none of them.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>

// The most the spool holds: tens of thousands of answers, more than weeks of lessons.
inline constexpr qint64 kMaxWaitingAnswerBytes = 4 << 20;

// The spool of a data folder: in the per-user local data location, named by a hash of the
// folder's path.
QString answerSpoolPath(const QString &dataFolder);

class AnswerQueue {
public:
    // Takes over what the spool kept from an earlier run.
    AnswerQueue(const QString &dataFolder, const QString &logFileName, const QString &spoolPath);

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

private:
    void saveSpool();

    std::function<QString()> m_away;
    QString m_folder;
    QString m_logFileName;
    QString m_spoolPath;
    QByteArray m_lines;
    int m_count = 0;
    QString m_failure; // why the last write failed, with its time; empty after a success
    int m_dropped = 0; // answers neither the log nor the spool had room for
    QString m_spoolProblem;
};
