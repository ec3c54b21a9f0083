#pragma once
// Reading and rewriting the two data files. Every rewrite goes through saveDataFile: the
// whole content is built first and replaces the old file only when every byte reached the
// disk, so a failing write never leaves a shortened file behind.

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// CR LF, the end of every line written to a data file.
inline constexpr char kLineEnd[] = "\r\n";

struct SaveResult {
    bool ok = true;
    QString reason;                // plain Japanese for the teacher when ok is false
    bool changedMeanwhile = false; // `stillCurrent` said no: nothing was written
};

// Writes `bytes` to `path` beside the old file and renames it into place. The new file is
// committed only when write() took every byte, flush() succeeded and no error is pending;
// otherwise the old file stays exactly as it was. `stillCurrent`, when given, is asked just
// before the rename whether the file on disk is still the one the bytes were built from.
// On Windows a rename that fails (another program holding the old file open for a moment)
// is tried again a few times.
SaveResult saveDataFile(const QString &path, const QByteArray &bytes,
                        const std::function<bool()> &stillCurrent = {});

// What reading a data file found.
struct DataFileRead {
    enum State {
        Missing,    // nothing at that path (or no such folder)
        Read,       // `bytes` hold the whole content
        Unreadable, // something is there but cannot be read: `reason` says why
    };
    State state = Missing;
    QByteArray bytes;
    QString reason; // plain Japanese for the teacher
};

// Reads a data file. Only an ordinary file (or a link to one) is opened, and never in a way
// that waits: a FIFO or device in its place, also one that appears between the look and the
// open, is reported as unreadable instead of stopping the program.
DataFileRead readDataFileChecked(const QString &path);

// The whole content of a data file; nullopt when it is missing or cannot be read.
std::optional<QByteArray> readDataFile(const QString &path);

// Creates the file with `bytes` when nothing is there yet. An ordinary file already there
// (hidden ones too) is never replaced. A folder or other non-file in its place is reported.
SaveResult createDataFileIfMissing(const QString &path, const QByteArray &bytes);

// Why `folder` cannot hold the data files (it is missing, cannot be listed or written, or a
// data file in it cannot be read); empty when it can. Writing is tried with a scratch file
// that is removed again, so the answer holds for every user, the administrator included.
QString dataFolderProblem(const QString &folder);

// The message box text for a data file that could not be written (or created): which file
// (`fileLabel`, for example "名簿ファイル"), where it is, why, and that the old one is kept
// when it is still there.
QString saveFailureText(const QString &fileLabel, const QString &path, const QString &reason,
                        bool creating);

// Test seam: while an instance lives, every save (or only the saves of files named
// `fileName`, when given) stops after `failAfterBytes` bytes as a full disk or a killed write
// would, and reports the failure.
class SaveFaultForTesting {
public:
    explicit SaveFaultForTesting(qint64 failAfterBytes, const QString &fileName = QString());
    ~SaveFaultForTesting();
    SaveFaultForTesting(const SaveFaultForTesting &) = delete;
    SaveFaultForTesting &operator=(const SaveFaultForTesting &) = delete;
};

// Test seam: while an instance lives, opening a data file named `fileName` for reading fails
// as it does for a file the user may not read (tests run as the administrator, whom file
// modes do not stop).
class ReadFaultForTesting {
public:
    explicit ReadFaultForTesting(const QString &fileName);
    ~ReadFaultForTesting();
    ReadFaultForTesting(const ReadFaultForTesting &) = delete;
    ReadFaultForTesting &operator=(const ReadFaultForTesting &) = delete;
};
