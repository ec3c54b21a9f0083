#include "records/rostermerge.h"

#include "core/numericvalue.h"
#include "records/cp932.h"
#include "records/datafile.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <climits>

namespace {

// A pupil line: its bytes as written in the file (without the line end) and its cells.
struct Line {
    QByteArray raw;
    RosterRow cells;
};

// A roster file split by the loading rule: the header line, the pupil lines, the lines kept
// between them, and the rest.
struct Lines {
    std::optional<QByteArray> header; // none when no line is a usable header
    QList<Line> pupils;
    QList<KeptLine> kept;
    QByteArray tail; // the whole file when there is no header: kept after the standard one
};

Lines splitRoster(const QByteArray &file) {
    const RosterRead read = parseRoster(file);
    Lines lines;
    lines.tail = read.tail;
    if (read.rows.isEmpty())
        return lines;
    lines.header = read.rawRows[0];
    for (qsizetype i = 1; i < read.rows.size(); ++i)
        lines.pupils.append({read.rawRows[i], read.rows[i]});
    lines.kept = read.kept;
    return lines;
}

// The five fields of a pupil line as bytes. ";" (0x3B) is never the second byte of a code
// page 932 character, so splitting the bytes splits the text the same way.
QList<QByteArray> rawFields(const QByteArray &line) {
    QList<QByteArray> fields;
    qsizetype start = 0;
    for (int j = 0; j < kRosterCells - 1; ++j) {
        const qsizetype semicolon = line.indexOf(';', start);
        if (semicolon < 0)
            break;
        fields.append(line.mid(start, semicolon - start));
        start = semicolon + 1;
    }
    fields.append(line.mid(start));
    return fields;
}

// The name a line begins with; none for a line without ";", which holds no pupil's runs.
QByteArray nameBytes(const QByteArray &line) {
    const qsizetype semicolon = line.indexOf(';');
    return semicolon < 0 ? QByteArray() : line.left(semicolon);
}

// The first line of each name.
QHash<QString, const Line *> byName(const QList<Line> &lines) {
    QHash<QString, const Line *> index;
    for (const Line &line : lines)
        if (!index.contains(line.cells[0]))
            index.insert(line.cells[0], &line);
    return index;
}

bool sameCells(const Line &a, const Line &b) {
    return a.cells == b.cells;
}

// The file's line with this copy's larger counts put in; counts that are not larger keep the
// file's bytes. A larger count is written whatever this copy last read: when another copy's
// write replaced this copy's, the count this copy holds is the one that was lost. A count
// this copy lowered below what it last read (the teacher reset it here) is its own.
QByteArray mergedLine(const Line &disk, const Line &mine, const Line *base) {
    bool larger[kRosterCells] = {};
    bool any = false;
    for (int c = 1; c < kRosterCells; ++c) {
        const double m = numericValue(mine.cells[c]);
        const bool lowered = base && m < numericValue(base->cells[c]);
        larger[c] = lowered ? mine.cells[c] != disk.cells[c] : m > numericValue(disk.cells[c]);
        any = any || larger[c];
    }
    if (!any)
        return disk.raw;
    QList<QByteArray> fields = rawFields(disk.raw);
    const QList<QByteArray> mineFields = rawFields(mine.raw);
    if (fields.size() != kRosterCells || mineFields.size() != kRosterCells)
        return disk.raw;
    for (int c = 1; c < kRosterCells; ++c)
        if (larger[c])
            fields[c] = mineFields[c];
    return fields.join(';');
}

// Whether `mine` holds the pupils it shares with `base` in another order.
bool reordered(const QList<Line> &base, const QList<Line> &mine) {
    QSet<QString> inBase, inMine;
    for (const Line &line : base)
        inBase.insert(line.cells[0]);
    for (const Line &line : mine)
        inMine.insert(line.cells[0]);
    // Each name by its first line: a name listed twice is no new order.
    QStringList a, b;
    for (const Line &line : base)
        if (inMine.contains(line.cells[0]) && !a.contains(line.cells[0]))
            a.append(line.cells[0]);
    for (const Line &line : mine)
        if (inBase.contains(line.cells[0]) && !b.contains(line.cells[0]))
            b.append(line.cells[0]);
    return a != b;
}

} // namespace

RosterMerge mergeRoster(const QByteArray &disk, const QByteArray &base, const QByteArray &mine) {
    const Lines onDisk = splitRoster(disk);
    const Lines before = splitRoster(base);
    const Lines ours = splitRoster(mine);
    const QHash<QString, const Line *> baseLines = byName(before.pupils);
    const QHash<QString, const Line *> ourLines = byName(ours.pupils);

    RosterMerge out;
    QByteArray &bytes = out.bytes;
    bytes.reserve(disk.size() + mine.size() / 8 + 64);
    bytes +=
        onDisk.header ? *onDisk.header : encodeCp932(rosterHeaderLine()).value_or(QByteArray());
    bytes += kLineEnd;

    // The file's pupils, less those this copy removed since it last read the file (the
    // teacher's class list; a renamed one goes under its new name only), then this copy's
    // pupils the file's rows do not hold. One this copy did not change that sits in the
    // unread part of the file is there already.
    struct Item {
        const Line *disk; // the file's line, or none for this copy's new pupil
        const Line *mine;
    };
    QList<Item> items;
    QSet<QString> listed;
    for (const Line &line : onDisk.pupils) {
        const QString &name = line.cells[0];
        if (baseLines.contains(name) && !ourLines.contains(name))
            continue;
        const bool first = !listed.contains(name);
        listed.insert(name);
        items.append(Item{&line, first ? ourLines.value(name) : nullptr});
    }
    QSet<QByteArray> tailNames;
    for (const RawLine &raw : splitRawLines(onDisk.tail))
        tailNames.insert(nameBytes(raw.bytes));
    for (const Line &line : ours.pupils) {
        const QString &name = line.cells[0];
        if (listed.contains(name))
            continue;
        listed.insert(name);
        const Line *baseLine = baseLines.value(name);
        if (!(baseLine && sameCells(*baseLine, line) &&
              tailNames.contains(nameBytes(baseLine->raw))))
            items.append(Item{nullptr, &line});
    }
    // A new order this copy gave the pupils it read (the class list's あいうえお order) is the
    // order of their lines; the others follow in the order they had.
    if (reordered(before.pupils, ours.pupils)) {
        QHash<QString, int> rank;
        for (int i = 0; i < ours.pupils.size(); ++i)
            if (baseLines.contains(ours.pupils[i].cells[0]) &&
                !rank.contains(ours.pupils[i].cells[0]))
                rank.insert(ours.pupils[i].cells[0], i);
        const auto rankOf = [&rank](const Item &item) {
            return rank.value((item.disk ? item.disk : item.mine)->cells[0], INT_MAX);
        };
        std::stable_sort(items.begin(), items.end(),
                         [&rankOf](const Item &a, const Item &b) { return rankOf(a) < rankOf(b); });
    }

    int row = 0;
    qsizetype nextKept = 0;
    for (const Item &item : items) {
        if (!item.disk && row >= kLastNewPupilRow) {
            out.refused.append(item.mine->cells[0]); // no row left; nobody in the file dropped
            continue;
        }
        ++row;
        for (; nextKept < onDisk.kept.size() && onDisk.kept[nextKept].beforeRow <= row; ++nextKept)
            bytes += onDisk.kept[nextKept].bytes;
        if (item.disk) {
            const Line *baseLine = baseLines.value(item.disk->cells[0]);
            bytes += item.mine ? mergedLine(*item.disk, *item.mine, baseLine) : item.disk->raw;
        } else {
            const Line *baseLine = baseLines.value(item.mine->cells[0]);
            const bool unchanged = baseLine && sameCells(*baseLine, *item.mine);
            bytes += unchanged ? baseLine->raw : item.mine->raw;
        }
        bytes += kLineEnd;
    }
    for (; nextKept < onDisk.kept.size(); ++nextKept)
        bytes += onDisk.kept[nextKept].bytes;
    bytes += onDisk.tail;
    return out;
}

void adoptRoster(ApplicationState &state, RosterFile &file, const QByteArray &bytes) {
    const int row = state.CurrentPupilRow;
    const QString name =
        row >= 1 && row < qMin(file.rows, kRosterRows) ? state.RosterTable[row][0] : QString();
    file = loadRosterBytes(state, bytes);
    if (name.isEmpty())
        return;
    const PupilSearch found = findPupil(state, file, name);
    if (!found.found) {
        state.CurrentPupilRow = 0; // nobody's row: no run is written into another pupil's line
        return;
    }
    state.CurrentPupilRow = static_cast<qint16>(found.row);
    for (Activity activity : kAllActivities) {
        ActivityFields f = activityFields(state, activity);
        f.BestStreak =
            qMax(f.BestStreak, numericValueInt16(state.RosterTable[found.row][f.rosterColumn]));
    }
}
