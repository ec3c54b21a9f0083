#pragma once
// Recent versions of a data folder's roster, kept in this computer's own data: a way back
// when the class list was emptied, wiped by forged changes or edited wrongly. A version is
// kept whenever the roster this copy read or wrote differs from the newest one kept; the
// oldest go once they are older than kVersionDays, or the versions hold more than
// kVersionBytes or kVersionFiles. Several copies of the program may keep versions of the same
// folder at once: each file has a name of its own (time and process), and nothing is
// rewritten.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

inline constexpr int kVersionDays = 30;
inline constexpr qint64 kVersionBytes = 4 * 1024 * 1024;
inline constexpr int kVersionFiles = 1000;

struct RosterVersion {
    QDateTime when;   // local time the version was kept
    QString fileName; // within the versions folder
    int pupils = 0;   // pupils on it
    int withRuns = 0; // pupils with a best run above 0 in some column
    qint64 size = 0;
};

// How many pupils a roster file holds, and how many of them have a best run.
struct RosterCount {
    int pupils = 0;
    int withRuns = 0;
};
RosterCount countRoster(const QByteArray &roster);

class RosterVersions {
public:
    // `folder`: where this data folder's versions are kept (made when the first is kept).
    explicit RosterVersions(const QString &folder) : m_folder(folder) {}
    QString folder() const { return m_folder; }

    // Keeps `roster` as a version, kept at `now`, unless it is the newest one already; then
    // lets the oldest go beyond the bounds. False when the version could not be written.
    bool keep(const QByteArray &roster, const QDateTime &now = QDateTime::currentDateTime());
    // The versions kept, newest first; `counted`: with their pupils counted (each file read).
    QList<RosterVersion> versions(bool counted = true) const;
    // A version's bytes; nullopt when it cannot be read (gone, or no file of ours).
    std::optional<QByteArray> read(const QString &fileName) const;

    // This computer's versions folder of `dataFolder`.
    static QString folderFor(const QString &dataFolder);

private:
    void trim(const QDateTime &now);

    QString m_folder;
    QByteArray m_newest; // what was kept last by this copy (saves a read at every save)
};
