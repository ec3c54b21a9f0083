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

// A line of the roster file that is no row of the table (blank, fewer than four ";", not
// readable as code page 932, an empty name, a name code page 932 cannot hold), kept with its
// line end byte for byte and written again just before table row `beforeRow`.
struct KeptLine {
    int beforeRow = 1;
    QByteArray bytes;
    bool operator==(const KeptLine &) const = default;
};

// What reading a roster file's bytes yields.
struct RosterRead {
    QList<RosterRow> rows;     // rows 0..n-1 (row 0 the header line)
    QList<QByteArray> rawRows; // each row's line as code page 932 bytes, without its end
    QList<KeptLine> kept;      // lines between rows (before the header: kept after it, the
                               // last one's CR alone as CR LF when an LF line follows it)
    QByteArray tail;           // everything after the last row's line (or the whole file)
    QStringList unwritable;    // names of kept lines in UTF-8 that code page 932 cannot hold
};

// Splits the file into rows by the loading rule: cells 0..3 are the texts before each of the
// first four ";", cell 4 the rest of the line (it may hold more ";"). The first line that
// splits so is the header. Reading goes on past a line that is no pupil's, which is kept;
// it stops after row 100. A file in another encoding is read in its code page 932 form
// (toCp932Form), and every byte above refers to that form.
RosterRead parseRoster(const QByteArray &file);

// Stores the rows read into state.RosterTable rows 0..n-1; rows beyond keep what they held.
// Returns n, the number of rows.
int applyRosterRead(ApplicationState &state, const RosterRead &read);

// The roster's first line, exactly.
QString rosterHeaderLine();
// A new roster file: the header line and CR LF.
QByteArray newRosterFileBytes();

// What the program keeps of the roster file between a load and the next save: how many
// rows of RosterTable are the roster, the lines between them that the load did not take in,
// and the part after the last row (lines after row 100 and any line no row follows). Those
// lines are written again in their places, byte for byte, so a save never drops a line it
// could not read.
struct RosterFile {
    int rows = 0; // RosterTable rows 0..rows-1 (row 0 the header); 0 while no file was read
    QList<KeptLine> kept;
    QByteArray tail;
    QStringList unwritable; // names in kept lines that code page 932 cannot hold (not offered)
};

// LoadRoster's work on the file's bytes: fills RosterTable (rows beyond those read keep
// their contents) and returns what the next save needs. A file whose first line is not a
// usable header (empty, malformed) gets the standard header in row 0, and the whole file is
// kept as the part after the rows.
RosterFile loadRosterBytes(ApplicationState &state, const QByteArray &file);

// SaveRoster's bytes: rows 0, 1, ... up to the first empty name (never beyond `file.rows`
// nor row 100), each as its five cells joined by ";" and CR LF after the kept lines that
// stood before it, then `file.tail`. nullopt
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
