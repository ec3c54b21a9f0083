#include "records/roster.h"

#include "records/cp932.h"
#include "records/datafile.h"
#include "records/pupilname.h"

#include <QStringDecoder>
#include <algorithm>

QString rosterHeaderLine() {
    return QStringLiteral("氏名;初級100点回数;中級100点回数;上級100点回数;チャレンジ100点回数");
}

QByteArray newRosterFileBytes() {
    return *encodeCp932(rosterHeaderLine()) + kLineEnd;
}

namespace {

// A longer line without ";" is no name typed into a class list, but text kept as it is.
constexpr qsizetype kMaxNameAloneLength = 40;

// A line's five cells, or nothing when the line is no row: not code page 932, one to three
// ";", or an empty name. A line without any ";" holds a name alone, the way a teacher types
// a class list: a pupil with no runs yet.
std::optional<RosterRow> rowCells(const QByteArray &line) {
    const auto decoded = decodeCp932(line);
    if (!decoded)
        return std::nullopt;
    QStringView rest(*decoded);
    RosterRow row;
    if (!rest.contains(u';')) {
        if (nameProblem(*decoded).problem != NameProblem::None || decoded->trimmed().isEmpty() ||
            decoded->size() > kMaxNameAloneLength)
            return std::nullopt;
        const QString zero = QStringLiteral("0");
        return RosterRow{*decoded, zero, zero, zero, zero};
    }
    for (int j = 0; j < 4; ++j) {
        const qsizetype semicolon = rest.indexOf(u';');
        if (semicolon < 0)
            return std::nullopt;
        row[j] = rest.left(semicolon).toString();
        rest = rest.mid(semicolon + 1);
    }
    row[4] = rest.toString();
    if (row[0].isEmpty())
        return std::nullopt;
    return row;
}

// The text of a line in UTF-8 that code page 932 cannot hold (a name with 𠮷, say, in a file
// an editor saved in UTF-8): such a line is kept as it is and its name is reported. A code
// page 932 line is hardly ever valid UTF-8 as well.
std::optional<QString> utf8OnlyText(const QByteArray &line) {
    if (std::all_of(line.begin(), line.end(), [](char c) { return uchar(c) < 0x80; }))
        return std::nullopt;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(line);
    if (decoder.hasError() || isCp932Encodable(text))
        return std::nullopt;
    return text;
}

// A pupil's line rather than a header: a name alone, or counts that begin with a digit.
bool pupilRow(const RosterRow &row, const QByteArray &line) {
    if (!line.contains(';'))
        return true;
    return std::all_of(row.begin() + 1, row.end(),
                       [](const QString &cell) { return !cell.isEmpty() && cell[0].isDigit(); });
}

} // namespace

RosterRead parseRoster(const QByteArray &file) {
    const Cp932Form form = toCp932Form(file);
    RosterRead read;
    QList<QByteArray> between; // kept lines since the last row
    qsizetype start = 0, rowsEnd = 0;
    for (const RawLine &raw : splitRawLines(form.bytes)) {
        if (read.rows.size() >= kRosterRows)
            break; // the table has rows 0..100 only
        const std::optional<QString> utf8Only = utf8OnlyText(raw.bytes);
        if (utf8Only)
            read.unwritable.append(utf8Only->section(u';', 0, 0));
        const std::optional<RosterRow> row = utf8Only ? std::nullopt : rowCells(raw.bytes);
        if ((!row || pupilRow(*row, raw.bytes)) && read.rows.isEmpty() && !raw.bytes.isEmpty()) {
            // The first line that is not blank is no header: the standard header goes first,
            // and this line follows it, as a pupil or kept like any other line.
            const QStringList header = rosterHeaderLine().split(u';');
            read.rows.append({header[0], header[1], header[2], header[3], header[4]});
            read.rawRows.append(*encodeCp932(rosterHeaderLine()));
        }
        if (!row) {
            between.append(form.bytes.mid(start, raw.nextOffset - start));
        } else {
            // Blank lines before the header are written after it. There the last one's CR
            // alone would meet the LF alone that starts the line after the header, and the two
            // would read as one line end: that line is kept as CR LF, so no blank line is lost.
            if (read.rows.isEmpty() && !between.isEmpty() && between.last().endsWith('\r') &&
                raw.nextOffset < form.bytes.size() && form.bytes[raw.nextOffset] == '\n')
                between.last() += '\n';
            for (const QByteArray &kept : between)
                read.kept.append({qMax(1, int(read.rows.size())), kept});
            between.clear();
            read.rows.append(*row);
            // A name alone is written back as a whole line.
            read.rawRows.append(
                raw.bytes.contains(';')
                    ? raw.bytes
                    : *encodeCp932(QStringList(row->begin(), row->end()).join(u';')));
            rowsEnd = raw.nextOffset;
        }
        start = raw.nextOffset;
    }
    if (rowsEnd == 0 && !read.rows.isEmpty()) {
        // No pupil after a line that was no header: the whole file is kept after the header.
        read.kept.clear();
        between.clear();
    }
    read.tail = form.bytes.mid(rowsEnd);
    return read;
}

int applyRosterRead(ApplicationState &state, const RosterRead &read) {
    const int n = int(read.rows.size());
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < kRosterCells; ++c)
            state.RosterTable[r][c] = read.rows[r][c];
    return n;
}

RosterFile loadRosterBytes(ApplicationState &state, const QByteArray &file) {
    const RosterRead read = parseRoster(file);
    const int n = applyRosterRead(state, read);
    RosterFile out;
    out.tail = read.tail;
    if (n == 0) {
        // No usable header: the standard one goes first, the file's own lines after it.
        const QStringList header = rosterHeaderLine().split(u';');
        for (int c = 0; c < kRosterCells; ++c)
            state.RosterTable[0][c] = header[c];
        out.rows = 1;
        return out;
    }
    out.rows = n;
    out.kept = read.kept;
    out.unwritable = read.unwritable;
    return out;
}

std::optional<QByteArray> rosterFileBytes(const ApplicationState &state, const RosterFile &file) {
    const int rows = qMin(file.rows, kRosterRows);
    if (rows < 1 || state.RosterTable[0][0].isEmpty())
        return std::nullopt; // never a roster without its header line
    QByteArray bytes;
    qsizetype nextKept = 0;
    for (int i = 0; i < rows; ++i) {
        const QString *cells = state.RosterTable[i];
        if (cells[0].isEmpty())
            break;
        for (; nextKept < file.kept.size() && file.kept[nextKept].beforeRow <= i; ++nextKept)
            bytes += file.kept[nextKept].bytes;
        QString line = cells[0];
        for (int c = 1; c < kRosterCells; ++c)
            line += QLatin1Char(';') + cells[c];
        const auto encoded = encodeCp932(line);
        if (!encoded)
            return std::nullopt;
        bytes += *encoded;
        bytes += kLineEnd;
    }
    for (; nextKept < file.kept.size(); ++nextKept) // never a kept line dropped
        bytes += file.kept[nextKept].bytes;
    bytes += file.tail;
    return bytes;
}

QStringList rosterNames(const ApplicationState &state, const RosterFile &file) {
    QStringList names;
    for (int i = 1; i < qMin(file.rows, kRosterRows); ++i) {
        if (state.RosterTable[i][0].isEmpty())
            break;
        names.append(state.RosterTable[i][0]);
    }
    return names;
}

PupilSearch findPupil(const ApplicationState &state, const RosterFile &file, const QString &name) {
    int i = 1;
    for (; i < qMin(file.rows, kRosterRows); ++i) {
        const QString &cell = state.RosterTable[i][0];
        if (cell.isEmpty())
            break;
        if (cell == name)
            return {i, true, false};
    }
    if (i <= kLastNewPupilRow)
        return {i, false, false};
    return {0, false, true};
}
