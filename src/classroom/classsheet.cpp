#include "classroom/classsheet.h"

#include <QHash>
#include <QSet>
#include <limits>

namespace {

QString dayText(const QDate &day) {
    static const QString weekdays[7] = {
        QStringLiteral("月"), QStringLiteral("火"), QStringLiteral("水"), QStringLiteral("木"),
        QStringLiteral("金"), QStringLiteral("土"), QStringLiteral("日")};
    return QStringLiteral("%1年%2月%3日（%4）")
        .arg(day.year())
        .arg(day.month())
        .arg(day.day())
        .arg(weekdays[day.dayOfWeek() - 1]);
}

} // namespace

SheetRange sheetRange(SheetPeriod period, const QDate &today) {
    switch (period) {
    case SheetPeriod::ThisWeek:
        return {today.addDays(1 - today.dayOfWeek()), today};
    case SheetPeriod::ThisMonth:
        return {QDate(today.year(), today.month(), 1), today};
    case SheetPeriod::All:
        break;
    }
    return {QDate(), today};
}

QString sheetPeriodLabel(SheetPeriod period) {
    switch (period) {
    case SheetPeriod::ThisWeek:
        return QStringLiteral("今週");
    case SheetPeriod::ThisMonth:
        return QStringLiteral("今月");
    case SheetPeriod::All:
        break;
    }
    return QStringLiteral("すべて");
}

QString sheetRangeText(const SheetRange &range) {
    if (!range.first.isValid() || !range.last.isValid())
        return QStringLiteral("答えの記録はまだありません");
    if (range.first == range.last)
        return dayText(range.first);
    return dayText(range.first) + QStringLiteral("～") + dayText(range.last);
}

QStringList sheetPupilChoices(const ClassRoster &roster, const AnswerLogs &logs) {
    // The names looked up in a set: a log may hold very many of them.
    QStringList names;
    QSet<QString> taken;
    for (const RosterPupil &pupil : roster.pupils) {
        names << pupil.name;
        taken.insert(pupil.name);
    }
    for (const QString &name : logs.pupils)
        if (!taken.contains(name))
            names << name;
    return names;
}

ClassSheet buildClassSheet(const ClassRoster &roster, const AnswerLogs &logs, SheetPeriod period,
                           const QDate &today, const QString &pupil, int limitMs) {
    ClassSheet sheet;
    sheet.className = roster.className;
    sheet.period = period;
    sheet.range = sheetRange(period, today);
    sheet.pupil = pupil;
    sheet.records = roster.records;
    sheet.damagedLines = logs.damagedLines;
    sheet.files = logs.files;
    sheet.unreadable = logs.unreadable;

    // One pass over the answers: the counts of each name in the log and the grid.
    const qint64 first = sheet.range.first.isValid() ? sheet.range.first.toJulianDay() : 0;
    // "All" also takes answers dated after today by a computer whose clock is ahead.
    const qint64 last =
        period == SheetPeriod::All ? std::numeric_limits<qint32>::max() : today.toJulianDay();
    const int shownPupil = pupil.isEmpty() ? -1 : int(logs.pupils.indexOf(pupil));
    QList<int> answered(logs.pupils.size()), wrong(logs.pupils.size());
    qint64 earliest = std::numeric_limits<qint64>::max(), latest = 0;
    for (const AnswerRecord &r : logs.answers) {
        if (r.day < first || r.day > last)
            continue;
        earliest = qMin<qint64>(earliest, r.day);
        latest = qMax<qint64>(latest, r.day);
        ++answered[r.pupil];
        if (!r.right)
            ++wrong[r.pupil];
        if (shownPupil >= 0 && r.pupil != shownPupil)
            continue;
        FactTally &fact = sheet.facts[(r.a - 1) * 9 + (r.b - 1)];
        ++fact.answered;
        if (!r.right)
            ++fact.wrong;
    }
    for (const int n : answered)
        sheet.answered += n;
    if (period == SheetPeriod::All)
        sheet.range = latest
                          ? SheetRange{QDate::fromJulianDay(earliest), QDate::fromJulianDay(latest)}
                          : SheetRange{};

    QHash<QString, int> logIndex;
    for (int i = 0; i < logs.pupils.size(); ++i)
        logIndex.insert(logs.pupils[i], i);
    // What each pupil of the roster knows, from every answer (only theirs: a log may hold
    // any number of other names); the grid's share is over those with answers, or the one
    // pupil shown.
    QHash<int, int> slot; // log index -> facts
    for (const RosterPupil &p : roster.pupils)
        if (const int i = logIndex.value(p.name, -1); i >= 0 && !slot.contains(i))
            slot.insert(i, int(slot.size()));
    if (shownPupil >= 0 && !slot.contains(shownPupil))
        slot.insert(shownPupil, int(slot.size()));
    QList<PupilFacts> facts(slot.size());
    for (const AnswerRecord &r : logs.answers)
        if (const auto it = slot.constFind(r.pupil); it != slot.constEnd())
            facts[*it][factIndex(r.a, r.b)].add({answerTime(r), r.right, r.ms});
    for (auto it = slot.cbegin(); it != slot.cend(); ++it) {
        if (shownPupil >= 0 && it.key() != shownPupil)
            continue;
        for (int f = 0; f < kFactCount; ++f) {
            const FactState state = facts[*it][f].state(limitMs);
            sheet.facts[f].pupils += 1;
            sheet.facts[f].knownBy += state == FactState::Known;
            if (shownPupil >= 0)
                sheet.facts[f].state = state;
        }
    }
    for (const RosterPupil &p : roster.pupils) {
        PupilLine line;
        line.name = p.name;
        line.best = p.best;
        for (int k = 0; k < 4; ++k)
            line.holdsRecord[k] = !roster.records[k].holder.isEmpty() &&
                                  roster.records[k].holder == p.name && roster.records[k].run > 0;
        const int i = logIndex.value(p.name, -1);
        if (i >= 0) {
            line.answered = answered[i];
            line.wrong = wrong[i];
            line.known = knownFacts(facts[slot.value(i)], limitMs);
        }
        if (line.answered == 0)
            sheet.idle << p.name;
        sheet.pupils << line;
    }
    return sheet;
}
