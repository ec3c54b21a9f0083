#include "classroom/answerlog.h"

#include "classroom/classroom.h"
#include "records/cp932.h"
#include "records/folderlock.h"
#include "records/ownfile.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QStringDecoder>
#include <QSysInfo>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::optional<qint64> g_appendFailsAfter;
std::atomic<int> g_readPauseMs{0};

const QString kActivityLabels[kLoggedActivities] = {
    QStringLiteral("れんしゅう"), QStringLiteral("レベル1"),
    QStringLiteral("レベル2"),    QStringLiteral("レベル3"),
    QStringLiteral("チャレンジ"), QStringLiteral("にがて れんしゅう")};

// The right and the wrong mark, as in the pages.
const QString kRightMark = QStringLiteral("○");
const QString kWrongMark = QStringLiteral("×");
// The last column of an answer from a set left before it was graded.
const QString kUnfinishedMark = QStringLiteral("とちゅう");
// The last column of the first question of a check.
const QString kCheckStartMark = QStringLiteral("はじめ");
const QString kCheckWord = QStringLiteral("けんてい");
const QString kCheckWayWords[kCheckWays] = {QStringLiteral("あがり"), QStringLiteral("さがり"),
                                            QStringLiteral("ばらばら")};
const QString kTeacherWord = QStringLiteral("せんせい");

const QString kHeader = QStringLiteral("日時,名前,活動,かけられる数,かける数,はじめの答え,おわり,"
                                       "かかった時間(ミリ秒),はじめの数,たんまつ");
const QString kTimeHeading = QStringLiteral("日時");
const QByteArray kBom("\xEF\xBB\xBF");

const QString kIdKey = QStringLiteral("Settings/InstallationId");
const QString kIdMachineKey = QStringLiteral("Settings/InstallationMachine");

QByteArray shortHash(const QByteArray &bytes, int hexDigits) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(hexDigits);
}

// Where a spreadsheet reads a formula: a field starting with one of these. The apostrophe
// itself is escaped too, so that a name starting with one reads back as it was.
bool needsApostrophe(const QString &text) {
    if (text.isEmpty())
        return false;
    switch (text.front().unicode()) {
    case u'=':
    case u'+':
    case u'-':
    case u'@':
    case u'\t':
    case u'\r':
    case u'\'':
        return true;
    default:
        return false;
    }
}

// Equal bytes, compared here rather than through QByteArrayView's ==, which calls into Qt for
// every comparison: reading compares a few short fields on every line.
bool sameBytes(QByteArrayView a, QByteArrayView b) {
    return a.size() == b.size() &&
           (a.isEmpty() || std::memcmp(a.data(), b.data(), size_t(a.size())) == 0);
}

// Whether `text` holds the byte `c`.
bool holds(QByteArrayView text, char c) {
    return !text.isEmpty() && std::memchr(text.data(), c, size_t(text.size()));
}

// The fields of one CSV line, up to `count`; whatever follows them (columns a later version
// adds) is not looked at. False when a quoted field is not closed or is followed by anything
// but the separator.
bool splitCsv(QByteArrayView line, char separator, QByteArrayView *fields, int count, int &found,
              QByteArray *unquotedFields) {
    found = 0;
    // The lines the program writes hold no quote (unless a name does): their fields are what
    // lies between the separators, found with memchr rather than a byte at a time.
    if (!holds(line, '"')) {
        const char *p = line.data();
        const char *const end = p + line.size();
        while (true) {
            const char *const start = p;
            const void *const next =
                p == end ? nullptr : std::memchr(p, separator, size_t(end - p));
            p = next ? static_cast<const char *>(next) : end;
            fields[found++] = QByteArrayView(start, p - start);
            if (p == end || found == count)
                return true;
            ++p; // the separator
        }
    }
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (true) {
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
            if (!closed || (i < n && line[i] != separator))
                return false;
            fields[found++] = QByteArrayView(unquoted);
        } else {
            const qsizetype start = i;
            while (i < n && line[i] != separator)
                ++i;
            fields[found++] = line.sliced(start, i - start);
        }
        if (i >= n || found == count)
            return true;
        ++i; // the separator
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

// "10:15:03" or "10:15" from `i` to the end of `text`, as seconds since midnight. Read by
// hand: a QTime for every line took about a tenth of the reading.
bool parseTime(QByteArrayView text, qsizetype i, qint32 &second) {
    const auto digit = [&text](qsizetype at) { return unsigned(text[at] - '0'); };
    // The time as written, "10:15:03", at once.
    if (text.size() - i == 8 && text[i + 2] == ':' && text[i + 5] == ':') {
        const unsigned h1 = digit(i), h2 = digit(i + 1), m1 = digit(i + 3), m2 = digit(i + 4),
                       s1 = digit(i + 6), s2 = digit(i + 7);
        if (h1 < 10 && h2 < 10 && m1 < 10 && m2 < 10 && s1 < 10 && s2 < 10) {
            const unsigned h = h1 * 10 + h2, mi = m1 * 10 + m2, s = s1 * 10 + s2;
            second = qint32(h * 3600 + mi * 60 + s);
            return h < 24 && mi < 60 && s < 60;
        }
    }
    int h, mi, s = 0;
    if (!readNumber(text, i, 2, h) || i >= text.size() || text[i++] != ':' ||
        !readNumber(text, i, 2, mi))
        return false;
    if (i < text.size() && (text[i++] != ':' || !readNumber(text, i, 2, s)))
        return false;
    second = h * 3600 + mi * 60 + s;
    return i == text.size() && h < 24 && mi < 60 && s < 60;
}

} // namespace

// "2026-12-07 10:15:03"; a date a spreadsheet rewrote ("2026/12/7 10:15") reads too. The
// lines of one day follow each other, so the day read last is not read again.
bool AnswerLogs::parseWhen(QByteArrayView text, qint32 &day, qint32 &second) {
    // The day's text holds no space, so the same text followed by one is the same day.
    const qsizetype space = m_lastDateText.size();
    if (space > 0 && text.size() > space && text[space] == ' ' &&
        sameBytes(text.first(space), m_lastDateText)) {
        day = m_lastDay;
        return parseTime(text, space + 1, second);
    }
    qsizetype i = 0;
    int y, m, d;
    if (!readNumber(text, i, 4, y) || i >= text.size() || (text[i] != '-' && text[i] != '/'))
        return false;
    const char separator = text[i++];
    if (!readNumber(text, i, 2, m) || i >= text.size() || text[i++] != separator ||
        !readNumber(text, i, 2, d) || i >= text.size() || text[i] != ' ')
        return false;
    const QDate date(y, m, d);
    if (!date.isValid() || !parseTime(text, i + 1, second))
        return false;
    m_lastDateText = text.first(i).toByteArray();
    m_lastDate = date;
    m_lastDay = qint32(date.toJulianDay());
    day = m_lastDay;
    return true;
}

namespace {

int activityOf(QByteArrayView label) {
    static const QByteArray labels[kLoggedActivities] = {
        kActivityLabels[0].toUtf8(), kActivityLabels[1].toUtf8(), kActivityLabels[2].toUtf8(),
        kActivityLabels[3].toUtf8(), kActivityLabels[4].toUtf8(), kActivityLabels[5].toUtf8()};
    // The labels of the three levels differ in their last byte alone; a first look at it.
    for (int k = 0; k < kLoggedActivities; ++k)
        if (!label.isEmpty() && label.back() == labels[k].back() && sameBytes(label, labels[k]))
            return k;
    return -1;
}

// "けんてい 7のだん さがり" or "けんてい 7のだん さがり せんせい": the check code, 0 for
// anything else.
int checkOf(QByteArrayView label, bool &teacher) {
    static const QByteArray prefix = (kCheckWord + u' ').toUtf8(),
                            dan = QStringLiteral("のだん ").toUtf8(),
                            ways[kCheckWays] = {kCheckWayWords[0].toUtf8(),
                                                kCheckWayWords[1].toUtf8(),
                                                kCheckWayWords[2].toUtf8()},
                            byTeacher = (u' ' + kTeacherWord).toUtf8();
    if (!label.startsWith(prefix))
        return 0;
    label = label.sliced(prefix.size());
    if (label.isEmpty() || label[0] < '1' || label[0] > '9')
        return 0;
    const int row = label[0] - '0';
    label = label.sliced(1);
    if (!label.startsWith(dan))
        return 0;
    label = label.sliced(dan.size());
    teacher = label.endsWith(byTeacher);
    if (teacher)
        label.chop(byTeacher.size());
    for (int way = 0; way < kCheckWays; ++way)
        if (sameBytes(label, ways[way]))
            return checkCode(row, CheckWay(way));
    return 0;
}

int factorOf(QByteArrayView text) {
    return text.size() == 1 && text[0] >= '1' && text[0] <= '9' ? text[0] - '0' : 0;
}

struct ParsedLine {
    QByteArrayView when;
    QByteArrayView pupil; // as written, an apostrophe in front of a formula included
    int activity = -1;
    int a = 0, b = 0;
    bool right = false;
    bool unfinished = false;
    qint32 ms = -1; // how long the first answer took; -1 when the line does not say
    int check = 0;  // checkCode of a check's line
    bool checkStart = false;
    bool teacher = false; // the teacher's stamp
};

constexpr int kReadFields = 9;

// A count of milliseconds as written in the log (at most a day's); -1 for anything else.
qint32 millisecondsOf(QByteArrayView field) {
    if (field.isEmpty() || field.size() > 8)
        return -1;
    qint32 value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value <= 86'400'000 ? value : -1;
}

// A line without its end; false for anything that is not an answer line. A carriage return
// left inside the line (a line end torn between its CR and its LF, with the next line
// written after it) makes it no answer line.
bool parseLine(QByteArrayView line, char separator, ParsedLine &out, QByteArray *unquoted) {
    static const QByteArray right = kRightMark.toUtf8(), wrong = kWrongMark.toUtf8(),
                            unfinished = kUnfinishedMark.toUtf8(),
                            checkStart = kCheckStartMark.toUtf8();
    if (holds(line, '\r'))
        return false;
    QByteArrayView fields[kReadFields];
    int found = 0;
    if (!splitCsv(line, separator, fields, kReadFields, found, unquoted) || found < 6)
        return false;
    out.pupil = fields[1];
    out.activity = activityOf(fields[2]);
    if (out.activity < 0) {
        out.check = checkOf(fields[2], out.teacher);
        if (out.check)
            out.activity = int(LoggedActivity::Check);
    }
    out.a = factorOf(fields[3]);
    out.b = factorOf(fields[4]);
    if (out.pupil.isEmpty() || sameBytes(out.pupil, "'") || out.activity < 0 || !out.a || !out.b)
        return false;
    if (sameBytes(fields[5], right))
        out.right = true;
    else if (sameBytes(fields[5], wrong))
        out.right = false;
    else
        return false;
    out.unfinished = found > 6 && sameBytes(fields[6], unfinished);
    out.checkStart = out.check && found > 6 && sameBytes(fields[6], checkStart);
    out.ms = found > 7 ? millisecondsOf(fields[7]) : -1;
    out.when = fields[0];
    return true;
}

// The header line, as written or as a spreadsheet saved it again (quoted, more columns, in
// code page 932).
bool isHeader(QByteArrayView line) {
    static const QByteArray utf8 = kTimeHeading.toUtf8(),
                            cp932 = encodeCp932(kTimeHeading).value_or(utf8);
    if (line.startsWith('"'))
        line = line.sliced(1);
    return line.startsWith(utf8) || line.startsWith(cp932);
}

// Cuts lines out of the pieces of a file as they are read. A line longer than the limit is
// skipped as it goes by and never kept.
class LineSplitter {
public:
    template <typename OnLine> void feed(QByteArrayView piece, int &damaged, OnLine &&onLine) {
        while (!piece.isEmpty()) {
            const char *const lf =
                static_cast<const char *>(std::memchr(piece.data(), '\n', size_t(piece.size())));
            const qsizetype end = lf ? lf - piece.data() : -1;
            const QByteArrayView part = end < 0 ? piece : piece.first(end);
            piece = end < 0 ? QByteArrayView() : piece.sliced(end + 1);
            if (m_skipping) {
                m_skipping = end < 0;
                continue;
            }
            // The line's CR is allowed on top of the limit.
            if (m_carry.size() + part.size() > kMaxAnswerLineBytes + 1) {
                ++damaged;
                m_carry.clear();
                m_skipping = end < 0;
                continue;
            }
            if (end < 0) {
                m_carry += part;
            } else if (m_carry.isEmpty()) {
                onLine(part);
            } else {
                m_carry += part;
                onLine(QByteArrayView(m_carry));
                m_carry.clear();
            }
        }
    }
    // The last line, when the file does not end with a line end.
    template <typename OnLine> void finish(OnLine &&onLine) {
        if (!m_skipping && !m_carry.isEmpty())
            onLine(QByteArrayView(m_carry));
        m_carry.clear();
        m_skipping = false;
    }

private:
    QByteArray m_carry;
    bool m_skipping = false;
};

QString appendFailure(int error) {
#ifdef Q_OS_UNIX
    switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("ディスクがいっぱいです。");
    case EROFS:
    case EACCES:
    case EPERM:
        return QStringLiteral("このフォルダーには書きこめません（読み取り専用）。");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("データフォルダーが見つかりません。");
    default:
        return QStringLiteral("書きこめませんでした（%1）。")
            .arg(QString::fromLocal8Bit(std::strerror(error)));
    }
#else
    Q_UNUSED(error);
    return QStringLiteral("書きこめませんでした。");
#endif
}

} // namespace

QString loggedActivityLabel(LoggedActivity activity) {
    const int k = static_cast<int>(activity);
    return k < kLoggedActivities ? kActivityLabels[k] : kCheckWord;
}

QString checkWayLabel(CheckWay way) {
    return kCheckWayWords[int(way)];
}

QString checkActivityLabel(int row, CheckWay way, bool teacher) {
    QString label =
        kCheckWord + u' ' + QString::number(row) + QStringLiteral("のだん ") + checkWayLabel(way);
    if (teacher)
        label += u' ' + kTeacherWord;
    return label;
}

FactAnswer factAnswer(const QString &questionText, bool right) {
    // The labels start with the two full-width factors, "３　×　７　＝　".
    const auto digit = [&questionText](int at) {
        const char16_t c = at < questionText.size() ? questionText[at].unicode() : 0;
        return c >= u'１' && c <= u'９' ? int(c - u'１') + 1 : 0;
    };
    return {digit(0), digit(4), right};
}

QString answerLogFileName(const QString &hostName, const QString &installationId) {
    QString safe;
    for (QChar c : hostName.toLower().left(40)) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' ||
                           c == u'_' || c == u'.';
        safe += plain ? c : QChar(u'_');
    }
    if (safe.isEmpty())
        safe = QStringLiteral("pc");
    // The exact host name and the installation: what the folded part loses.
    const QByteArray code = shortHash(hostName.toUtf8() + '\n' + installationId.toUtf8(), 10);
    return QStringLiteral("answers-") + safe + u'-' + QString::fromLatin1(code) +
           QStringLiteral(".csv");
}

QString installationId() {
    QSettings settings = programSettings();
    // The computer the identifier was made on: a disk image copied to another computer
    // carries the settings along, and there the identifier is made afresh.
    const QString machine = QString::fromLatin1(
        shortHash(QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId(), 16));
    QString id = settings.value(kIdKey).toString();
    if (id.isEmpty() || settings.value(kIdMachineKey).toString() != machine) {
        id = QString::number(QRandomGenerator::system()->generate64(), 16);
        settings.setValue(kIdKey, id);
        settings.setValue(kIdMachineKey, machine);
        settings.sync();
    }
    return id;
}

QString ownAnswerLogFileName() {
    return answerLogFileName(QSysInfo::machineHostName(), installationId());
}

QString answerLogFilePattern() {
    return QStringLiteral("answers-*.csv");
}

QByteArray answerLogHeader() {
    return kBom + kHeader.toUtf8() + "\r\n";
}

QByteArray answerLogNameField(const QString &name) {
    QByteArray bytes = name.toUtf8();
    if (needsApostrophe(name))
        bytes.prepend('\'');
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') &&
        !bytes.contains('\r'))
        return bytes;
    bytes.replace("\"", "\"\"");
    return '"' + bytes + '"';
}

QByteArray answerLogLine(const LoggedAnswer &answer) {
    QByteArray line = answer.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
    const bool check = answer.activity == LoggedActivity::Check;
    line += ',' + answerLogNameField(answer.pupil) + ',' +
            (check ? checkActivityLabel(answer.check.row, answer.check.way, answer.check.teacher)
                   : loggedActivityLabel(answer.activity))
                .toUtf8();
    line += ',' + QByteArray::number(answer.answer.a) + ',' + QByteArray::number(answer.answer.b);
    line += ',' + (answer.answer.right ? kRightMark : kWrongMark).toUtf8() + ',';
    if (answer.unfinished)
        line += kUnfinishedMark.toUtf8();
    else if (check && answer.check.start)
        line += kCheckStartMark.toUtf8();
    line += ',';
    if (answer.answer.ms >= 0)
        line += QByteArray::number(answer.answer.ms);
    line += ',';
    if (answer.answer.given > 0)
        line += QByteArray::number(answer.answer.given);
    // The tablet the answer came from, on the class server's log only; readers take the
    // first nine columns.
    if (!answer.tablet.isEmpty())
        line += ',' + answerLogNameField(answer.tablet);
    return line + "\r\n";
}

AppendFaultForTesting::AppendFaultForTesting(qint64 failAfterBytes) {
    g_appendFailsAfter = failAfterBytes;
}
AppendFaultForTesting::~AppendFaultForTesting() {
    g_appendFailsAfter.reset();
}

SlowLogReadForTesting::SlowLogReadForTesting(int pauseMs) {
    g_readPauseMs = pauseMs;
}
SlowLogReadForTesting::~SlowLogReadForTesting() {
    g_readPauseMs = 0;
}

AppendResult appendAnswerLog(const QString &path, const QByteArray &lines) {
    // A lock of this file alone, held for the moment of one write. Not waited for: a busy
    // file keeps the lines for the next set.
    FolderLock lock(path + QStringLiteral(".lock"));
    switch (lock.take(0)) {
    case FolderLock::Result::Taken:
    case FolderLock::Result::Unlockable: // no file can be made here: the open says why
        break;
    case FolderLock::Result::Busy:
        return {AppendResult::Busy, QString()};
    case FolderLock::Result::Refused:
        return {AppendResult::Failed, lock.reason()};
    }
    const OwnFile own = openOwnFile(path, OwnFileMode::Append);
    if (own.state == OwnFile::Missing)
        return {AppendResult::Failed, appendFailure(ENOENT)};
    if (own.state == OwnFile::Refused)
        return {AppendResult::Failed, own.reason};
    QFile &file = *own.file;
    const qint64 size = file.size();
    QByteArray bytes;
    if (size == 0) {
        bytes = answerLogHeader();
    } else {
        // A line cut short by a killed write is ended, so the next line reads on its own.
        char last = '\n';
        if (file.seek(size - 1) && file.read(&last, 1) == 1 && last != '\n')
            bytes = "\r\n";
    }
    bytes += lines;
    qint64 toWrite = bytes.size();
    if (g_appendFailsAfter)
        toWrite = qBound<qint64>(0, bytes.size() - lines.size() + *g_appendFailsAfter, toWrite);
#ifdef Q_OS_UNIX
    int error = 0;
    // One write() for the whole set, straight to the file (O_APPEND); a short write goes on
    // from where it stopped.
    const int fd = file.handle();
    qint64 written = 0;
    while (written < toWrite) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(toWrite - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        written += n;
    }
    if (!error && toWrite < bytes.size())
        error = ENOSPC;
    if (error) {
        // Cut back to where this write started, so the lines written again later are not
        // there twice and no torn line is left behind.
        if (::ftruncate(fd, size) != 0)
            return {AppendResult::Failed,
                    appendFailure(error) + QStringLiteral("書きかけの行が残りました。")};
        return {AppendResult::Failed, appendFailure(error)};
    }
#else
    if (file.write(bytes.constData(), toWrite) != toWrite || !file.flush() ||
        toWrite < bytes.size()) {
        file.resize(size);
        return {AppendResult::Failed, file.errorString()};
    }
#endif
    return {};
}

bool AnswerLogs::addLine(QByteArrayView line, char separator) {
    if (addUtf8Line(line, separator))
        return true;
    // A spreadsheet may have saved the file again in code page 932.
    if (line.isValidUtf8())
        return false;
    const std::optional<QString> text = decodeCp932(line.toByteArray());
    return text && addUtf8Line(text->toUtf8(), separator);
}

bool AnswerLogs::addUtf8Line(QByteArrayView line, char separator) {
    static_assert(sizeof(m_unquoted) / sizeof(m_unquoted[0]) == kReadFields);
    ParsedLine parsed;
    qint32 day = 0, second = 0;
    if (!parseLine(line, separator, parsed, m_unquoted) || !parseWhen(parsed.when, day, second))
        return false;
    // Most lines are the same pupil's as the line before.
    if (m_lastPupil < 0 || !sameBytes(parsed.pupil, m_lastName)) {
        QByteArrayView written = parsed.pupil;
        if (written.startsWith('\''))
            written = written.sliced(1); // the apostrophe that kept a formula from running
        const QString name = QString::fromUtf8(written);
        auto it = m_pupilIndex.constFind(name);
        if (it == m_pupilIndex.constEnd()) {
            it = m_pupilIndex.insert(name, int(pupils.size()));
            pupils.append(name);
        }
        m_lastPupil = *it;
        m_lastName = parsed.pupil.toByteArray();
    }
    if (parsed.teacher) { // a stamp, no answer
        stamps.append({day, m_lastPupil, quint8(parsed.check)});
        return true;
    }
    answers.append({day, m_lastPupil, quint8(parsed.activity), quint8(parsed.a), quint8(parsed.b),
                    parsed.right, parsed.unfinished, quint8(parsed.check), parsed.checkStart,
                    second, parsed.ms});
    return true;
}

namespace {

// One file read a piece at a time: its byte-order mark, its separator and a line cut between
// two pieces carry over from piece to piece.
struct LogFilePieces {
    LineSplitter splitter;
    std::optional<QStringDecoder> utf16;
    char separator = 0; // decided by the first line: a comma, or a tab from a spreadsheet
    bool first = true;

    template <typename OnLine> void feed(QByteArrayView bytes, int &damaged, OnLine &&onLine) {
        if (first) {
            first = false;
            if (bytes.startsWith("\xFF\xFE"))
                utf16.emplace(QStringConverter::Utf16LE);
            else if (bytes.startsWith("\xFE\xFF"))
                utf16.emplace(QStringConverter::Utf16BE);
            else if (bytes.startsWith(kBom))
                bytes = bytes.sliced(kBom.size());
        }
        QByteArray converted;
        if (utf16) {
            converted = QString(utf16->decode(bytes)).toUtf8();
            bytes = converted;
        }
        splitter.feed(bytes, damaged, onLine);
    }
};

constexpr qint64 kLogPiece = 64 * 1024;

// Reads the next piece of `device` into `logs`: the bytes read, 0 at the end of the file
// (its last line taken in), -1 when reading failed.
qint64 readLogPiece(QIODevice &device, LogFilePieces &pieces, QByteArray &buffer,
                    AnswerLogs &logs) {
    const auto onLine = [&](QByteArrayView line) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            return;
        if (!pieces.separator)
            pieces.separator = !line.contains(',') && line.contains('\t') ? '\t' : ',';
        if (!logs.addLine(line, pieces.separator) && !isHeader(line))
            ++logs.damagedLines;
    };
    buffer.resize(kLogPiece);
    const qint64 n = device.read(buffer.data(), kLogPiece);
    if (n > 0)
        pieces.feed(QByteArrayView(buffer.constData(), n), logs.damagedLines, onLine);
    else if (n == 0)
        pieces.splitter.finish(onLine);
    if (const int pause = g_readPauseMs)
        QThread::msleep(pause);
    return n;
}

} // namespace

bool AnswerLogs::addFile(QIODevice &device) {
    LogFilePieces pieces;
    QByteArray buffer;
    qint64 n = 0;
    while ((n = readLogPiece(device, pieces, buffer, *this)) > 0) {
    }
    return n == 0;
}

bool AnswerLogs::addFile(const QByteArray &bytes) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return addFile(buffer);
}

struct AnswerLogReader::File {
    QString name;
    std::unique_ptr<QFile> file;
    LogFilePieces pieces;
};

AnswerLogReader::AnswerLogReader(const QString &folder) {
    // Everything with a log's name, links and special files too, so they can be named.
    m_entries = QDir(folder).entryInfoList(
        {answerLogFilePattern()},
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : std::as_const(m_entries))
        if (entry.isFile() && !entry.isSymLink())
            m_total += entry.size();
}

AnswerLogReader::~AnswerLogReader() = default;

bool AnswerLogReader::readFor(int budgetMs) {
    QElapsedTimer clock;
    clock.start();
    while (!clock.hasExpired(budgetMs)) {
        if (!m_file) {
            if (m_next == m_entries.size())
                return true;
            const QFileInfo &entry = m_entries.at(m_next++);
            const QString name = entry.fileName();
            OwnFile own = openOwnFile(entry.filePath(), OwnFileMode::Read);
            if (own.state == OwnFile::Missing)
                continue; // gone since it was listed
            if (own.state == OwnFile::Refused) {
                m_logs.unreadable << name;
                continue;
            }
            m_logs.files << name;
            m_file = std::make_unique<File>();
            m_file->name = name;
            m_file->file = std::move(own.file);
        }
        const qint64 n = readLogPiece(*m_file->file, m_file->pieces, m_buffer, m_logs);
        if (n > 0) {
            m_done += n;
            continue;
        }
        if (n < 0) {
            m_logs.files.removeLast();
            m_logs.unreadable << m_file->name;
        }
        m_file.reset();
    }
    return false;
}

AnswerLogs readAnswerLogs(const QString &folder) {
    AnswerLogReader reader(folder);
    while (!reader.readFor(std::numeric_limits<int>::max())) {
    }
    return std::move(reader.logs());
}
