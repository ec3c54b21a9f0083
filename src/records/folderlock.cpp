#include "records/folderlock.h"

#include "records/ownfile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QThread>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#endif

namespace {

constexpr qint64 kMaxLockBytes = 4096;

StaleWatch &processWatch() {
    static StaleWatch watch;
    return watch;
}

qint64 systemSteadyMs() {
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
}

// Whether process `pid` of this computer still runs.
bool processRuns(qint64 pid) {
    if (pid <= 0)
        return false;
#ifdef Q_OS_WIN
    HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!h)
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = ::GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
    ::CloseHandle(h);
    return running;
#else
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
}

QByteArray lockContent(const QByteArray &token) {
    QByteArray content = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
    content += QCoreApplication::applicationName().toUtf8() + '\n';
    content += QSysInfo::machineHostName().toUtf8() + '\n';
    content += QSysInfo::machineUniqueId() + '\n';
    content += QSysInfo::bootUniqueId() + '\n';
    content += token + '\n';
    return content;
}

// What is at the lock's name now, as an opaque identity: what it is, its size and time as
// stored (never compared with a clock) and its content when it is an ordinary file.
struct LockSeen {
    bool exists = false;
    bool ordinary = false;
    bool folder = false;
    QByteArray identity;
    QByteArray content;
};

LockSeen lookAtLock(const QString &path) {
    LockSeen seen;
    const OwnPathCheck check = checkOwnPath(path);
    if (!check.exists)
        return seen;
    seen.exists = true;
    seen.ordinary = check.ordinaryFile;
    const QFileInfo info(path);
    seen.folder = !info.isSymLink() && info.isDir();
    seen.identity = QByteArray::number(info.isSymLink()) + ':' +
                    QFile::encodeName(info.symLinkTarget()) + ':' +
                    QByteArray::number(info.lastModified().toMSecsSinceEpoch()) + ':';
    if (seen.ordinary) {
        const OwnFile own = openOwnFile(path, OwnFileMode::Read);
        QString ignored;
        if (own.state == OwnFile::Opened)
            seen.content = readOwnFile(*own.file, kMaxLockBytes, &ignored).value_or("?");
        seen.identity += QByteArray::number(seen.content.size()) + ':' + seen.content;
    }
    return seen;
}

// Renames and removes the name itself, also a link whose target is gone (which Qt's file
// functions take for a missing file).
bool moveName(const QString &from, const QString &to) {
#ifdef Q_OS_WIN
    return QFile::rename(from, to);
#else
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

void removeName(const QString &path) {
#ifdef Q_OS_WIN
    // Windows refuses to remove a file while any process has it open (another copy looking
    // at the lock, a virus scanner): asked again for up to about half a second, or the lock
    // would stay until the others judge it abandoned.
    for (int attempt = 0; attempt < 100 && !QFile::remove(path) && QFile::exists(path); ++attempt)
        QThread::msleep(5);
#else
    ::unlink(QFile::encodeName(path).constData());
#endif
}

QString folderInPlaceReason() {
    return QStringLiteral("フォルダーの中に、ファイルではない「Quorin.lock」（フォルダーなど）が"
                          "あります。これを消すか名前を変えると、保存できるようになります。");
}

} // namespace

qint64 FolderLockOptions::nowMs() const {
    return steadyMs ? steadyMs() : systemSteadyMs();
}

StaleWatch &FolderLockOptions::staleWatch() const {
    return watch ? *watch : processWatch();
}

bool StaleWatch::abandoned(const QString &key, const QByteArray &identity, qint64 nowMs,
                           qint64 afterMs) {
    auto it = m_seen.find(key);
    if (it == m_seen.end() || it->identity != identity) {
        m_seen.insert(key, {identity, nowMs});
        return false;
    }
    return nowMs - it->sinceMs >= afterMs;
}

std::optional<LockHolder> parseLockHolder(const QByteArray &content, QByteArray *machineId,
                                          QByteArray *token, QByteArray *bootId) {
    const QList<QByteArray> lines = content.split('\n');
    if (lines.size() < 3)
        return std::nullopt;
    bool ok = false;
    LockHolder holder;
    holder.pid = lines[0].toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    holder.appName = QString::fromUtf8(lines[1]);
    holder.hostName = QString::fromUtf8(lines[2]);
    if (machineId)
        *machineId = lines.size() > 3 ? lines[3] : QByteArray();
    if (token)
        *token = lines.size() > 5 ? lines[5] : QByteArray();
    if (bootId)
        *bootId = lines.size() > 4 ? lines[4] : QByteArray();
    return holder;
}

FolderLock::FolderLock(const QString &lockPath, const FolderLockOptions &options)
    : m_path(lockPath), m_options(options),
      m_token(QByteArray::number(QRandomGenerator::system()->generate64(), 16)) {
}

FolderLock::~FolderLock() {
    release();
}

qint64 FolderLock::now() const {
    return m_options.nowMs();
}

FolderLock::Try FolderLock::tryOnce() {
    LockSeen seen;
    // Twice: a lock released between the open and the look is simply asked for again.
    for (int attempt = 0; attempt < 2 && !seen.exists; ++attempt) {
        QFile file(m_path);
        // NewOnly: made only when nothing (not even a link) is at the name.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            const QByteArray content = lockContent(m_token);
            const bool written = file.write(content) == content.size() && file.flush();
            file.close();
            if (written)
                return Try::Taken;
            removeName(m_path);
            return Try::Unlockable;
        }
        seen = lookAtLock(m_path);
    }
    // Nothing there, and still no file can be made: a folder without write access.
    if (!seen.exists)
        return Try::Unlockable;
    if (seen.folder) {
        m_reason = folderInPlaceReason();
        return Try::Refused;
    }
    QByteArray machineId, bootId;
    m_holder =
        seen.ordinary ? parseLockHolder(seen.content, &machineId, nullptr, &bootId) : std::nullopt;
    // A link or special file at the lock's name is never opened; it is named for the teacher
    // and moved away once it has stayed as it is.
    m_reason = seen.ordinary ? QString()
                             : checkOwnPath(m_path).reason +
                                   QStringLiteral("しばらくそのままなら、取りのぞいて保存します。");
    StaleWatch &watch = m_options.staleWatch();
    // A lock of this computer whose process has ended is abandoned at once. Computers cloned
    // from one disk image share the host name and the machine id; the boot id tells them
    // apart (and a lock from before a restart is judged like another computer's).
    const bool ownDead =
        m_holder && m_holder->hostName == QSysInfo::machineHostName() &&
        machineId == QSysInfo::machineUniqueId() && bootId == QSysInfo::bootUniqueId() &&
        m_holder->pid != QCoreApplication::applicationPid() && !processRuns(m_holder->pid);
    if (ownDead || watch.abandoned(m_path, seen.identity, now(), m_options.staleAfterMs)) {
        watch.forget(m_path);
        if (takeOver(seen.identity))
            return tryOnce() == Try::Taken ? Try::Taken : Try::Held;
    }
    return Try::Held;
}

// Moves the abandoned lock aside under a name of this copy's own and removes it. When what
// was moved is not what was judged abandoned (another copy took over first and made a new
// lock), it is put back.
bool FolderLock::takeOver(const QByteArray &identity) {
    const QString aside = m_path + QStringLiteral(".stale-") + QString::fromLatin1(m_token);
    if (!moveName(m_path, aside))
        return false;
    if (lookAtLock(aside).identity != identity) {
        moveName(aside, m_path);
        return false;
    }
    removeName(aside);
    return true;
}

FolderLock::Result FolderLock::take(int waitMs) {
    m_reason.clear();
    m_holder.reset();
    const QDeadlineTimer deadline(qMax(0, waitMs));
    unsigned long pause = 2;
    for (;;) {
        switch (tryOnce()) {
        case Try::Taken:
            m_taken = true;
            return Result::Taken;
        case Try::Refused:
            return Result::Refused;
        case Try::Unlockable:
            return Result::Unlockable;
        case Try::Held:
            break;
        }
        if (deadline.hasExpired())
            return Result::Busy;
        // A save of another copy takes a few milliseconds: ask again soon, with growing pauses.
        QThread::msleep(qMin<unsigned long>(pause, qMax<qint64>(1, deadline.remainingTime())));
        pause = qMin(pause * 2, 50UL);
    }
}

void FolderLock::release() {
    if (!m_taken)
        return;
    m_taken = false;
    // Only this copy's own lock is removed: one that another copy took over is left alone.
    const LockSeen seen = lookAtLock(m_path);
    QByteArray token;
    if (seen.ordinary && parseLockHolder(seen.content, nullptr, &token) && token == m_token)
        removeName(m_path);
}
