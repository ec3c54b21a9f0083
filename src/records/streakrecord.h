#pragma once
// The record file Quorin.dat (header "氏名;得点" and one line per graded activity with the
// class record's holder and run) and the message each graded tab shows.

#include "core/applicationstate.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The file as OpenDataFolder creates it: the header and four empty records.
QByteArray newStreakFileBytes();

// A record's number text as a 16-bit value; blanks around it are allowed. nullopt for an
// empty text, text that is not a whole number, or a number outside -32768..32767.
std::optional<qint16> parseRecordNumber(QStringView text);

// A newly written record number: one leading blank for a number that is not negative, the
// minus sign in that place for a negative one.
QString recordNumberText(qint16 value);

// Steps 1 to 5 of a record procedure, without the file system. `file` is the record file's
// content, or nullopt when it could not be opened. Clears the activity's holder, reads the
// first five lines into StreakRecordTable (a read that fails keeps the rows already read),
// takes the activity's holder and record from its line, and returns the new file content
// when the activity's best run beats the record. `name` (the sign-in box's text) becomes
// the holder; a name the file cannot hold (";", line breaks, characters outside code
// page 932) never does. Any failure returns nullopt and leaves the holder empty.
std::optional<QByteArray> readStreakRecord(ApplicationState &state, Activity activity,
                                           const std::optional<QByteArray> &file,
                                           const QString &name);

// The record file with `holder` and `run` in the activity's line, when `run` beats the record
// there (a tie keeps the earlier holder); the other record lines keep their bytes and lines
// after the fifth are dropped. nullopt when the run does not beat the record, the file does
// not read as a record file, or the name cannot be written.
std::optional<QByteArray> raiseStreakRecord(const QByteArray &file, Activity activity,
                                            const QString &holder, qint16 run);

// The record file with each record `from` holds held by `to` (the class list renamed the
// pupil); the other lines keep their bytes. nullopt when `from` holds no record, the file
// does not read as a record file, or `to` cannot be written.
std::optional<QByteArray> renameStreakHolder(const QByteArray &file, const QString &from,
                                             const QString &to);

// After the new content has been written: `name` holds the activity's record with the
// activity's best run.
void takeOverStreakRecord(ApplicationState &state, Activity activity, const QString &name);

// The message of a graded tab: the current run and the best run, then the class record and
// its holder, or only the first part when no holder was read.
QString streakMessage(qint16 current, qint16 best, const QString &holder, qint16 record);
QString streakMessage(ApplicationState &state, Activity activity);

// The same run in a pupil's words, for the tablet's page: hiragana and the kanji of the first
// grades, one word between spaces, "100点" for a level and "まん点" for the challenge.
QString pupilStreakMessage(qint16 current, qint16 best, const QString &holder, qint16 record,
                           const QString &fullMark);
QString pupilStreakMessage(ApplicationState &state, Activity activity);
