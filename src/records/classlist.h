#pragma once
// The teacher's class list: the roster's pupils changed as a list (added from a pasted column,
// renamed, removed, merged, reset, put in あいうえお order). Pure rules on the rows; the
// classroom writes the result through the roster's save.

#include "records/roster.h"

#include <QList>
#include <QStringList>

// The names of a pasted column or text file: one per line, the first cell of a spreadsheet
// row (up to a tab), spaces at either end left out, blank lines skipped.
QStringList pastedNames(const QString &text);

// The text of a class-list file: UTF-8 (with or without its byte-order mark) or code page 932.
QString classListFileText(const QByteArray &bytes);

struct ClassListChange {
    QList<RosterRow> pupils;
    QStringList done;     // the names added, renamed to, removed ...
    QStringList refusals; // one sentence per name that was not taken, for the teacher
};

// `names` added after the pupils with no runs yet. A name the files cannot hold, a name
// already listed (or twice in the paste) and names beyond the 99th pupil are refused.
ClassListChange addPupils(const QList<RosterRow> &pupils, const QStringList &names);

// Pupil `index` under the typed name; its runs stay. Refused like a new name.
ClassListChange renamePupil(const QList<RosterRow> &pupils, int index, const QString &typed);

// Pupil `other` merged into pupil `keep`: the larger count of each activity kept, `other`
// removed.
QList<RosterRow> mergePupils(const QList<RosterRow> &pupils, int keep, int other);

// あいうえお order by the names' reading: hiragana, katakana and Latin letters read as they
// are written (katakana as hiragana); names with kanji, whose reading the list does not
// know, go last in the order they had.
QList<RosterRow> sortedByReading(const QList<RosterRow> &pupils);

// The class list with the pupils of a kept version back: the pupils of `version` in its order,
// each with the larger count of the two lists in every activity, then the pupils added since
// in their order. Nothing on `current` is removed or lowered, so a run earned after the
// version was kept stays.
QList<RosterRow> restoredClassList(const QList<RosterRow> &current,
                                   const QList<RosterRow> &version);
