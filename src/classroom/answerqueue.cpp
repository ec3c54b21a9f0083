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

AnswerQueue::AnswerQueue(const QString &dataFolder, const QString &logFileName,
                         const QString &spoolPath)
    : m_folder(dataFolder), m_logFileName(logFileName), m_spoolPath(spoolPath) {
    const OwnFile own = openOwnFile(m_spoolPath, OwnFileMode::Read);
    if (own.state == OwnFile::Refused) {
        m_spoolProblem = own.reason;
        return;
    }
    if (own.state != OwnFile::Opened)
        return;
    QString reason;
    const std::optional<QByteArray> bytes = readOwnFile(*own.file, kMaxWaitingAnswerBytes, &reason);
    if (!bytes) {
        m_spoolProblem = reason;
        return;
    }
    // Only whole lines: the file is written in one piece, but it is a file like any other.
    m_lines = bytes->left(bytes->lastIndexOf('\n') + 1);
    m_count = int(m_lines.count('\n'));
    if (m_count > 0)
        m_failure = QStringLiteral("前に書きこめなかった答えです。");
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
