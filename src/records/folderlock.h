#pragma once
// The lock of a data folder shared by copies of the program on several computers. A copy
// holds it for the few milliseconds of a save. Whether a lock left behind is abandoned is
// never decided by comparing this computer's clock with the file's time (school clocks drift
// by minutes): a lock of this computer whose process is gone is abandoned at once; any other
// lock only when it has stayed exactly as it was (same content, same file) for a while of
// this copy's own steady clock. Anything at the lock's name that is not an ordinary file
// (a link, a FIFO) is judged the same way and then removed without being opened.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>
#include <optional>

// Who holds the lock, as the lock file tells.
struct LockHolder {
    qint64 pid = 0;
    QString hostName;
    QString appName;
};

// Remembers what another copy left (a lock, a save copy) and since when, by this copy's
// steady clock; `abandoned` says whether it has stayed the same for `afterMs`. A thing that
// changes starts again.
class StaleWatch {
public:
    bool abandoned(const QString &key, const QByteArray &identity, qint64 nowMs, qint64 afterMs);
    void forget(const QString &key) { m_seen.remove(key); }

private:
    struct Seen {
        QByteArray identity;
        qint64 sinceMs = 0;
    };
    QHash<QString, Seen> m_seen;
};

struct FolderLockOptions {
    qint64 staleAfterMs = 20000; // a save holds the lock for milliseconds
    // This copy's steady clock in ms (a test passes its own); nullptr: the system's.
    std::function<qint64()> steadyMs;
    StaleWatch *watch = nullptr; // nullptr: the process's own

    qint64 nowMs() const;           // steadyMs, or the system's steady clock
    StaleWatch &staleWatch() const; // watch, or the process's own
};

class FolderLock {
public:
    explicit FolderLock(const QString &lockPath, const FolderLockOptions &options = {});
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    enum class Result {
        Taken,
        Busy,      // another copy holds it: `holder` may say who, `reason` names a link there
        Refused,   // a folder is in the lock's place: `reason` says so
        Unlockable // no lock file can be made here (a read-only folder): go on without
    };
    // Tries to take the lock for up to `waitMs`.
    Result take(int waitMs);
    void release();

    std::optional<LockHolder> holder() const { return m_holder; }
    QString reason() const { return m_reason; }

private:
    enum class Try { Taken, Held, Refused, Unlockable };
    Try tryOnce();
    bool takeOver(const QByteArray &identity);
    qint64 now() const;

    QString m_path;
    FolderLockOptions m_options;
    QByteArray m_token;
    bool m_taken = false;
    std::optional<LockHolder> m_holder;
    QString m_reason;
};

// The lock file's fields: pid, application name, host name, machine id, boot id, then the
// holder's token, one a line (the first five are what Qt's lock files hold, so older copies
// read them too).
std::optional<LockHolder> parseLockHolder(const QByteArray &content, QByteArray *machineId,
                                          QByteArray *token, QByteArray *bootId = nullptr);
