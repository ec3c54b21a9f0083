#pragma once
// The teacher's class sheet, without widgets: every pupil of the roster with the four best
// runs and the class records, the share of wrong first answers for each of the 81 facts over
// a period (for the class or for one pupil), and the pupils who answered nothing in it.

#include "classroom/answerlog.h"
#include "classroom/factstate.h"
#include "core/applicationstate.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>

enum class SheetPeriod { ThisWeek = 0, ThisMonth = 1, All = 2 };

// The days a sheet covers. `first` is invalid for "all", which runs from the earliest answer.
struct SheetRange {
    QDate first;
    QDate last;
};
// The week runs from Monday, the month from its first day; both up to `today`.
SheetRange sheetRange(SheetPeriod period, const QDate &today);
// The period's name on the sheet: "今週", "今月", "すべて".
QString sheetPeriodLabel(SheetPeriod period);
// "2026年12月7日（月）～2026年12月11日（金）"; for "all", the days the answers cover.
QString sheetRangeText(const SheetRange &range);

// A pupil of the roster: the name and the best runs of the four graded activities.
struct RosterPupil {
    QString name;
    std::array<int, 4> best{};
};
// The class record of one activity; `holder` empty when there is none.
struct ClassRecord {
    QString holder;
    int run = 0;
};
// What the roster and the record file give the sheet.
struct ClassRoster {
    QString className;
    QList<RosterPupil> pupils;
    std::array<ClassRecord, 4> records;
};

// Answers to one fact: how many first answers, how many of them wrong.
struct FactTally {
    int answered = 0;
    int wrong = 0;
    // Of the roster's pupils with answers (the class grid), how many know the fact; for one
    // pupil's grid, 1 when the pupil knows it. Known facts count every answer, whatever the
    // period (a fact is known by its last answers).
    int knownBy = 0;
    int pupils = 0;
    FactState state = FactState::NotYet; // one pupil's grid: the pupil's state of the fact
    // The share of wrong first answers, 0..1; -1 when nothing was answered.
    double wrongShare() const { return answered ? double(wrong) / answered : -1.0; }
};

// One line of the sheet's table.
struct PupilLine {
    QString name;
    std::array<int, 4> best{};
    std::array<bool, 4> holdsRecord{};
    int answered = 0; // answers in the period
    int wrong = 0;
    int known = 0; // facts known, from all the answers
};

struct ClassSheet {
    QString className;
    SheetPeriod period = SheetPeriod::All;
    SheetRange range;                          // for "all": from the first to the last answer
    QString pupil;                             // the grid's pupil; empty for the whole class
    std::array<FactTally, kFactCount> facts{}; // fact (a-1)*9 + (b-1)
    QList<PupilLine> pupils;                   // the roster's pupils, in roster order
    QStringList idle;                          // roster pupils with no answer in the period
    std::array<ClassRecord, 4> records;
    int answered = 0; // every answer of the period (the class, whatever the grid shows)
    int damagedLines = 0;
    QStringList files;
    QStringList unreadable;
    QString logProblem; // this computer's failed appends, from the model
};

// Builds the sheet for `period` ending `today`, with the grid for `pupil` (empty: the class).
// The class's grid takes every answer in the logs, also of names no longer in the roster.
// Facts are known within `limitMs` (see factstate.h).
ClassSheet buildClassSheet(const ClassRoster &roster, const AnswerLogs &logs, SheetPeriod period,
                           const QDate &today, const QString &pupil = QString(),
                           int limitMs = kDefaultFactLimitMs);

// The names the grid can be shown for: the roster's, then others found in the logs.
QStringList sheetPupilChoices(const ClassRoster &roster, const AnswerLogs &logs);
