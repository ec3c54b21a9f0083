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

// The whole content of a data file; nullopt when it cannot be opened or read (missing
// file, a folder in its place, no such folder).
std::optional<QByteArray> readDataFile(const QString &path);

// Creates the file with `bytes` when nothing is there yet. An ordinary file already there
// (hidden ones too) is never replaced. A folder or other non-file in its place is reported.
SaveResult createDataFileIfMissing(const QString &path, const QByteArray &bytes);

// Why `folder` cannot hold the data files (it is missing, cannot be listed or written, or a
// data file in it cannot be read); empty when it can. Writing is tried with a scratch file
// that is removed again, so the answer holds for every user, the administrator included.
QString dataFolderProblem(const QString &folder);

// The message box text for a data file that could not be written (or created): which file
// (`fileLabel`, for example "名簿ファイル"), where it is, why, and that the old one is kept.
QString saveFailureText(const QString &fileLabel, const QString &path, const QString &reason,
                        bool creating);

// Test seam: while an instance lives, every save stops after `failAfterBytes` bytes as a
// full disk or a killed write would, and reports the failure.
class SaveFaultForTesting {
public:
    explicit SaveFaultForTesting(qint64 failAfterBytes);
    ~SaveFaultForTesting();
    SaveFaultForTesting(const SaveFaultForTesting &) = delete;
    SaveFaultForTesting &operator=(const SaveFaultForTesting &) = delete;
};
