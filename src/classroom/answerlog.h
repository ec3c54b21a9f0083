#pragma once
// The answer log: one line for every question answered in practice, the three levels and the
// challenge, graded at its first confirm. Each computer appends to a file of its own in the
// data folder; the file is UTF-8 CSV with a byte order mark and a header line, so a
// spreadsheet opens it with the Japanese intact:
//
//   日時,名前,活動,かけられる数,かける数,はじめの答え,おわり,かかった時間(ミリ秒),はじめの数
//   2026-12-07 10:15:03,たろう,レベル1,3,4,○,,2140,12
//   2026-12-07 10:21:40,たろう,レベル2,7,8,×,とちゅう,5321,54
//
// The time is the computer's local time. A name holding a comma or a double quote is quoted
// with the quotes doubled; a name a spreadsheet would take for a formula gets a leading
// apostrophe. The last column says "とちゅう" for answers of a set that was left before it
// was graded. The time is how long the pupil took from the moment the question could be
// answered (its box got the focus with the question shown) to the first confirm, and the
// number is the one given then; both are empty when not known. Lines end in CR LF.
//
// Reading takes every computer's file and skips lines that do not read as answers (a torn
// last line, a line edited in a spreadsheet), counting them. Files that older copies wrote
// (six or seven columns, without times; "answers-<host>.csv") and files a spreadsheet saved again
// (code page 932, UTF-16, more columns) read too.

#include <QByteArray>
#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class QIODevice;

// What a logged answer was given in; the order is that of the tabs, then the practice of the
// pupil's weak facts.
enum class LoggedActivity {
    Practice = 0,
    Novice = 1,
    Intermediate = 2,
    Expert = 3,
    Challenge = 4,
    WeakFacts = 5,
    Check = 6 // 九九けんてい: its word names the row and the way, see checkActivityLabel
};
// The activities with a fixed word in the file.
inline constexpr int kLoggedActivities = 6;

// The activity's word in the file: the caption of its tab ("けんてい" for the check).
QString loggedActivityLabel(LoggedActivity activity);

// The three ways a row of the table is said in the check: in order (a × 1 … a × 9),
// backwards (a × 9 … a × 1) and the nine facts in random order.
enum class CheckWay : quint8 { Up = 0, Down = 1, Mixed = 2 };
inline constexpr int kCheckWays = 3;
QString checkWayLabel(CheckWay way); // あがり, さがり, ばらばら

// What a line of the check says beyond its fact: the row and the way ("けんてい 7のだん
// さがり"), whether it is the first question of a check (the last column says "はじめ", so
// that the lines of one check are told from those of the next), and whether it is the
// teacher's stamp rather than an answer ("けんてい 7のだん あがり せんせい").
struct CheckTag {
    int row = 0; // 1..9
    CheckWay way = CheckWay::Up;
    bool start = false;
    bool teacher = false;
};
QString checkActivityLabel(int row, CheckWay way, bool teacher);
// A line's check code: 1 + (row - 1) * 3 + way; 0 for a line of any other activity.
inline int checkCode(int row, CheckWay way) {
    return 1 + (row - 1) * kCheckWays + int(way);
}
inline int checkCodeRow(int code) {
    return (code - 1) / kCheckWays + 1;
}
inline CheckWay checkCodeWay(int code) {
    return CheckWay((code - 1) % kCheckWays);
}

// One question as graded at its first confirm: the fact a × b (1..9 each) and whether the
// first answer was right.
struct FactAnswer {
    int a = 0;
    int b = 0;
    bool right = false;
    int ms = -1;   // from the moment the box could be answered to the first confirm; -1: unknown
    int given = 0; // the number given at the first confirm; 0: unknown
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
    bool unfinished = false; // the set was left before it was graded
    QString tablet{};        // the tablet that sent it, for the class server's lines
    CheckTag check{};        // for LoggedActivity::Check
};

// The name of a computer's log file: "answers-<host>-<code>.csv". The host part is the host
// name folded to lower-case ASCII for people to recognise; the code is a hash of the exact
// host name and of the installation's identifier, so two host names that fold alike and two
// cloned computers with one host name still write two files.
QString answerLogFileName(const QString &hostName, const QString &installationId);
// The same for this installation on the computer the program runs on.
QString ownAnswerLogFileName();
// This installation's identifier: made once at random and kept in the settings store. A
// settings store copied to another computer with the disk image (a different host name or
// machine id) gets a new one there.
QString installationId();
// The pattern every computer's log file matches (the older "answers-<host>.csv" too).
QString answerLogFilePattern();

// The start of a new log file: the byte order mark and the header line.
QByteArray answerLogHeader();
// One line, with its CR LF.
QByteArray answerLogLine(const LoggedAnswer &answer);
// A name as a CSV field: quoted when it holds a comma, a quote or a line break, and with an
// apostrophe in front when a spreadsheet would read it as a formula (or when it starts with
// an apostrophe itself, so that it reads back unchanged).
QByteArray answerLogNameField(const QString &name);

// The outcome of an append.
struct AppendResult {
    enum Status {
        Written,
        Busy,   // another copy is appending to the same file just now: nothing was written
        Failed, // `reason` says why, in plain Japanese for the teacher
    };
    Status status = Written;
    QString reason;
};

// Appends the lines to the log file at `path` in one write, under a short lock of that file
// of its own ("<log>.lock"), so copies that share the file (cloned computers) never
// interleave their lines even where the share does not append atomically. The file gets its
// header when it is empty; a file whose last line was torn (a write cut short) gets a line
// end first, so the new line reads on its own. A write that fails half way is cut back to
// where it started when the file allows it. Only an ordinary file is ever written: a link, a
// FIFO or a device at the log's name is refused.
AppendResult appendAnswerLog(const QString &path, const QByteArray &lines);

// Makes appendAnswerLog fail while the object lives, as a full disk does: after writing
// `failAfterBytes` bytes of the lines (0: nothing).
class AppendFaultForTesting {
public:
    explicit AppendFaultForTesting(qint64 failAfterBytes = 0);
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
    bool unfinished = false;
    quint8 check = 0;        // a check's answer: its checkCode; 0 for any other activity
    bool checkStart = false; // the first question of a check
    qint32 second = 0;       // the time of day, in seconds
    qint32 ms = -1;          // how long the first answer took; -1 when the line does not say
};

// The longest line read as an answer; longer lines are damaged and skipped unread.
inline constexpr qsizetype kMaxAnswerLineBytes = 1024;

// The teacher's stamp on a pupil's check card: no answer, kept apart from them.
struct CheckStamp {
    qint32 day = 0; // the date as a Julian day number
    qint32 pupil = 0;
    quint8 check = 0; // checkCode
};

struct AnswerLogs {
    QStringList pupils; // every name found, in order of first appearance
    QList<AnswerRecord> answers;
    QList<CheckStamp> stamps;
    int damagedLines = 0;
    QStringList files;      // the file names read
    QStringList unreadable; // files that are there but could not be read, with the reason

    // Reads one file from the device, a piece at a time; lines that are not answers are
    // counted as damaged. False when reading failed.
    bool addFile(QIODevice &device);
    bool addFile(const QByteArray &bytes);
    // Parses one line (UTF-8 or code page 932) without its line end; false when it is no
    // answer line.
    bool addLine(QByteArrayView line, char separator = ',');

private:
    bool addUtf8Line(QByteArrayView line, char separator);
    bool parseWhen(QByteArrayView text, qint32 &day, qint32 &second);

    QHash<QString, int> m_pupilIndex;
    QByteArray m_lastName; // the pupil of the line read last, and its index
    int m_lastPupil = -1;
    QByteArray m_lastDateText; // the day of the line read last, as written and as read
    QDate m_lastDate;
    qint32 m_lastDay = 0; // m_lastDate as a Julian day number
    // Fields that had to be unquoted, kept from line to line so that reading allocates once.
    QByteArray m_unquoted[9];
};

// Reads every computer's log in the folder. Only ordinary files are opened; anything else
// matching the pattern (a link, a FIFO, a folder) is listed as unreadable.
AnswerLogs readAnswerLogs(const QString &folder);

// The same read a slice at a time on the caller's own thread, for a window that stays usable
// while a school year of logs is read. (Not in another thread: with MinGW's runtime, a thread
// that read files while the window's thread handled events left the Windows program hanging
// at its exit.)
class AnswerLogReader {
public:
    explicit AnswerLogReader(const QString &folder);
    ~AnswerLogReader();
    AnswerLogReader(const AnswerLogReader &) = delete;
    AnswerLogReader &operator=(const AnswerLogReader &) = delete;
    // Reads whole pieces for about `budgetMs`; true once every file is read.
    bool readFor(int budgetMs);
    qint64 bytesDone() const { return m_done; }
    qint64 bytesTotal() const { return m_total; }
    AnswerLogs &logs() { return m_logs; }

private:
    struct File;
    QFileInfoList m_entries;
    qsizetype m_next = 0;
    std::unique_ptr<File> m_file; // the file being read
    QByteArray m_buffer;
    AnswerLogs m_logs;
    qint64 m_done = 0;
    qint64 m_total = 0;
};

// Makes readAnswerLogs pause for `pauseMs` after each piece it reads while the object lives
// (for tests of a read that takes long).
class SlowLogReadForTesting {
public:
    explicit SlowLogReadForTesting(int pauseMs);
    ~SlowLogReadForTesting();
    SlowLogReadForTesting(const SlowLogReadForTesting &) = delete;
    SlowLogReadForTesting &operator=(const SlowLogReadForTesting &) = delete;
};
