// libFuzzer target over the data files: the roster parser and writer, the roster merge, and
// the record file's reader and rewrite. An input is one file, or up to three files separated
// by form feeds (the file on disk, this copy's base, this copy's roster) for the merge.
// Any broken property aborts, so libFuzzer keeps the input.

#include "core/numericvalue.h"
#include "records/cp932.h"
#include "records/rosterchanges.h"
#include "records/rostermerge.h"
#include "records/streakrecord.h"

#include <QSet>

#include <cstdio>
#include <cstdlib>

namespace {

void require(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

// The rows as loading takes them (a file without a usable header reads as the standard
// header with the whole file unread).
QList<RosterRow> rowsOf(const QByteArray &file) {
    const RosterRead read = parseRoster(file);
    if (!read.rows.isEmpty())
        return read.rows;
    const QStringList header = rosterHeaderLine().split(u';');
    return {RosterRow{header[0], header[1], header[2], header[3], header[4]}};
}

// The lines no row takes in, each with its line end, by where they stand: entry r - 1 the
// lines just before row r, the last entry the lines after the last row. Blank lines before
// the header stand before row 1, where they are written; with no row 1 they are the first
// lines after the header, as the unread part of the saved file.
using LinesBetweenRows = QList<QList<QByteArray>>;
LinesBetweenRows linesBetweenRows(const QByteArray &file) {
    const RosterRead read = parseRoster(file);
    LinesBetweenRows between(qMax<qsizetype>(read.rows.size(), 1));
    for (const KeptLine &kept : read.kept)
        between[qMin<qsizetype>(kept.beforeRow, between.size()) - 1].append(kept.bytes);
    qsizetype start = 0;
    for (const RawLine &line : splitRawLines(read.tail)) {
        between.last().append(read.tail.mid(start, line.nextOffset - start));
        start = line.nextOffset;
    }
    return between;
}

// What this copy would write for `file` after loading it unchanged.
QByteArray savedUnchanged(const QByteArray &file) {
    ApplicationState s;
    const RosterFile roster = loadRosterBytes(s, file);
    const auto bytes = rosterFileBytes(s, roster);
    require(bytes.has_value(), "a loaded roster can be written");
    return *bytes;
}

// The rows in the form the program writes: code page 932, the header line first, every line
// of the rows (each holding all its cells) and the lines between them ended by CR LF.
bool writtenForm(const QByteArray &file) {
    const RosterRead read = parseRoster(file);
    if (read.rows.isEmpty() || toCp932Form(file).converted ||
        !file.startsWith(read.rawRows[0] + "\r\n"))
        return false;
    for (const QByteArray &row : read.rawRows) // a name alone is written as a whole line
        if (!file.contains(row + "\r\n"))
            return false;
    const QByteArray rows = file.chopped(read.tail.size());
    const qsizetype pairs = rows.count("\r\n");
    return rows.endsWith("\r\n") && rows.count('\r') == pairs && rows.count('\n') == pairs;
}

void checkRoster(const QByteArray &file) {
    // Loading and saving without a change keeps every row's text and every line no row takes
    // in, byte for byte and between the same rows; a file in the written form comes back byte
    // for byte.
    const QByteArray saved = mergeRoster(file, file, savedUnchanged(file)).bytes;
    require(rowsOf(saved) == rowsOf(file), "rows round-trip");
    require(linesBetweenRows(saved) == linesBetweenRows(file), "unread lines kept in place");
    if (writtenForm(file))
        require(saved == file, "written form round-trips byte for byte");
}

// Whether this copy only added since it read `base`: every pupil of `base` still held, in
// the same order, no count lower. Removals, resets and a new order are this copy's to write.
bool onlyAdded(const QByteArray &base, const QByteArray &mine) {
    // Each name by its first line, as sign-in and the merge take it: a name listed again
    // further down gives no new order.
    // (The header is no pupil: a pupil may share its first cell.)
    const auto firstLines = [](const QList<RosterRow> &rows) {
        QList<RosterRow> out = rows.mid(0, 1);
        QSet<QString> seen;
        for (const RosterRow &row : rows.mid(1))
            if (!seen.contains(row[0])) {
                seen.insert(row[0]);
                out.append(row);
            }
        return out;
    };
    const QList<RosterRow> was = firstLines(rowsOf(base)), now = firstLines(rowsOf(mine));
    qsizetype at = 1;
    for (const RosterRow &row : was.mid(1)) {
        while (at < now.size() && now[at][0] != row[0])
            ++at;
        if (at == now.size())
            return false;
        for (int c = 1; c < kRosterCells; ++c)
            if (numericValue(now[at][c]) < numericValue(row[c]))
                return false;
        ++at;
    }
    return true;
}

void checkMerge(const QByteArray &disk, const QByteArray &base, const QByteArray &mine) {
    const RosterMerge merged = mergeRoster(disk, base, mine);
    require(mergeRoster(merged.bytes, base, mine).bytes == merged.bytes, "merge settles");
    const QList<RosterRow> after = rowsOf(merged.bytes);
    if (!onlyAdded(base, mine)) {
        // The file's pupils this copy did not remove are all still there.
        QStringList removed, kept;
        for (const RosterRow &row : rowsOf(base).mid(1))
            removed << row[0];
        for (const RosterRow &row : rowsOf(mine).mid(1))
            removed.removeAll(row[0]);
        for (const RosterRow &row : after.mid(1))
            kept << row[0];
        for (const RosterRow &row : rowsOf(disk).mid(1))
            require(removed.contains(row[0]) || kept.contains(row[0]), "file's pupils kept");
        return;
    }
    // Nobody in the file is dropped and no count in it goes down. Every line no row takes in
    // keeps its bytes: before the same row of the file, or after the file's last row in its
    // order (this copy's new pupils may come between).
    const QList<RosterRow> before = rowsOf(disk);
    require(after.size() >= before.size(), "file's rows kept");
    const LinesBetweenRows diskLines = linesBetweenRows(disk);
    LinesBetweenRows mergedLines = linesBetweenRows(merged.bytes);
    QList<QByteArray> afterLast;
    for (const QList<QByteArray> &lines : mergedLines.mid(before.size() - 1))
        afterLast += lines;
    mergedLines.resize(before.size() - 1);
    mergedLines.append(afterLast);
    require(mergedLines == diskLines, "file's lines kept");
    for (qsizetype r = 1; r < before.size(); ++r) {
        require(after[r][0] == before[r][0], "file's pupils keep their rows");
        for (int c = 1; c < kRosterCells; ++c)
            require(numericValue(after[r][c]) >= numericValue(before[r][c]), "counts grow");
    }
    // Every pupil of this copy is in the merged file (in its rows, or in the unread part
    // already), or refused for want of a row.
    QStringList inTail;
    for (const RawLine &line : splitRawLines(parseRoster(disk).tail))
        inTail << decodeCp932(line.bytes.left(line.bytes.indexOf(';'))).value_or(QString());
    for (const RosterRow &row : rowsOf(mine).mid(1)) {
        bool present = merged.refused.contains(row[0]) || inTail.contains(row[0]);
        for (qsizetype r = 1; r < after.size() && !present; ++r)
            present = after[r][0] == row[0];
        require(present, "this copy's pupils kept");
    }
}

void checkRecords(const QByteArray &file, Activity activity) {
    const QString name = "たろう";
    ApplicationState s;
    readStreakRecord(s, activity, file, name);
    const ActivityFields f = activityFields(s, activity);
    if (f.RecordHolder.isEmpty() && !raiseStreakRecord(file, activity, name, 32767))
        return; // not a record file the procedure reads
    require(!raiseStreakRecord(file, activity, name, f.RecordStreak), "a tie keeps the holder");
    if (f.RecordStreak == 32767)
        return;
    const qint16 run = static_cast<qint16>(f.RecordStreak + 1);
    const auto raised = raiseStreakRecord(file, activity, name, run);
    require(raised.has_value(), "a longer run is written");
    ApplicationState t;
    readStreakRecord(t, activity, *raised, name);
    const ActivityFields g = activityFields(t, activity);
    require(g.RecordHolder == name && g.RecordStreak == run, "new record reads back");
    for (int k = 1; k < 5; ++k)
        if (k != f.streakRow)
            require(t.StreakRecordTable[k][0] == s.StreakRecordTable[k][0] &&
                        t.StreakRecordTable[k][1] == s.StreakRecordTable[k][1],
                    "other records unchanged");
}

} // namespace

// The file of the teacher's changes as anyone may leave it: read, written again and read back
// the same; its changes, and those found between two rosters, applied to a roster give a
// roster that reads with no nameless pupil; the changes found between two rosters leave out
// of the first every pupil the second does not hold.
void checkChanges(const QByteArray &file, const QByteArray &before, const QByteArray &after) {
    const RosterChanges told = parseRosterChanges(file);
    require(parseRosterChanges(rosterChangesBytes(told)) == told, "changes round-trip");
    const QList<RosterChange> found = rosterChangesBetween(before, after);
    const RosterRead applied = parseRoster(applyRosterChanges(after, told.changes + found));
    for (qsizetype i = 1; i < applied.rows.size(); ++i)
        require(!applied.rows[i][0].isEmpty(), "changes: a pupil without a name");
    QStringList kept;
    for (const RosterRow &row : parseRoster(after).rows.mid(1))
        kept.append(row[0]);
    for (const RosterRow &row : parseRoster(applyRosterChanges(before, found)).rows.mid(1))
        require(kept.contains(row[0]), "changes: a removed pupil stays");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 16384)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QByteArray> files = input.split('\f');
    const QByteArray &disk = files[0];
    const QByteArray &base = files.size() > 1 ? files[1] : disk;
    const QByteArray &mine = files.size() > 2 ? files[2] : base;
    checkRoster(disk);
    checkMerge(disk, base, mine);
    checkChanges(disk, base, mine);
    checkRecords(disk, kAllActivities[size % 4]); // each input tries one activity's line
    return 0;
}
