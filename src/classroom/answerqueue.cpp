#include "classroom/answerqueue.h"

#include "classroom/answerlog.h"
#include "records/ownfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

QString answerSpoolPath(const QString &dataFolder) {
    const QString folder = QDir::cleanPath(QFileInfo(dataFolder).absoluteFilePath());
    const QByteArray key =
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/waiting-answers-") + QString::fromLatin1(key) + QStringLiteral(".csv");
}

namespace {

// A spool no running copy holds: locked for this copy, or nothing when a running copy holds
// it. A lock whose copy is no longer running (same computer) is taken over; a lock's age
// says nothing, as a copy runs all day.
std::unique_ptr<QLockFile> lockSpool(const QString &path) {
    QDir().mkpath(QFileInfo(path).path());
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    return lock->tryLock(0) ? std::move(lock) : nullptr;
}

// The whole lines of the spool at `path` (nothing when there is none); `problem` says why
// one that is there cannot be read.
QByteArray readSpool(const QString &path, QString *problem) {
    const OwnFile own = openOwnFile(path, OwnFileMode::Read);
    if (own.state == OwnFile::Refused)
        *problem = own.reason;
    if (own.state != OwnFile::Opened)
        return {};
    QString reason;
    const std::optional<QByteArray> bytes = readOwnFile(*own.file, kMaxWaitingAnswerBytes, &reason);
    if (!bytes) {
        *problem = reason;
        return {};
    }
    // Only whole lines: the file is written in one piece, but it is a file like any other.
    return bytes->left(bytes->lastIndexOf('\n') + 1);
}

} // namespace

QString AnswerQueue::slotPath(const QString &spoolPath, int slot) {
    if (slot == 0)
        return spoolPath;
    QString path = spoolPath;
    const qsizetype dot = path.lastIndexOf(u'.');
    return path.insert(dot < 0 ? path.size() : dot, u'-' + QString::number(slot));
}

AnswerQueue::AnswerQueue(const QString &dataFolder, const QString &logFileName,
                         const QString &spoolPath)
    : m_folder(dataFolder), m_logFileName(logFileName), m_firstSpoolPath(spoolPath) {
    for (int slot = 0; slot < kSpoolSlots && !m_spoolLock; ++slot)
        if ((m_spoolLock = lockSpool(slotPath(spoolPath, slot))))
            m_spoolPath = slotPath(spoolPath, slot);
    if (m_spoolPath.isEmpty()) {
        m_spoolProblem = QStringLiteral("このコンピューターで同じフォルダーを使うプログラムが多す"
                                        "ぎるため、書きこめなかった答えはプログラムを終わると"
                                        "消えます。");
        return;
    }
    m_lines = readSpool(m_spoolPath, &m_spoolProblem);
    m_count = int(m_lines.count('\n'));
    adoptLeftSpools();
    if (m_count > 0)
        m_failure = QStringLiteral("前に書きこめなかった答えです。");
}

AnswerQueue::~AnswerQueue() = default;

QString AnswerQueue::besideSpool(const QString &spoolPath, const QString &ending) {
    return spoolPath.left(spoolPath.lastIndexOf(u'.')) + ending;
}

void AnswerQueue::adoptLeftFiles(const QString &ending,
                                 const std::function<void(const QString &)> &adopt) {
    for (int slot = 0; slot < kSpoolSlots && !m_spoolPath.isEmpty(); ++slot) {
        const QString spool = slotPath(m_firstSpoolPath, slot);
        const QString path = ending.isEmpty() ? spool : besideSpool(spool, ending);
        if (spool == m_spoolPath || !checkOwnPath(path).ordinaryFile)
            continue;
        if (const std::unique_ptr<QLockFile> lock = lockSpool(spool))
            adopt(path);
        // else a running copy's own
    }
}

void AnswerQueue::adoptLeftSpools() {
    adoptLeftFiles(QString(), [this](const QString &path) {
        QString problem;
        const QByteArray lines = readSpool(path, &problem);
        if (!problem.isEmpty() || m_lines.size() + lines.size() > kMaxWaitingAnswerBytes)
            return; // left where it is
        m_lines += lines;
        m_count += int(lines.count('\n'));
        // Kept in this copy's spool first: a stop in between doubles lines, never loses them.
        saveSpool();
        if (m_spoolProblem.isEmpty())
            QFile::remove(path);
    });
}

QString AnswerQueue::logPath() const {
    return QDir(m_folder).filePath(m_logFileName);
}

void AnswerQueue::add(const QByteArray &lines, int count) {
    if (m_lines.size() + lines.size() > kMaxWaitingAnswerBytes && !flush()) {
        // Neither the log nor the spool takes them: the teacher is told how many.
        m_dropped += count;
        return;
    }
    m_lines += lines;
    m_count += count;
    flush();
}

bool AnswerQueue::flush() {
    adoptLeftSpools(); // a copy that ended meanwhile may have left answers
    if (m_count == 0)
        return true;
    const QString away = m_away ? m_away() : QString();
    const AppendResult result = away.isEmpty() ? appendAnswerLog(logPath(), m_lines)
                                               : AppendResult{AppendResult::Failed, away};
    if (result.status == AppendResult::Written) {
        m_lines.clear();
        m_count = 0;
        m_failure.clear();
    } else if (result.status == AppendResult::Failed) {
        m_failure = QDateTime::currentDateTime().toString(QStringLiteral("M月d日 H時mm分")) +
                    QStringLiteral("：") + result.reason;
    }
    saveSpool();
    return m_count == 0;
}

void AnswerQueue::saveSpool() {
    if (m_spoolPath.isEmpty())
        return;
    if (m_count == 0) {
        if (checkOwnPath(m_spoolPath).ordinaryFile)
            QFile::remove(m_spoolPath);
        return;
    }
    // Written beside and renamed into place: a spool is either the old one or the new one.
    QDir().mkpath(QFileInfo(m_spoolPath).path());
    QSaveFile file(m_spoolPath);
    if (file.open(QIODevice::WriteOnly) && file.write(m_lines) == m_lines.size() && file.commit()) {
        m_spoolProblem.clear();
        return;
    }
    m_spoolProblem = QStringLiteral("取ってある答えをこのコンピューターのファイル（%1）にも"
                                    "保存できません。プログラムを終わると消えます。")
                         .arg(QDir::toNativeSeparators(m_spoolPath));
}

QString AnswerQueue::problem() const {
    QStringList lines;
    if (kept())
        lines << QStringLiteral("答えの記録（%1）に書きこめなかった答えが %2 問あり、このコンピュー"
                                "ターに取ってあります。書きこめるようになったら書きこみます。"
                                "最後は %3")
                     .arg(m_logFileName)
                     .arg(m_count)
                     .arg(m_failure);
    if (m_dropped > 0)
        lines << QStringLiteral(
                     "取っておく場所もいっぱいになり、記録できなかった答えが %1 問あります。")
                     .arg(m_dropped);
    if (!m_spoolProblem.isEmpty())
        lines << m_spoolProblem;
    return lines.join(u'\n');
}
