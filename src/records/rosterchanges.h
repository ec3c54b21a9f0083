#pragma once
// The teacher's changes to the class list, told to the other copies on the shared folder.
//
// The roster merge keeps the larger count and every pupil of either side, so that a run no
// copy can lose to a write built on an old read. That merge alone would undo a pupil the
// teacher removed, renamed, reset or reordered on another computer: every copy still holds
// the old line. So each such change is written, beside the roster, to Quorin.chg; every copy
// applies the changes it has not applied yet to what it holds before it merges, and so
// writes them too. A change made in a text editor is found by the roster no longer being the
// one of those the copies of the program wrote lately (their hashes are kept in Quorin.chg),
// and is told on the same way by the first copy that sees it.
//
// Quorin.chg, code page 932, CR LF:
//   Quorin roster changes 1
//   roster;<SHA-256 of a Quorin.ini the program wrote, hex> (the last kMaxRosterHashes)
//   <id>;remove;<name>
//   <id>;rename;<old name>;<new name>
//   <id>;lower;<name>;<column 1-4>;<count before>;<count after>
//   <id>;order;<name>;<name>;...
// Copies append their lines (appends do not overwrite each other, even where the folder's lock
// does not hold); the file is written anew, with the last kMaxRosterChanges changes and
// kMaxRosterHashes hashes, once it is twice as long. Lines that do not read so are left
// out.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>

inline constexpr int kMaxRosterChanges = 400;
inline constexpr int kMaxRosterHashes = 256;

struct RosterChange {
    enum class Kind { Remove, Rename, Lower, Order };
    QByteArray id;
    Kind kind = Kind::Remove;
    QStringList names;     // Remove: the name; Rename: old, new; Lower: the name; Order: the order
    int column = 0;        // Lower: 1-4
    QString before, after; // Lower: the counts
    bool operator==(const RosterChange &) const = default;
};

struct RosterChanges {
    QList<QByteArray> rosterHashes; // of the rosters the program wrote lately, oldest first
    QList<RosterChange> changes;
    bool operator==(const RosterChanges &) const = default;
};

RosterChanges parseRosterChanges(const QByteArray &file);
// The same for `file` when `known` is the reading of `knownBytes`: a file that only had lines
// appended since (as copies write it) has only those read.
RosterChanges parseRosterChanges(const QByteArray &file, const QByteArray &knownBytes,
                                 const RosterChanges &known);
// A change holding a name code page 932 cannot write is left out.
QByteArray rosterChangesBytes(const RosterChanges &changes);
QByteArray rosterHash(const QByteArray &roster);

// The changes that turn roster file `before` into `after`: pupils left out (renamed when
// `renamed` says so), counts lowered, and a new order of the pupils both hold. Raised counts
// and new pupils are no change here: the merge keeps them anyway. Each change's id is made
// from the files, so the same change found twice has the same id.
QList<RosterChange> rosterChangesBetween(const QByteArray &before, const QByteArray &after,
                                         const QList<QPair<QString, QString>> &renamed = {});

// `roster` (roster file bytes) with `changes` applied in order: a removed pupil's lines go; a
// renamed pupil takes the new name, or joins a pupil of that name with the larger counts; a
// count goes down to the lowered one unless it was raised beyond the count it had then; the
// pupils take the order given, those it does not name after them in theirs. The result is
// the header and the pupil lines; the lines the roster kept between rows are left out (the
// merge takes them from the file on disk).
QByteArray applyRosterChanges(const QByteArray &roster, const QList<RosterChange> &changes);

// The changes of `more` that `changes` does not hold yet (by id), each once.
QList<RosterChange> newRosterChanges(const RosterChanges &changes, const QList<RosterChange> &more);
// The lines that tell `changes` and the hashes of rosters written, to append to the file.
QByteArray rosterChangeLines(const QList<RosterChange> &changes, const QList<QByteArray> &hashes);

// Pupils with a best run above 0 on roster `before`, and how many of them roster `after` no
// longer holds (by name).
struct RosterDrop {
    int withRuns = 0;
    int dropped = 0;
    // More than half of the pupils with runs gone, of at least two: no ordinary day's change.
    bool large() const { return withRuns >= 2 && dropped * 2 > withRuns; }
};
RosterDrop rosterDrop(const QByteArray &before, const QByteArray &after);
