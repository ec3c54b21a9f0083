#pragma once
// The answer log: one line for every question answered in practice, the three levels and the
// challenge, graded at its first confirm. Each computer appends to a file of its own in the
// data folder ("answers-<host>.csv"), so copies on a shared folder never write the same
// file. The file is UTF-8 CSV with a byte order mark and a header line, so a spreadsheet
// opens it with the Japanese intact:
//
//   日時,名前,活動,かけられる数,かける数,はじめの答え
//   2026-12-07 10:15:03,たろう,レベル1,3,4,○
//
// The time is the computer's local time; a name holding a comma or a double quote is quoted
// with the quotes doubled. Lines end in CR LF. Reading takes every computer's file and skips
// lines that do not read as answers (a torn last line, a line edited in a spreadsheet),
// counting them.

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// What a logged answer was given in; the order is that of the tabs.
enum class LoggedActivity { Practice = 0, Novice = 1, Intermediate = 2, Expert = 3, Challenge = 4 };
inline constexpr int kLoggedActivities = 5;

// The activity's word in the file: the caption of its tab.
QString loggedActivityLabel(LoggedActivity activity);

// One question as graded at its first confirm: the fact a × b (1..9 each) and whether the
// first answer was right.
struct FactAnswer {
    int a = 0;
    int b = 0;
    bool right = false;
    bool operator==(const FactAnswer &) const = default;
};

// The fact of a question label ("３　×　７　＝　"); a and b are 0 when the text holds none.
FactAnswer factAnswer(const QString &questionText, bool right);

// One line of the log.
struct LoggedAnswer {
    QDateTime when;
    QString pupil;
    LoggedActivity activity = LoggedActivity::Practice;
    FactAnswer answer;
};

// The name of this computer's log file for a host name: lower case, every character outside
// a-z, 0-9, "-", "_" and "." made "_", "pc" for an empty name.
QString answerLogFileName(const QString &hostName);
// The same for the computer the program runs on.
QString ownAnswerLogFileName();
// The pattern every computer's log file matches.
QString answerLogFilePattern();

// The start of a new log file: the byte order mark and the header line.
QByteArray answerLogHeader();
// One line, with its CR LF.
QByteArray answerLogLine(const LoggedAnswer &answer);

// Appends the lines to the log file at `path` in one write, creating the file with its header
// when it is missing. A file whose last line was torn (a write cut short) gets a line end
// first, so the new line reads. Returns why it failed, or an empty text.
QString appendAnswerLog(const QString &path, const QByteArray &lines);

// Makes appendAnswerLog fail while the object lives (for tests of the failure path).
class AppendFaultForTesting {
public:
    AppendFaultForTesting();
    ~AppendFaultForTesting();
    AppendFaultForTesting(const AppendFaultForTesting &) = delete;
    AppendFaultForTesting &operator=(const AppendFaultForTesting &) = delete;
};

// Every answer read from the logs, in a compact form for the class sheet.
struct AnswerRecord {
    qint32 day = 0;   // the date as a Julian day number
    qint32 pupil = 0; // index into AnswerLogs::pupils
    quint8 activity = 0;
    quint8 a = 0;
    quint8 b = 0;
    bool right = false;
};

struct AnswerLogs {
    QStringList pupils; // every name found, in order of first appearance
    QList<AnswerRecord> answers;
    int damagedLines = 0;
    QStringList files;      // the file names read
    QStringList unreadable; // files that are there but could not be read

    // Reads one file's bytes; lines that are not answers are counted as damaged.
    void addFile(const QByteArray &bytes);
    // Parses one line without its line end; false when it is no answer line.
    bool addLine(QByteArrayView line);

private:
    bool parseWhen(QByteArrayView text, QDate &date, QTime &time);

    QHash<QString, int> m_pupilIndex;
    QByteArray m_lastName; // the pupil of the line read last, and its index
    int m_lastPupil = -1;
    QByteArray m_lastDateText; // the day of the line read last, as written and as read
    QDate m_lastDate;
};

// Reads every computer's log in the folder.
AnswerLogs readAnswerLogs(const QString &folder);
