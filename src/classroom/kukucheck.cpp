#include "classroom/kukucheck.h"

#include "classroom/factstate.h"

namespace {

// The readings as children learn them, row by row: "が" stands between the two where the
// product is a single digit.
const char16_t *const kReadings[81] = {
    // 1
    u"いんいち が いち", u"いんに が に", u"いんさん が さん", u"いんし が し", u"いんご が ご",
    u"いんろく が ろく", u"いんしち が しち", u"いんはち が はち", u"いんく が く",
    // 2
    u"にいち が に", u"ににん が し", u"にさん が ろく", u"にし が はち", u"にご じゅう",
    u"にろく じゅうに", u"にしち じゅうし", u"にはち じゅうろく", u"にく じゅうはち",
    // 3
    u"さんいち が さん", u"さんに が ろく", u"さざん が く", u"さんし じゅうに", u"さんご じゅうご",
    u"さぶろく じゅうはち", u"さんしち にじゅういち", u"さんぱ にじゅうし", u"さんく にじゅうしち",
    // 4
    u"しいち が し", u"しに が はち", u"しさん じゅうに", u"しし じゅうろく", u"しご にじゅう",
    u"しろく にじゅうし", u"ししち にじゅうはち", u"しは さんじゅうに", u"しく さんじゅうろく",
    // 5
    u"ごいち が ご", u"ごに じゅう", u"ごさん じゅうご", u"ごし にじゅう", u"ごご にじゅうご",
    u"ごろく さんじゅう", u"ごしち さんじゅうご", u"ごは しじゅう", u"ごっく しじゅうご",
    // 6
    u"ろくいち が ろく", u"ろくに じゅうに", u"ろくさん じゅうはち", u"ろくし にじゅうし",
    u"ろくご さんじゅう", u"ろくろく さんじゅうろく", u"ろくしち しじゅうに",
    u"ろくは しじゅうはち", u"ろっく ごじゅうし",
    // 7
    u"しちいち が しち", u"しちに じゅうし", u"しちさん にじゅういち", u"しちし にじゅうはち",
    u"しちご さんじゅうご", u"しちろく しじゅうに", u"しちしち しじゅうく", u"しちは ごじゅうろく",
    u"しちく ろくじゅうさん",
    // 8
    u"はちいち が はち", u"はちに じゅうろく", u"はちさん にじゅうし", u"はちし さんじゅうに",
    u"はちご しじゅう", u"はちろく しじゅうはち", u"はちしち ごじゅうろく", u"はっぱ ろくじゅうし",
    u"はっく しちじゅうに",
    // 9
    u"くいち が く", u"くに じゅうはち", u"くさん にじゅうしち", u"くし さんじゅうろく",
    u"くご しじゅうご", u"くろく ごじゅうし", u"くしち ろくじゅうさん", u"くは しちじゅうに",
    u"くく はちじゅういち"};

} // namespace

QString kukuReading(int a, int b) {
    if (a < 1 || a > 9 || b < 1 || b > 9)
        return QString();
    return QString::fromUtf16(kReadings[factIndex(a, b)]);
}

QList<int> checkOrder(CheckWay way, RandomSource &random) {
    QList<int> order;
    for (int b = 1; b <= 9; ++b)
        order.append(way == CheckWay::Down ? 10 - b : b);
    if (way == CheckWay::Mixed) {
        random.reseedFromClock();
        for (qsizetype i = order.size() - 1; i > 0; --i)
            order.swapItemsAt(i, qMin(i, qsizetype(random.next() * float(i + 1))));
    }
    return order;
}

KukuCheck::KukuCheck(int row, CheckWay way, const QList<int> &order, int limitMs)
    : m_row(row), m_way(way), m_order(order), m_limitMs(limitMs) {
}

KukuCheck::Outcome KukuCheck::answer(int given, int ms) {
    if (!running())
        return m_outcome;
    const int b = multiplier();
    m_last = {m_row, b, given == m_row * b, ms, given};
    m_lastIndex = m_index;
    // An unknown time counts as over any limit, as the card reads it.
    m_totalMs = ms < 0 || m_totalMs < 0 ? -1 : m_totalMs + ms;
    if (!m_last.right)
        return m_outcome = Outcome::Wrong;
    if (m_index < 8) {
        ++m_index;
        return m_outcome;
    }
    const bool inTime = m_limitMs <= 0 || (m_totalMs >= 0 && m_totalMs <= m_limitMs);
    return m_outcome = inTime ? Outcome::Passed : Outcome::TooSlow;
}

bool checkPassed(const AnswerRecord *lines, qsizetype count, int limitMs) {
    if (count != 9)
        return false;
    const int code = lines[0].check;
    const int row = checkCodeRow(code);
    const CheckWay way = checkCodeWay(code);
    qint64 total = 0;
    int seen = 0; // the multipliers met, as bits
    for (int i = 0; i < 9; ++i) {
        const AnswerRecord &r = lines[i];
        if (r.check != code || !r.right || r.a != row || r.unfinished)
            return false;
        if ((way == CheckWay::Up && r.b != i + 1) || (way == CheckWay::Down && r.b != 9 - i))
            return false;
        seen |= 1 << r.b;
        total = r.ms < 0 || total < 0 ? -1 : total + r.ms;
    }
    return seen == 0x3FE && (limitMs <= 0 || (total >= 0 && total <= limitMs));
}

bool KukuCard::rowPassed(int row) const {
    for (int way = 0; way < kCheckWays; ++way)
        if (!cell(row, CheckWay(way)).done())
            return false;
    return true;
}

QString classCellText(const KukuCard &card, int row) {
    if (card.rowPassed(row))
        return QStringLiteral("◎");
    int done = 0;
    for (int way = 0; way < kCheckWays; ++way)
        done += card.cell(row, CheckWay(way)).done();
    return done ? QString::number(done) : QStringLiteral("・");
}

std::array<int, 9> rowPassCounts(const QList<PupilCard> &cards) {
    std::array<int, 9> counts{};
    for (const PupilCard &pupil : cards)
        for (int row = 1; row <= 9; ++row)
            counts[row - 1] += pupil.card.rowPassed(row);
    return counts;
}

bool anyCardCell(const QList<PupilCard> &cards) {
    for (const PupilCard &pupil : cards)
        for (const auto &row : pupil.card.cells)
            for (const CardCell &cell : row)
                if (cell.done())
                    return true;
    return false;
}

namespace {
void keepEarlier(QDate &kept, const QDate &day) {
    if (!kept.isValid() || day < kept)
        kept = day;
}
} // namespace

void KukuCard::addCheckLines(const QList<AnswerRecord> &lines,
                             const std::array<int, kCheckWays> &limitsMs) {
    // The lines so far of the check of each code that is under way; none open before its
    // first question's line (a check whose start is not in this log is not read).
    std::array<QList<AnswerRecord>, 1 + 9 * kCheckWays> open;
    std::array<bool, 1 + 9 * kCheckWays> under{};
    for (const AnswerRecord &r : lines) {
        if (r.check == 0 || r.check >= open.size())
            continue;
        if (r.checkStart) {
            open[r.check].clear();
            under[r.check] = true;
        }
        if (!under[r.check])
            continue;
        QList<AnswerRecord> &so = open[r.check];
        so.append(r);
        if (r.right && so.size() < 9)
            continue;
        under[r.check] = false;
        if (checkPassed(so.constData(), so.size(), limitsMs[int(checkCodeWay(r.check))]))
            keepEarlier(cells[checkCodeRow(r.check) - 1][int(checkCodeWay(r.check))].passed,
                        QDate::fromJulianDay(r.day));
        so.clear();
    }
}

void KukuCard::addStamp(const CheckStamp &stamp) {
    if (stamp.check == 0 || stamp.check > 9 * kCheckWays)
        return;
    keepEarlier(cells[checkCodeRow(stamp.check) - 1][int(checkCodeWay(stamp.check))].stamped,
                QDate::fromJulianDay(stamp.day));
}
