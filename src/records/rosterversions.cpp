#include "records/rosterversions.h"

#include "core/numericvalue.h"
#include "records/ownfile.h"
#include "records/roster.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// A version's file name: the local time it was kept, to the millisecond, and the process
// that kept it, so that two copies keeping at the same moment do not meet.
const QString kTimeFormat = QStringLiteral("yyyyMMdd-HHmmsszzz");
const QString kSuffix = QStringLiteral(".ini");

// The time a version's name holds; invalid for a name that is no version of ours.
QDateTime keptAt(const QString &fileName) {
    if (!fileName.endsWith(kSuffix))
        return {};
    const QString stem = fileName.left(kTimeFormat.size());
    return QDateTime::fromString(stem, kTimeFormat);
}

// A version larger than this is no roster the class keeps (a file swollen by a stranger's
// bytes): it is not kept, so it cannot push the real versions out.
constexpr qint64 kMaxVersionBytes = kVersionBytes / 4;

} // namespace

RosterCount countRoster(const QByteArray &roster) {
    RosterCount count;
    const RosterRead read = parseRoster(roster);
    for (qsizetype r = 1; r < read.rows.size(); ++r) {
        const RosterRow &row = read.rows[r];
        if (row[0].isEmpty())
            continue;
        ++count.pupils;
        for (int c = 1; c < kRosterCells; ++c)
            if (numericValue(row[c]) > 0) {
                ++count.withRuns;
                break;
            }
    }
    return count;
}

QString RosterVersions::folderFor(const QString &dataFolder) {
    const QString folder = QDir::cleanPath(QFileInfo(dataFolder).absoluteFilePath());
    const QByteArray key =
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/roster-versions-") + QString::fromLatin1(key);
}

bool RosterVersions::keep(const QByteArray &roster, const QDateTime &now) {
    if (roster.size() > kMaxVersionBytes || roster == m_newest)
        return true;
    const QList<RosterVersion> kept = versions(false);
    if (!kept.isEmpty() && read(kept.first().fileName) == roster) {
        m_newest = roster;
        return true;
    }
    if (!QDir().mkpath(m_folder))
        return false;
    const QString name = now.toString(kTimeFormat) + u'-' +
                         QString::number(QCoreApplication::applicationPid()) + kSuffix;
    QSaveFile file(m_folder + u'/' + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(roster) != roster.size() || !file.commit())
        return false;
    m_newest = roster;
    trim(now);
    return true;
}

QList<RosterVersion> RosterVersions::versions(bool counted) const {
    QList<RosterVersion> list;
    const QFileInfoList files =
        QDir(m_folder).entryInfoList({QStringLiteral("*") + kSuffix}, QDir::Files, QDir::Name);
    for (const QFileInfo &info : files) {
        const QDateTime when = keptAt(info.fileName());
        if (!when.isValid())
            continue;
        RosterVersion version{when, info.fileName(), 0, 0, info.size()};
        if (const auto bytes = counted ? read(info.fileName()) : std::nullopt) {
            const RosterCount count = countRoster(*bytes);
            version.pupils = count.pupils;
            version.withRuns = count.withRuns;
        }
        list.prepend(version);
    }
    return list;
}

std::optional<QByteArray> RosterVersions::read(const QString &fileName) const {
    if (!keptAt(fileName).isValid() || fileName.contains(u'/') || fileName.contains(u'\\'))
        return std::nullopt;
    const OwnFile own = openOwnFile(m_folder + u'/' + fileName, OwnFileMode::Read);
    if (own.state != OwnFile::Opened)
        return std::nullopt;
    QString reason;
    return readOwnFile(*own.file, kMaxVersionBytes, &reason);
}

void RosterVersions::trim(const QDateTime &now) {
    const QList<RosterVersion> kept = versions(false); // newest first
    qint64 bytes = 0;
    for (int i = 0; i < kept.size(); ++i) {
        bytes += kept[i].size;
        if (kept[i].when.daysTo(now) > kVersionDays || bytes > kVersionBytes || i >= kVersionFiles)
            QFile::remove(m_folder + u'/' + kept[i].fileName);
    }
}
