#pragma once
// What each pupil knows of the 81 facts, from every computer's answer log.
//
// A fact is known when it is recalled rather than worked out: right, within the teacher's
// time limit, in 2 of its last 3 answers. It is "not yet" while it was never answered right,
// and "learning" in between. A line of an older log has no time: its right answer counts as
// in time only when the teacher set no time limit.

#include "classroom/answerlog.h"
#include "classroom/kukucheck.h"
#include "core/shuffle.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <array>

enum class FactState : quint8 { NotYet, Learning, Known };

// The time limits the teacher can choose, in milliseconds; 0 is no limit.
inline constexpr int kFactLimitsMs[] = {3000, 6000, 12000, 0};
inline constexpr int kDefaultFactLimitMs = 6000;

// One answer to a fact: when (seconds on one clock for all the logs), whether it was right,
// and how long it took (-1: not known).
struct FactTry {
    qint64 at = 0;
    bool right = false;
    qint32 ms = -1;
};

// The answers of one pupil to one fact, as far as the state needs them: whether it was ever
// right, and the last three.
struct FactHistory {
    bool everRight = false;
    quint8 count = 0;              // answers kept in `last`, at most 3
    std::array<FactTry, 3> last{}; // oldest first
    void add(const FactTry &answer);
    FactState state(int limitMs) const;
    // The longest time of the right answers kept (the slowest of a known fact); -1: none.
    qint32 slowestRightMs() const;
    qint64 lastAt() const { return count ? last[count - 1].at : 0; }
};

// The 81 facts of one pupil, fact a × b at index (a - 1) * 9 + (b - 1).
using PupilFacts = std::array<FactHistory, 81>;
inline int factIndex(int a, int b) {
    return (a - 1) * 9 + (b - 1);
}

// The facts of every pupil in the logs, by the index of AnswerLogs::pupils.
QList<PupilFacts> factTallies(const AnswerLogs &logs);
// When an answer record was given, on the clock FactTry uses.
qint64 answerTime(const AnswerRecord &answer);

// How many of the pupil's facts are known.
int knownFacts(const PupilFacts &facts, int limitMs);

// The facts read from the logs in a data folder, kept and brought up to date by reading only
// what the computers appended since, whatever the file's encoding (UTF-8 as written, code page
// 932 or UTF-16 as a spreadsheet saved it again); a file that shrank or changed at its start
// is read again from its beginning.
class FactIndex {
public:
    // Reads what is new in the folder's logs, a piece at a time, for about `budgetMs` (< 0:
    // until done); the folder changing starts afresh. True when every log is read to its end;
    // otherwise the next call reads on.
    bool update(const QString &folder, int budgetMs = -1);
    // The pupil's facts (all "not yet" for a pupil without answers).
    PupilFacts facts(const QString &pupil) const;
    // The pupil's check card, each way judged against its time limit (0: none).
    KukuCard card(const QString &pupil, const std::array<int, kCheckWays> &limitsMs) const;
    // Every byte read from the logs so far (to see that only what is new is read).
    qint64 bytesRead() const { return m_bytesRead; }

private:
    // The answers themselves are kept (a few bytes each), not every name's 81 facts: a log
    // may hold any number of names.
    struct File {
        qint64 offset = 0;  // bytes read, up to a line end
        QByteArray head;    // the file's first bytes when read, to see it replaced
        QByteArray before;  // the bytes read last, up to `offset`, likewise
        QByteArray context; // put before what is read on: the byte order mark and header line
        QHash<QString, int> index;          // pupil -> into `answers`
        QList<QList<AnswerRecord>> answers; // by pupil
        // The check's lines again, and the teacher's stamps, by pupil like `answers`: few,
        // so a card is read quickly.
        QList<QList<AnswerRecord>> checks;
        QList<QList<CheckStamp>> stamps;
    };
    // Reads the next piece of the file at `path` into `f`; false when nothing was left.
    bool readPiece(const QString &path, File &f);
    QString m_folder;
    QHash<QString, File> m_files;
    qint64 m_bytesRead = 0;
};

// A set of にがて れんしゅう: kWeakSetSize questions, in order.
struct WeakSet {
    QList<QPair<int, int>> questions; // a, b
    QList<int> weakFacts;             // the facts (factIndex) being learnt, both orders
};
inline constexpr int kWeakSetSize = 12;

// Deals a set for a pupil whose facts are `facts`, at time `now` (FactTry's clock).
// The facts of a pair (7 × 6 and 6 × 7) go together; a pair is weak while either is not
// known. The weak pairs come in this order: those last answered on an earlier day (they come
// back), then those answered today, then those never answered; among them those whose last
// answer was wrong, the longest unseen, then the rows of 6, 7 and 8 first.
// The first pairs are taken up to 4 facts (at least 2 where there are), each asked twice
// and never twice in a row, mixed with known facts (at least two). A pupil who knows every
// fact practises the slowest known ones.
// Only facts of the rows in `rows` (bit n for row n: the rows the class has learned) are
// asked; a pair is weak while one of its facts there is not known.
WeakSet dealWeakSet(const PupilFacts &facts, int limitMs, qint64 now, RandomSource &random,
                    quint16 rows = 0x3FE);
