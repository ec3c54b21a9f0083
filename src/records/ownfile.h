#pragma once
// Opening the program's own files in a data folder that anyone may write to. A link put in
// place of one of our files (to a file of the user's, to /dev/zero, to a FIFO) is never
// followed, a special file is never opened in a way that waits, a file with a second name
// elsewhere is never written through, and nothing larger than the caller allows is read.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <memory>
#include <optional>

struct OwnFile {
    enum State {
        Missing, // nothing at that path (or no such folder)
        Opened,  // `file` is open, an ordinary file with this one name
        Refused, // something is there that is not ours to open: `reason` says what
    };
    State state = Missing;
    std::unique_ptr<QFile> file;
    QString reason; // plain Japanese for the teacher; names the file
};

enum class OwnFileMode {
    Read,   // an existing file, read only
    Append, // written at its end; made (empty) when missing
};

// Opens `path` without following a link at its last component and without waiting on a FIFO
// or device. Only an ordinary file opens; for Append it must have no second name (a hard link
// could lead to any file of the user's).
OwnFile openOwnFile(const QString &path, OwnFileMode mode);

// What is at `path` itself, the link not followed: nothing, an ordinary file, or something
// else (a link, a folder, a FIFO, a device), which the reason then names.
struct OwnPathCheck {
    bool exists = false;
    bool ordinaryFile = false;
    QString reason; // set when it exists and is not an ordinary file
};
OwnPathCheck checkOwnPath(const QString &path);

// Reads a whole file opened by openOwnFile, up to `maxBytes`. nullopt with `reason` set when
// the file is larger (it is not ours: our files stay small) or reading fails.
std::optional<QByteArray> readOwnFile(QFile &file, qint64 maxBytes, QString *reason);

// The largest roster or record file read. A full roster is under 4 KiB; an editor may leave
// long junk lines in it that are kept as they are, but nothing near this size.
inline constexpr qint64 kMaxDataFileBytes = 16 << 20;
