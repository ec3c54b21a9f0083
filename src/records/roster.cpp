#include "records/roster.h"

#include "records/cp932.h"

QString rosterHeaderLine() {
    return QStringLiteral("氏名;初級100点回数;中級100点回数;上級100点回数;チャレンジ100点回数");
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
