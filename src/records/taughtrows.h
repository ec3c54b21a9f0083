#pragma once
// The rows of the multiplication table the class has learned so far, ticked by the teacher:
// the check and the weak-facts practice offer only those. Kept in the data folder in a small
// file of its own ("Quorin.dan"), so that every computer of the class follows it:
//
//   教えた段
//   5,2,3,4
//
// code page 932 with CR LF like the roster (UTF-8, with or without a byte order mark, reads
// too). A missing, unreadable or empty file, or one naming no row, offers all nine rows:
// a damaged file never shuts the practice.

#include "records/datasync.h"

#include <QByteArray>
#include <QString>

inline constexpr quint16 kEveryRow = 0x3FE; // bit n: row n
// The largest file read: the rows fit in a line.
inline constexpr qint64 kMaxTaughtRowsBytes = 4096;

QString taughtRowsPath(const QString &folder);
// The rows a file's bytes name, as a mask; kEveryRow when they name none.
quint16 parseTaughtRows(const QByteArray &bytes);
// The file's bytes for the rows, in the order the textbooks teach them (5, 2, 3, 4, 6, 7, 8,
// 9, 1).
QByteArray taughtRowsFileBytes(quint16 rows);

struct TaughtRowsRead {
    quint16 rows = kEveryRow;
    QString problem; // why the file could not be read, for the teacher; empty when it was
};
TaughtRowsRead readTaughtRows(const QString &folder);
// Writes the rows under the folder's lock (the teacher's choice replaces what is there).
SyncResult writeTaughtRows(const QString &folder, quint16 rows, const SyncOptions &options = {});
