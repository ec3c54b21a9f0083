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

std::optional<QByteArray> readStreakRecord(ApplicationState &state, Activity activity,
                                           const std::optional<QByteArray> &file,
                                           const QString &name) {
    ActivityFields f = activityFields(state, activity);
    const int r = f.streakRow;
    f.RecordHolder.clear();
    if (!file)
        return std::nullopt;
    const QList<RawLine> lines = splitRawLines(*file);
    for (int i = 0; i < kStreakLines; ++i) {
        if (i >= lines.size())
            return std::nullopt; // fewer than five lines
        const auto text = decodeCp932(lines[i].bytes);
        if (!text)
            return std::nullopt;
        const qsizetype p = text->indexOf(u';');
        if (p < 0)
            return std::nullopt;
        state.StreakRecordTable[i][0] = text->left(p);
        state.StreakRecordTable[i][1] = text->mid(p + 1);
    }
    const auto record = parseRecordNumber(state.StreakRecordTable[r][1]);
    if (!record)
        return std::nullopt;
    f.RecordStreak = *record;
    f.RecordHolder = state.StreakRecordTable[r][0];

    // A tie leaves the record with its earlier holder.
    if (f.BestStreak <= f.RecordStreak)
        return std::nullopt;
    // The holder's name is one field of the line: a name the file cannot hold is not
    // written, and the record stays as read.
    if (nameProblem(name).problem != NameProblem::None)
        return std::nullopt;
    QString content = streakHeaderLine() + QLatin1String(kLineEnd);
    for (int k = 1; k < kStreakLines; ++k) {
        if (k == r)
            content += name + QLatin1Char(';') + recordNumberText(f.BestStreak);
        else
            content +=
                state.StreakRecordTable[k][0] + QLatin1Char(';') + state.StreakRecordTable[k][1];
        content += QLatin1String(kLineEnd);
    }
    return encodeCp932(content);
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
