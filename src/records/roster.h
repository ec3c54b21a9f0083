#pragma once
// The roster file: header line, then one line per pupil with the name and four best runs,
// fields separated by ";". Parsing here is shared by LoadRoster and the full-mark list.

#include "core/applicationstate.h"

#include <QByteArray>
#include <QList>
#include <array>

inline constexpr int kRosterCells = 5;
using RosterRow = std::array<QString, kRosterCells>;

// What reading a roster file's bytes yields.
struct RosterRead {
    QList<RosterRow> rows;        // complete rows 0..n-1 (row 0 the header line)
    // Cells taken from the line that stopped the reading (fewer than four ";"): they stay in
    // row n; the other cells of that row are untouched.
    QList<QString> partialCells;
    bool stoppedEarly = false;     // a malformed line, or a 102nd line
    qsizetype consumedBytes = 0;   // bytes of the lines that became complete rows
};

// Splits the file into rows by the loading rule: cells 0..3 are the texts before each of the
// first four ";", cell 4 the rest of the line (it may hold more ";"). Reading stops at a line
// with fewer than four ";", at a line that is not valid code page 932, or before a 102nd line.
RosterRead parseRoster(const QByteArray &file);

// Stores what was read into state.RosterTable: rows 0..n-1 whole, the partial cells in row n.
// Rows beyond keep what they held. Returns n, the number of complete rows.
int applyRosterRead(ApplicationState &state, const RosterRead &read);

// The roster's first line, exactly.
QString rosterHeaderLine();
