#pragma once
// The roster file: header line, then one line per pupil with the name and four best runs,
// fields separated by ";". Parsing here is shared by LoadRoster and the full-mark list.

#include "core/applicationstate.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <array>
#include <optional>

inline constexpr int kRosterCells = 5;
using RosterRow = std::array<QString, kRosterCells>;

// Highest row a new pupil may take: a new name is refused once rows 1..99 are used. A file
// that already holds a pupil in row 100 keeps it, and that pupil can still sign in.
inline constexpr int kLastNewPupilRow = 99;

// What reading a roster file's bytes yields.
struct RosterRead {
    QList<RosterRow> rows; // complete rows 0..n-1 (row 0 the header line)
    // Cells taken from the line that stopped the reading (fewer than four ";", or a complete
    // line whose name is empty): they stay in row n; the other cells of that row are
    // untouched.
    QList<QString> partialCells;
    bool stoppedEarly = false;   // a malformed line, an empty name, or a 102nd line
    qsizetype consumedBytes = 0; // bytes of the lines that became complete rows
};

// Splits the file into rows by the loading rule: cells 0..3 are the texts before each of the
// first four ";", cell 4 the rest of the line (it may hold more ";"). Reading stops at a line
// with fewer than four ";", at a line that is not valid code page 932, at a line whose name
// is empty (the roster ends at the first empty name), or before a 102nd line.
RosterRead parseRoster(const QByteArray &file);

// Stores what was read into state.RosterTable: rows 0..n-1 whole, the partial cells in row n.
// Rows beyond keep what they held. Returns n, the number of complete rows.
int applyRosterRead(ApplicationState &state, const RosterRead &read);

// The roster's first line, exactly.
QString rosterHeaderLine();
// A new roster file: the header line and CR LF.
QByteArray newRosterFileBytes();

// What the program keeps of the roster file between a load and the next save: how many
// rows of RosterTable are the roster, and the part of the file the load did not take in
// (a malformed line and everything after it, or lines beyond row 100). The rows are written
// first and that part after them, byte for byte, so a save never drops a line it could not
// read.
struct RosterFile {
    int rows = 0; // RosterTable rows 0..rows-1 (row 0 the header); 0 while no file was read
    QByteArray tail;
};

// LoadRoster's work on the file's bytes: fills RosterTable (rows beyond those read keep
// their contents) and returns what the next save needs. A file whose first line is not a
// usable header (empty, malformed) gets the standard header in row 0, and the whole file is
// kept as the part after the rows.
RosterFile loadRosterBytes(ApplicationState &state, const QByteArray &file);

// SaveRoster's bytes: rows 0, 1, ... up to the first empty name (never beyond `file.rows`
// nor row 100), each as its five cells joined by ";" and CR LF, then `file.tail`. nullopt
// when there is no header row to write or a cell cannot be written in code page 932.
std::optional<QByteArray> rosterFileBytes(const ApplicationState &state, const RosterFile &file);

// The names of rows 1..rows-1 in file order, for the name list.
QStringList rosterNames(const ApplicationState &state, const RosterFile &file);

// Sign-in's search: the row holding exactly `name` (case, width and spaces count), or the
// first free row for a new pupil, or neither when the roster is full.
struct PupilSearch {
    int row = 0; // the found or the free row; 0 when full
    bool found = false;
    bool full = false; // not found and rows 1..99 all taken
};
PupilSearch findPupil(const ApplicationState &state, const RosterFile &file, const QString &name);
