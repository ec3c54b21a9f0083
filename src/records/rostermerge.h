#pragma once
// Merging this copy's roster with the roster file another copy may have rewritten meanwhile.

#include "records/roster.h"

#include <QByteArray>
#include <QStringList>

struct RosterMerge {
    QByteArray bytes;
    QStringList refused; // pupils of this copy that found no free row (rows 1..99 taken)
};

// Three-way merge of roster files. `disk` is the file as it is now, `base` the file as this
// copy last read or wrote it, `mine` what this copy would write (rosterFileBytes).
// - The pupils are the union by exact name: the file's lines in the file's order, then this
//   copy's pupils the file does not hold, in this copy's order (the order they were added).
// - For a pupil in both, each of the four counts is the larger numeric value of the two; a
//   count keeps the file's text unless this copy's is larger, whatever `base` holds: a count
//   this copy wrote may have been replaced since by another copy's write. A count this copy
//   lowered below `base` (a reset in the class list) is this copy's.
// - A pupil `base` holds and this copy no longer holds (removed or renamed in the class list)
//   is left out of the file.
// - Every other line, the header, the lines kept between rows and the part after the rows
//   are the file's bytes (in their code page 932 form), unchanged. Code page 932 characters with
//   two codes stay as they are written.
// - New rows go no further than row 99; pupils beyond are refused and nobody in the file is
//   dropped.
// When nobody else changed the file (`disk` equals `base`), the result is `mine`, but for
// lines this copy did not change, which keep their bytes.
RosterMerge mergeRoster(const QByteArray &disk, const QByteArray &base, const QByteArray &mine);

// Puts a merged roster file into memory as LoadRoster does, finds the signed-in pupil again by
// name (CurrentPupilRow 0 when the name is gone) and raises the pupil's best runs where the
// file holds larger ones.
void adoptRoster(ApplicationState &state, RosterFile &file, const QByteArray &bytes);
