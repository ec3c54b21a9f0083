#include "records/roster.h"

#include "records/cp932.h"
#include "records/datafile.h"

QString rosterHeaderLine() {
    return QStringLiteral("氏名;初級100点回数;中級100点回数;上級100点回数;チャレンジ100点回数");
}

QByteArray newRosterFileBytes() {
    return *encodeCp932(rosterHeaderLine()) + kLineEnd;
}

RosterRead parseRoster(const QByteArray &file) {
    RosterRead read;
    for (const RawLine &raw : splitRawLines(file)) {
        if (read.rows.size() >= kRosterRows) {
            read.stoppedEarly = true; // a 102nd line: the table has rows 0..100 only
            break;
        }
        const auto decoded = decodeCp932(raw.bytes);
        if (!decoded) {
            read.stoppedEarly = true; // bytes that are not code page 932: a malformed line
            break;
        }
        QStringView rest(*decoded);
        RosterRow row;
        int j = 0;
        for (; j < 4; ++j) {
            const qsizetype semicolon = rest.indexOf(u';');
            if (semicolon < 0)
                break;
            row[j] = rest.left(semicolon).toString();
            rest = rest.mid(semicolon + 1);
        }
        if (j < 4) {
            for (int k = 0; k < j; ++k)
                read.partialCells.append(row[k]);
            read.stoppedEarly = true;
            break;
        }
        row[4] = rest.toString();
        if (row[0].isEmpty()) {
            // The roster ends at the first empty name; that line and the ones after it are
            // not rows of the table.
            read.partialCells = QList<QString>(row.begin(), row.end());
            read.stoppedEarly = true;
            break;
        }
        read.rows.append(row);
        read.consumedBytes = raw.nextOffset;
    }
    return read;
}

int applyRosterRead(ApplicationState &state, const RosterRead &read) {
    const int n = int(read.rows.size());
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < kRosterCells; ++c)
            state.RosterTable[r][c] = read.rows[r][c];
    if (n < kRosterRows)
        for (int c = 0; c < read.partialCells.size(); ++c)
            state.RosterTable[n][c] = read.partialCells[c];
    return n;
}

RosterFile loadRosterBytes(ApplicationState &state, const QByteArray &file) {
    const RosterRead read = parseRoster(file);
    const int n = applyRosterRead(state, read);
    RosterFile out;
    if (n == 0) {
        // No usable header: the standard one goes first, the file's own lines after it.
        const QStringList header = rosterHeaderLine().split(u';');
        for (int c = 0; c < kRosterCells; ++c)
            state.RosterTable[0][c] = header[c];
        out.rows = 1;
        out.tail = file;
        return out;
    }
    out.rows = n;
    out.tail = file.mid(read.consumedBytes);
    return out;
}

std::optional<QByteArray> rosterFileBytes(const ApplicationState &state, const RosterFile &file) {
    const int rows = qMin(file.rows, kRosterRows);
    if (rows < 1 || state.RosterTable[0][0].isEmpty())
        return std::nullopt; // never a roster without its header line
    QByteArray bytes;
    for (int i = 0; i < rows; ++i) {
        const QString *cells = state.RosterTable[i];
        if (cells[0].isEmpty())
            break;
        QString line = cells[0];
        for (int c = 1; c < kRosterCells; ++c)
            line += QLatin1Char(';') + cells[c];
        const auto encoded = encodeCp932(line);
        if (!encoded)
            return std::nullopt;
        bytes += *encoded;
        bytes += kLineEnd;
    }
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
