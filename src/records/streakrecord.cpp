#include "records/streakrecord.h"

#include "records/cp932.h"
#include "records/datafile.h"
#include "records/pupilname.h"

#include <limits>

namespace {

constexpr int kStreakLines = 5;

QString streakHeaderLine() {
    return QStringLiteral("氏名;得点");
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

} // namespace

QByteArray newStreakFileBytes() {
    QByteArray bytes = *encodeCp932(streakHeaderLine()) + kLineEnd;
    for (int i = 1; i < kStreakLines; ++i)
        bytes += QByteArray(";0") + kLineEnd;
    return bytes;
}

std::optional<qint16> parseRecordNumber(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    const QStringView number = text.mid(begin, end - begin);
    qsizetype i = 0;
    if (i < number.size() && (number[i] == u'-' || number[i] == u'+'))
        ++i;
    if (i == number.size())
        return std::nullopt;
    for (qsizetype k = i; k < number.size(); ++k)
        if (number[k] < u'0' || number[k] > u'9')
            return std::nullopt;
    bool ok = false;
    const int value = number.toInt(&ok);
    if (!ok || value < std::numeric_limits<qint16>::min() ||
        value > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(value);
}

QString recordNumberText(qint16 value) {
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

namespace {

// The first five lines of a record file as far as they read: each line's bytes and its two
// cells (the text before its first ";" and the text after it).
struct StreakLines {
    QByteArray raw[kStreakLines];
    QString cells[kStreakLines][2];
    int count = 0;
};

StreakLines splitStreakLines(const QByteArray &file) {
    StreakLines out;
    // A file an editor saved in another encoding is read (and rewritten) in code page 932.
    const QList<RawLine> lines = splitRawLines(toCp932Form(file).bytes);
    for (; out.count < kStreakLines && out.count < lines.size(); ++out.count) {
        const auto text = decodeCp932(lines[out.count].bytes);
        const qsizetype p = text ? text->indexOf(u';') : -1;
        if (p < 0)
            break;
        out.raw[out.count] = lines[out.count].bytes;
        out.cells[out.count][0] = text->left(p);
        out.cells[out.count][1] = text->mid(p + 1);
    }
    return out;
}

int streakRow(Activity activity) {
    return static_cast<int>(activity) + 1;
}

} // namespace

std::optional<QByteArray> raiseStreakRecord(const QByteArray &file, Activity activity,
                                            const QString &holder, qint16 run) {
    const StreakLines lines = splitStreakLines(file);
    if (lines.count < kStreakLines)
        return std::nullopt;
    const int r = streakRow(activity);
    const auto record = parseRecordNumber(lines.cells[r][1]);
    // A tie leaves the record with its earlier holder. The holder's name is one field of the
    // line: a name the file cannot hold is not written, and the record stays as it is.
    if (!record || run <= *record || nameProblem(holder).problem != NameProblem::None)
        return std::nullopt;
    const auto ownLine = encodeCp932(holder + QLatin1Char(';') + recordNumberText(run));
    if (!ownLine)
        return std::nullopt;
    QByteArray bytes = *encodeCp932(streakHeaderLine()) + kLineEnd;
    for (int k = 1; k < kStreakLines; ++k)
        bytes += (k == r ? *ownLine : lines.raw[k]) + kLineEnd; // other lines byte for byte
    return bytes;
}

std::optional<QByteArray> renameStreakHolder(const QByteArray &file, const QString &from,
                                             const QString &to) {
    const StreakLines lines = splitStreakLines(file);
    if (lines.count < kStreakLines || nameProblem(to).problem != NameProblem::None)
        return std::nullopt;
    QByteArray bytes = *encodeCp932(streakHeaderLine()) + kLineEnd;
    bool renamed = false;
    for (int k = 1; k < kStreakLines; ++k) {
        const auto line = lines.cells[k][0] == from
                              ? encodeCp932(to + QLatin1Char(';') + lines.cells[k][1])
                              : std::optional(lines.raw[k]);
        if (!line)
            return std::nullopt;
        renamed = renamed || lines.cells[k][0] == from;
        bytes += *line + kLineEnd;
    }
    return renamed ? std::optional(bytes) : std::nullopt;
}

std::optional<QByteArray> readStreakRecord(ApplicationState &state, Activity activity,
                                           const std::optional<QByteArray> &file,
                                           const QString &name) {
    ActivityFields f = activityFields(state, activity);
    f.RecordHolder.clear();
    if (!file)
        return std::nullopt;
    const StreakLines lines = splitStreakLines(*file);
    for (int i = 0; i < lines.count; ++i) {
        state.StreakRecordTable[i][0] = lines.cells[i][0];
        state.StreakRecordTable[i][1] = lines.cells[i][1];
    }
    if (lines.count < kStreakLines)
        return std::nullopt; // fewer than five lines, or a line without ";"
    const auto record = parseRecordNumber(state.StreakRecordTable[f.streakRow][1]);
    if (!record)
        return std::nullopt;
    f.RecordStreak = *record;
    f.RecordHolder = state.StreakRecordTable[f.streakRow][0];
    return raiseStreakRecord(*file, activity, name, f.BestStreak);
}

void takeOverStreakRecord(ApplicationState &state, Activity activity, const QString &name) {
    ActivityFields f = activityFields(state, activity);
    f.RecordHolder = name;
    f.RecordStreak = f.BestStreak;
}

QString streakMessage(qint16 current, qint16 best, const QString &holder, qint16 record) {
    QString text = QStringLiteral("ただいま連続 ") + QString::number(current) +
                   QStringLiteral(" 回正解中です。　あなたの最高記録は ") + QString::number(best);
    if (holder.isEmpty())
        return text + QStringLiteral(" 回です。");
    return text + QStringLiteral(" 回です。　　　　最高連続正解回数は、 ") + holder +
           QStringLiteral(" さんの ") + QString::number(record) + QStringLiteral(" 回です。");
}

QString streakMessage(ApplicationState &state, Activity activity) {
    const ActivityFields f = activityFields(state, activity);
    return streakMessage(f.CurrentStreak, f.BestStreak, f.RecordHolder, f.RecordStreak);
}

QString pupilStreakMessage(qint16 current, qint16 best, const QString &holder, qint16 record,
                           const QString &fullMark) {
    QString text =
        current > 0
            ? QStringLiteral("いま %1かい つづけて %2！").arg(QString::number(current), fullMark)
            : QStringLiteral("つづけて %1を めざそう！").arg(fullMark);
    text += QStringLiteral(" じぶんの いちばんは %1かい。").arg(best);
    if (!holder.isEmpty())
        text += QStringLiteral(" クラスの いちばんは %1さんの %2かい。")
                    .arg(holder, QString::number(record));
    return text;
}

QString pupilStreakMessage(ApplicationState &state, Activity activity) {
    const ActivityFields f = activityFields(state, activity);
    return pupilStreakMessage(f.CurrentStreak, f.BestStreak, f.RecordHolder, f.RecordStreak,
                              activity == Activity::Challenge ? QStringLiteral("まん点")
                                                              : QStringLiteral("100点"));
}
