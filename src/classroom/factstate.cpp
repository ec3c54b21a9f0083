#include "classroom/factstate.h"

#include "records/ownfile.h"

#include <QDir>

#include <algorithm>

void FactHistory::add(const FactTry &answer) {
    everRight = everRight || answer.right;
    // The last three by time: logs of several computers are read one after the other.
    if (count == 3) {
        if (answer.at < last[0].at)
            return;
        last[0] = last[1];
        last[1] = last[2];
        count = 2;
    }
    int i = count;
    while (i > 0 && last[i - 1].at > answer.at) {
        last[i] = last[i - 1];
        --i;
    }
    last[i] = answer;
    ++count;
}

FactState FactHistory::state(int limitMs) const {
    if (!everRight)
        return FactState::NotYet;
    int inTime = 0;
    for (int i = 0; i < count; ++i)
        inTime += last[i].right && (limitMs <= 0 || (last[i].ms >= 0 && last[i].ms <= limitMs));
    return inTime >= 2 ? FactState::Known : FactState::Learning;
}

qint32 FactHistory::slowestRightMs() const {
    qint32 slowest = -1;
    for (int i = 0; i < count; ++i)
        if (last[i].right)
            slowest = qMax(slowest, last[i].ms);
    return slowest;
}

qint64 answerTime(const AnswerRecord &answer) {
    return qint64(answer.day) * 86400 + answer.second;
}

QList<PupilFacts> factTallies(const AnswerLogs &logs) {
    QList<PupilFacts> facts(logs.pupils.size());
    for (const AnswerRecord &answer : logs.answers)
        facts[answer.pupil][factIndex(answer.a, answer.b)].add(
            {answerTime(answer), answer.right, answer.ms});
    return facts;
}

int knownFacts(const PupilFacts &facts, int limitMs) {
    return int(std::count_if(facts.cbegin(), facts.cend(), [limitMs](const FactHistory &t) {
        return t.state(limitMs) == FactState::Known;
    }));
}

namespace {

// The most read from one log at a time: a year of one computer's answers is a few MB.
constexpr qint64 kMaxReadBytes = 64 << 20;
constexpr qsizetype kHeadBytes = 64;

} // namespace

void FactIndex::update(const QString &folder) {
    if (folder != m_folder) {
        m_files.clear();
        m_folder = folder;
    }
    const QFileInfoList entries = QDir(folder).entryInfoList(
        {answerLogFilePattern()}, QDir::Files | QDir::Hidden, QDir::Name);
    QSet<QString> seen;
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink())
            continue;
        const OwnFile own = openOwnFile(entry.filePath(), OwnFileMode::Read);
        if (own.state != OwnFile::Opened)
            continue;
        seen.insert(entry.fileName());
        File &f = m_files[entry.fileName()];
        QFile &file = *own.file;
        const qint64 size = file.size();
        const QByteArray head = file.peek(kHeadBytes);
        // Only a file as this program writes it is read on from where it was left; one a
        // spreadsheet saved again is read whole each time.
        const bool ours = head.startsWith(answerLogHeader().left(kHeadBytes));
        if (!ours || size < f.offset || !head.startsWith(f.head))
            f = File();
        if (size == f.offset)
            continue;
        if (!file.seek(f.offset))
            continue;
        QByteArray chunk = file.read(qMin(size - f.offset, kMaxReadBytes));
        if (ours) { // a line still being written is read next time
            const qsizetype end = chunk.lastIndexOf('\n');
            chunk.truncate(end + 1);
        }
        if (chunk.isEmpty())
            continue;
        if (f.offset == 0)
            f.head = head;
        f.offset += ours ? chunk.size() : 0;
        AnswerLogs part;
        part.addFile(chunk);
        QList<int> into(part.pupils.size());
        for (qsizetype p = 0; p < part.pupils.size(); ++p) {
            auto it = f.index.constFind(part.pupils[p]);
            if (it == f.index.constEnd()) {
                it = f.index.insert(part.pupils[p], int(f.pupils.size()));
                f.pupils.append(part.pupils[p]);
            }
            into[p] = *it;
        }
        f.answers.reserve(f.answers.size() + part.answers.size());
        for (AnswerRecord answer : std::as_const(part.answers)) {
            answer.pupil = into[answer.pupil];
            f.answers.append(answer);
            if (answer.check)
                f.checks.append(answer);
        }
        for (CheckStamp stamp : std::as_const(part.stamps)) {
            stamp.pupil = into[stamp.pupil];
            f.stamps.append(stamp);
        }
    }
    for (auto it = m_files.begin(); it != m_files.end();)
        it = seen.contains(it.key()) ? std::next(it) : m_files.erase(it);
}

PupilFacts FactIndex::facts(const QString &pupil) const {
    PupilFacts out{};
    for (const File &f : m_files) {
        const int index = f.index.value(pupil, -1);
        if (index < 0)
            continue;
        for (const AnswerRecord &answer : f.answers)
            if (answer.pupil == index)
                out[factIndex(answer.a, answer.b)].add(
                    {answerTime(answer), answer.right, answer.ms});
    }
    return out;
}

KukuCard FactIndex::card(const QString &pupil, const std::array<int, kCheckWays> &limitsMs) const {
    KukuCard card;
    for (const File &f : m_files) {
        const int index = f.index.value(pupil, -1);
        if (index < 0)
            continue;
        QList<AnswerRecord> lines;
        for (const AnswerRecord &answer : f.checks)
            if (answer.pupil == index)
                lines.append(answer);
        card.addCheckLines(lines, limitsMs);
        for (const CheckStamp &stamp : f.stamps)
            if (stamp.pupil == index)
                card.addStamp(stamp);
    }
    return card;
}

namespace {

struct Pair {
    int a = 0, b = 0; // a <= b
    bool weak = false;
    bool today = false;
    qint64 lastAt = 0;
    qint32 slowest = -1;
    bool hard = false;
    bool missed = false; // the last answer to one of the two was wrong
};

bool hardRow(int n) {
    return n >= 6 && n <= 8;
}

void shuffleList(QList<int> &items, RandomSource &random) {
    for (qsizetype i = items.size() - 1; i > 0; --i)
        items.swapItemsAt(i, qMin(i, qsizetype(random.next() * float(i + 1))));
}

} // namespace

WeakSet dealWeakSet(const PupilFacts &facts, int limitMs, qint64 now, RandomSource &random,
                    quint16 rows) {
    if ((rows & 0x3FE) == 0)
        rows = 0x3FE;
    const auto taught = [rows](int fact) { return rowTaught(rows, fact / 9 + 1); };
    const qint64 today = now / 86400;
    QList<Pair> pairs;
    for (int a = 1; a <= 9; ++a) {
        for (int b = a; b <= 9; ++b) {
            const FactHistory &ab = facts[factIndex(a, b)], &ba = facts[factIndex(b, a)];
            const bool abTaught = rowTaught(rows, a), baTaught = rowTaught(rows, b);
            if (!abTaught && !baTaught)
                continue;
            Pair p{a, b};
            p.weak = (abTaught && ab.state(limitMs) != FactState::Known) ||
                     (baTaught && ba.state(limitMs) != FactState::Known);
            p.lastAt = qMax(ab.lastAt(), ba.lastAt());
            p.today = p.lastAt > 0 && p.lastAt / 86400 == today;
            p.slowest = qMax(ab.slowestRightMs(), ba.slowestRightMs());
            p.hard = hardRow(a) || hardRow(b);
            p.missed = (ab.count && !ab.last[ab.count - 1].right) ||
                       (ba.count && !ba.last[ba.count - 1].right);
            pairs.append(p);
        }
    }
    const bool anyWeak =
        std::any_of(pairs.cbegin(), pairs.cend(), [](const Pair &p) { return p.weak; });
    std::stable_sort(pairs.begin(), pairs.end(), [anyWeak](const Pair &x, const Pair &y) {
        if (!anyWeak) // every fact known: the slowest first
            return x.slowest > y.slowest;
        if (x.weak != y.weak)
            return x.weak;
        // A fact missed on an earlier day comes back first, then one missed today; one never
        // answered is new, not weak, and waits until nothing was missed.
        const auto when = [](const Pair &p) { return p.lastAt == 0 ? 2 : p.today ? 1 : 0; };
        if (when(x) != when(y))
            return when(x) < when(y);
        if (x.missed != y.missed)
            return x.missed;
        if (x.lastAt != y.lastAt)
            return x.lastAt < y.lastAt;
        return x.hard && !y.hard;
    });
    WeakSet set;
    for (const Pair &p : pairs) {
        if (anyWeak && !p.weak)
            break;
        QList<int> pairFacts;
        if (taught(factIndex(p.a, p.b)))
            pairFacts.append(factIndex(p.a, p.b));
        if (p.a != p.b && taught(factIndex(p.b, p.a)))
            pairFacts.append(factIndex(p.b, p.a));
        if (set.weakFacts.size() + pairFacts.size() > 4)
            continue;
        set.weakFacts.append(pairFacts);
        if (set.weakFacts.size() == 4)
            break;
    }
    // Known facts to mix in, at random; where too few are known, facts of the 1, 2 and 5 rows,
    // and where the rows taught hold too few of those (7 alone), the other facts taught.
    QList<int> known, easy, rest;
    for (int i = 0; i < 81; ++i) {
        if (set.weakFacts.contains(i) || !taught(i))
            continue;
        if (facts[i].state(limitMs) == FactState::Known)
            known.append(i);
        else if (i / 9 + 1 <= 2 || i / 9 + 1 == 5 || i % 9 + 1 <= 2 || i % 9 + 1 == 5)
            easy.append(i);
        else
            rest.append(i);
    }
    shuffleList(known, random);
    shuffleList(easy, random);
    QList<int> items = set.weakFacts + set.weakFacts;
    if (items.size() + known.size() + easy.size() < kWeakSetSize)
        shuffleList(rest, random); // only then: a seeded draw stays as it was otherwise
    const QList<int> fillers = known + easy + rest;
    for (qsizetype k = 0; items.size() < kWeakSetSize && k < fillers.size(); ++k)
        items.append(fillers[k]);
    // Never the same fact twice in a row.
    for (int tries = 0; tries < 100; ++tries) {
        shuffleList(items, random);
        bool apart = true;
        for (qsizetype i = 1; i < items.size(); ++i)
            apart = apart && items[i] != items[i - 1];
        if (apart)
            break;
    }
    for (int i : std::as_const(items))
        set.questions.append({i / 9 + 1, i % 9 + 1});
    return set;
}
