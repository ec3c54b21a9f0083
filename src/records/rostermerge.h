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
// - For a pupil this copy changed (a cell differs from `base`, or a pupil `base` does not
//   hold), each of the four counts is the larger numeric value of the two; a count keeps
//   the file's text unless this copy's is larger.
// - Every other line, the header and the part after the rows that the loading rule does not
//   read are the file's bytes, unchanged. Code page 932 characters with two codes stay as
//   they are written.
// - New rows go no further than row 99; pupils beyond are refused and nobody in the file is
//   dropped.
// When nobody else changed the file (`disk` equals `base`), the result is `mine`, but for
// lines this copy did not change, which keep their bytes.
RosterMerge mergeRoster(const QByteArray &disk, const QByteArray &base, const QByteArray &mine);

// Puts a merged roster file into memory as LoadRoster does, finds the signed-in pupil again by
// name (CurrentPupilRow 0 when the name is gone) and raises the pupil's best runs where the
// file holds larger ones.
void adoptRoster(ApplicationState &state, RosterFile &file, const QByteArray &bytes);
