#include "records/taughtrows.h"

#include "records/cp932.h"
#include "records/ownfile.h"

#include <QDir>
#include <QStringList>

namespace {
const QString kHeading = QStringLiteral("教えた段");
constexpr int kTextbookOrder[] = {5, 2, 3, 4, 6, 7, 8, 9, 1};
} // namespace

QString taughtRowsPath(const QString &folder) {
    return QDir(folder).filePath(QStringLiteral("Quorin.dan"));
}

quint16 parseTaughtRows(const QByteArray &bytes) {
    QByteArray body = bytes.left(kMaxTaughtRowsBytes);
    if (body.startsWith("\xEF\xBB\xBF"))
        body = body.mid(3);
    QString text;
    if (QStringView(QString::fromUtf8(body)).contains(QChar::ReplacementCharacter)) {
        text = decodeCp932(body).value_or(QString());
    } else {
        text = QString::fromUtf8(body);
    }
    quint16 rows = 0;
    // A line of rows holds digits and separators alone; the heading and anything else is text.
    for (QString line : text.split(u'\n')) {
        line = line.trimmed();
        quint16 found = 0;
        bool only = !line.isEmpty();
        for (QChar c : line) {
            int d = -1;
            if (c >= u'1' && c <= u'9')
                d = c.unicode() - u'0';
            else if (c >= u'１' && c <= u'９')
                d = c.unicode() - u'０';
            if (d > 0)
                found |= quint16(1u << d);
            else if (c != u',' && c != u'、' && c != u' ' && c != u'　' && c != u'\t')
                only = false;
        }
        if (only)
            rows |= found;
    }
    return rows ? rows : kEveryRow;
}

QByteArray taughtRowsFileBytes(quint16 rows) {
    QStringList names;
    for (int row : kTextbookOrder)
        if (rows >> row & 1)
            names << QString::number(row);
    const QString text =
        kHeading + QStringLiteral("\r\n") + names.join(u',') + QStringLiteral("\r\n");
    return encodeCp932(text).value_or(text.toUtf8());
}

TaughtRowsRead readTaughtRows(const QString &folder) {
    const OwnFile own = openOwnFile(taughtRowsPath(folder), OwnFileMode::Read);
    if (own.state == OwnFile::Missing)
        return {};
    if (own.state == OwnFile::Refused)
        return {kEveryRow, own.reason};
    QString reason;
    const std::optional<QByteArray> bytes = readOwnFile(*own.file, kMaxTaughtRowsBytes, &reason);
    if (!bytes)
        return {kEveryRow, reason};
    return {parseTaughtRows(*bytes), QString()};
}

SyncResult writeTaughtRows(const QString &folder, quint16 rows, const SyncOptions &options) {
    const QByteArray bytes = taughtRowsFileBytes(rows & kEveryRow);
    return saveMerged(
        taughtRowsPath(folder), [&bytes](const std::optional<QByteArray> &) { return bytes; },
        options);
}
