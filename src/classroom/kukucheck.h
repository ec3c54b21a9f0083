#pragma once
// 九九けんてい: a pupil says one row of the table (the facts a × 1 … a × 9) one of three
// ways (CheckWay) against the clock; the row passes that way when all nine are right at the
// first try within the teacher's time limit for that way. Every answer goes to the answer
// log under the check's own activity ("けんてい 7のだん さがり"), and the pupil's card
// (九九カード) is read back from the logs alone, so every computer on the folder shows the
// same card. The teacher may stamp a cell after hearing the child; that stamp is a line of
// its own ("けんてい 7のだん あがり せんせい") and shows apart from the pupil's own passes.

#include "classroom/answerlog.h"
#include "core/shuffle.h"

#include <QDate>
#include <QList>
#include <QString>

#include <array>

// The time limits the teacher can choose for a way, in milliseconds; 0 is no limit.
inline constexpr int kCheckLimitsMs[] = {20000, 30000, 45000, 0};
inline constexpr int kDefaultCheckLimitMs = 30000;

// The traditional reading of a × b (1..9 each): "しちに じゅうし", "いんいち が いち".
QString kukuReading(int a, int b);

// The multipliers of a check in the order asked: 1..9, 9..1, or the nine in random order.
QList<int> checkOrder(CheckWay way, RandomSource &random);

// One check being taken: nine questions a × order[i], one at a time.
class KukuCheck {
public:
    enum class Outcome {
        Running, // the next question waits
        Passed,  // all nine right within the limit
        Wrong,   // a wrong answer ended the check at once
        TooSlow, // all nine right, but the limit was passed
    };

    KukuCheck() = default;
    KukuCheck(int row, CheckWay way, const QList<int> &order, int limitMs);

    int row() const { return m_row; }
    CheckWay way() const { return m_way; }
    int limitMs() const { return m_limitMs; }
    // The question being asked (0..8) or, once over, the last one asked.
    int index() const { return m_index; }
    int multiplier() const { return m_order.value(m_index); }
    // The nine multipliers in the order asked.
    const QList<int> &order() const { return m_order; }
    Outcome outcome() const { return m_outcome; }
    bool running() const { return m_outcome == Outcome::Running && m_order.size() == 9; }
    // The time of the answers so far: each from the moment its question could be answered.
    int totalMs() const { return m_totalMs; }
    // Grades the answer to the current question, given `ms` after it could be answered, and
    // moves on. The answer as the log takes it is lastAnswer().
    Outcome answer(int given, int ms);
    const FactAnswer &lastAnswer() const { return m_last; }
    // The log's tag for lastAnswer().
    CheckTag lastTag() const { return {m_row, m_way, m_lastIndex == 0, false}; }

private:
    int m_row = 0;
    CheckWay m_way = CheckWay::Up;
    QList<int> m_order;
    int m_limitMs = 0;
    int m_index = 0;
    int m_totalMs = 0;
    int m_lastIndex = -1; // the question lastAnswer() answered
    Outcome m_outcome = Outcome::Running;
    FactAnswer m_last;
};

// Whether the nine answers, as read from the log, pass the row that way within `limitMs`
// (0: no limit): nine lines, all right, every fact of the row, in order for あがり and さがり,
// the nine times (all known) adding up to at most the limit.
bool checkPassed(const AnswerRecord *lines, qsizetype count, int limitMs);

// One cell of the card: the day the pupil first passed, the day the teacher first stamped
// (null when not).
struct CardCell {
    QDate passed;
    QDate stamped;
    bool done() const { return passed.isValid() || stamped.isValid(); }
    bool operator==(const CardCell &) const = default;
};

struct KukuCard {
    std::array<std::array<CardCell, kCheckWays>, 9> cells{}; // [row - 1][way]
    const CardCell &cell(int row, CheckWay way) const { return cells[row - 1][int(way)]; }
    CardCell &cell(int row, CheckWay way) { return cells[row - 1][int(way)]; }
    // ごうかく: the row is done all three ways.
    bool rowPassed(int row) const;
    // The lines of one pupil's checks from one log, in the order written: each check starts
    // at its first question's line and ends at a wrong answer or the ninth line.
    void addCheckLines(const QList<AnswerRecord> &lines,
                       const std::array<int, kCheckWays> &limitsMs);
    void addStamp(const CheckStamp &stamp);
};

// A pupil of the roster with their card, for the class's view of the check.
struct PupilCard {
    QString name;
    KukuCard card;
};

// The class view's cell of a pupil's row: "◎" for ごうかく, else how many ways are done
// ("2", "1"), else "・".
QString classCellText(const KukuCard &card, int row);
// For each row (index row - 1), how many of the pupils passed it (ごうかく).
std::array<int, 9> rowPassCounts(const QList<PupilCard> &cards);
// Whether any pupil has a cell done: the class has begun the check.
bool anyCardCell(const QList<PupilCard> &cards);

// Whether the mask of rows (bit n for row n, as kept in the data folder) holds `row`.
inline bool rowTaught(quint16 rows, int row) {
    return row >= 1 && row <= 9 && (rows >> row & 1);
}
