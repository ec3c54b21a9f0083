#include "classroom/answerlog.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>

namespace {

bool g_appendFails = false;

const QString kActivityLabels[kLoggedActivities] = {
    QStringLiteral("れんしゅう"), QStringLiteral("レベル1"), QStringLiteral("レベル2"),
    QStringLiteral("レベル3"), QStringLiteral("チャレンジ")};

// The right and the wrong mark, as in the pages.
const QString kRightMark = QStringLiteral("○");
const QString kWrongMark = QStringLiteral("×");

const QString kHeader = QStringLiteral("日時,名前,活動,かけられる数,かける数,はじめの答え");
const QByteArray kBom("\xEF\xBB\xBF");

QByteArray csvField(const QString &text) {
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') &&
        !bytes.contains('\r'))
        return bytes;
    bytes.replace("\"", "\"\"");
    return '"' + bytes + '"';
}

// The fields of one CSV line; false when a quoted field is not closed or is followed by
// anything but a comma.
bool splitCsv(QByteArrayView line, QByteArrayView *fields, int count, int &found,
              QByteArray *unquotedFields) {
    found = 0;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (true) {
        if (found == count)
            return false;
        if (i < n && line[i] == '"') {
            // A quoted field: "" stands for one quote.
            ++i;
            QByteArray &unquoted = unquotedFields[found];
            unquoted.clear();
            bool closed = false;
            while (i < n) {
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') {
                        unquoted += '"';
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                unquoted += line[i++];
            }
            if (!closed || (i < n && line[i] != ','))
                return false;
            fields[found++] = QByteArrayView(unquoted);
        } else {
            const qsizetype start = i;
            while (i < n && line[i] != ',')
                ++i;
            fields[found++] = line.sliced(start, i - start);
        }
        if (i >= n)
            return true;
        ++i; // the comma
    }
}

// Reads an unsigned number of 1..maxDigits digits at `i`.
bool readNumber(QByteArrayView text, qsizetype &i, int maxDigits, int &value) {
    value = 0;
    int digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < maxDigits) {
        value = value * 10 + (text[i] - '0');
        ++i;
        ++digits;
    }
    return digits > 0;
}

// "10:15:03" or "10:15" from `i` to the end of `text`.
bool parseTime(QByteArrayView text, qsizetype i, QTime &time) {
    int h, mi, s = 0;
    if (!readNumber(text, i, 2, h) || i >= text.size() || text[i++] != ':' ||
        !readNumber(text, i, 2, mi))
        return false;
    if (i < text.size() && (text[i++] != ':' || !readNumber(text, i, 2, s)))
        return false;
    time = QTime(h, mi, s);
    return i == text.size() && time.isValid();
}

} // namespace

// "2026-12-07 10:15:03"; a date a spreadsheet rewrote ("2026/12/7 10:15") reads too. The
// lines of one day follow each other, so the day read last is not read again.
bool AnswerLogs::parseWhen(QByteArrayView text, QDate &date, QTime &time) {
    const qsizetype space = text.indexOf(' ');
    if (space > 0 && m_lastDate.isValid() && text.first(space) == m_lastDateText) {
        date = m_lastDate;
        return parseTime(text, space + 1, time);
    }
    qsizetype i = 0;
    int y, m, d;
    if (!readNumber(text, i, 4, y) || i >= text.size() || (text[i] != '-' && text[i] != '/'))
        return false;
    const char separator = text[i++];
    if (!readNumber(text, i, 2, m) || i >= text.size() || text[i++] != separator ||
        !readNumber(text, i, 2, d) || i >= text.size() || text[i] != ' ')
        return false;
    date = QDate(y, m, d);
    if (!date.isValid() || !parseTime(text, i + 1, time))
        return false;
    m_lastDateText = text.first(i).toByteArray();
    m_lastDate = date;
    return true;
}

namespace {

int activityOf(QByteArrayView label) {
    static const QByteArray labels[kLoggedActivities] = {
        kActivityLabels[0].toUtf8(), kActivityLabels[1].toUtf8(), kActivityLabels[2].toUtf8(),
        kActivityLabels[3].toUtf8(), kActivityLabels[4].toUtf8()};
    for (int k = 0; k < kLoggedActivities; ++k)
        if (label == labels[k])
            return k;
    return -1;
}

int factorOf(QByteArrayView text) {
    return text.size() == 1 && text[0] >= '1' && text[0] <= '9' ? text[0] - '0' : 0;
}

struct ParsedLine {
    QByteArrayView when;
    QByteArrayView pupil;
    int activity = -1;
    int a = 0, b = 0;
    bool right = false;
};

// A line without its end; false for anything that is not an answer line.
bool parseLine(QByteArrayView line, ParsedLine &out, QByteArray *unquoted) {
    static const QByteArray right = kRightMark.toUtf8(), wrong = kWrongMark.toUtf8();
    QByteArrayView fields[6];
    int found = 0;
    if (!splitCsv(line, fields, 6, found, unquoted) || found != 6)
        return false;
    out.pupil = fields[1];
    out.activity = activityOf(fields[2]);
    out.a = factorOf(fields[3]);
    out.b = factorOf(fields[4]);
    if (out.pupil.isEmpty() || out.activity < 0 || !out.a || !out.b)
        return false;
    if (fields[5] == right)
        out.right = true;
    else if (fields[5] == wrong)
        out.right = false;
    else
        return false;
    out.when = fields[0];
    return true;
}

bool isHeader(QByteArrayView line) {
    static const QByteArray header = kHeader.toUtf8();
    return line == header;
}

} // namespace

QString loggedActivityLabel(LoggedActivity activity) {
    return kActivityLabels[static_cast<int>(activity)];
}

FactAnswer factAnswer(const QString &questionText, bool right) {
    // The labels start with the two full-width factors, "３　×　７　＝　".
    const auto digit = [&questionText](int at) {
        const char16_t c = at < questionText.size() ? questionText[at].unicode() : 0;
        return c >= u'１' && c <= u'９' ? int(c - u'１') + 1 : 0;
    };
    return {digit(0), digit(4), right};
}

QString answerLogFileName(const QString &hostName) {
    QString safe;
    for (QChar c : hostName.toLower().left(60)) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' ||
                           c == u'_' || c == u'.';
        safe += plain ? c : QChar(u'_');
    }
    if (safe.isEmpty())
        safe = QStringLiteral("pc");
    return QStringLiteral("answers-") + safe + QStringLiteral(".csv");
}

QString ownAnswerLogFileName() {
    return answerLogFileName(QSysInfo::machineHostName());
}

QString answerLogFilePattern() {
    return QStringLiteral("answers-*.csv");
}

QByteArray answerLogHeader() {
    return kBom + kHeader.toUtf8() + "\r\n";
}

QByteArray answerLogLine(const LoggedAnswer &answer) {
    QByteArray line = answer.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
    line += ',' + csvField(answer.pupil) + ',' + loggedActivityLabel(answer.activity).toUtf8();
    line += ',' + QByteArray::number(answer.answer.a) + ',' + QByteArray::number(answer.answer.b);
    line += ',' + (answer.answer.right ? kRightMark : kWrongMark).toUtf8() + "\r\n";
    return line;
}

AppendFaultForTesting::AppendFaultForTesting() {
    g_appendFails = true;
}
AppendFaultForTesting::~AppendFaultForTesting() {
    g_appendFails = false;
}

QString appendAnswerLog(const QString &path, const QByteArray &lines) {
    if (g_appendFails)
        return QStringLiteral("書きこめませんでした（試験のための失敗）。");
    // The file is this computer's alone: no lock is taken, and nothing waits for the disk.
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        return file.errorString();
    QByteArray bytes;
    const qint64 size = file.size();
    if (size == 0) {
        bytes = answerLogHeader();
    } else {
        // A line cut short by a killed write is ended, so the next line reads on its own.
        char last = '\n';
        if (file.seek(size - 1) && file.read(&last, 1) == 1 && last != '\n')
            bytes = "\r\n";
    }
    bytes += lines;
    if (file.write(bytes) != bytes.size())
        return file.errorString();
    if (!file.flush())
        return file.errorString();
    return QString();
}

bool AnswerLogs::addLine(QByteArrayView line) {
    thread_local QByteArray unquoted[6];
    ParsedLine parsed;
    QDate date;
    QTime time;
    if (!parseLine(line, parsed, unquoted) || !parseWhen(parsed.when, date, time))
        return false;
    // Most lines are the same pupil's as the line before.
    if (m_lastPupil < 0 || parsed.pupil != m_lastName) {
        const QString name = QString::fromUtf8(parsed.pupil);
        auto it = m_pupilIndex.constFind(name);
        if (it == m_pupilIndex.constEnd()) {
            it = m_pupilIndex.insert(name, int(pupils.size()));
            pupils.append(name);
        }
        m_lastPupil = *it;
        m_lastName = parsed.pupil.toByteArray();
    }
    answers.append({qint32(date.toJulianDay()), m_lastPupil, quint8(parsed.activity),
                    quint8(parsed.a), quint8(parsed.b), parsed.right});
    return true;
}

void AnswerLogs::addFile(const QByteArray &bytes) {
    QByteArrayView rest(bytes);
    if (rest.startsWith(kBom))
        rest = rest.sliced(kBom.size());
    while (!rest.isEmpty()) {
        qsizetype end = rest.indexOf('\n');
        QByteArrayView line = end < 0 ? rest : rest.first(end);
        rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || isHeader(line))
            continue;
        if (!addLine(line))
            ++damagedLines;
    }
}

AnswerLogs readAnswerLogs(const QString &folder) {
    AnswerLogs logs;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({answerLogFilePattern()}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString &name : names) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            logs.unreadable << name;
            continue;
        }
        logs.files << name;
        logs.addFile(file.readAll());
    }
    return logs;
}
