#include "classroom/factstate.h"

#include "records/ownfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSet>

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

// What is read at a time: a few milliseconds of reading even in code page 932.
constexpr qint64 kPieceBytes = 64 * 1024;
// The most read from one log: a school year of one computer's answers is a few MB.
constexpr qint64 kMaxFileBytes = 64 << 20;
constexpr qsizetype kHeadBytes = 64;

enum class Unit { Byte, Utf16LE, Utf16BE };

Unit unitOf(const QByteArray &head) {
    return head.startsWith("\xFF\xFE")   ? Unit::Utf16LE
           : head.startsWith("\xFE\xFF") ? Unit::Utf16BE
                                         : Unit::Byte;
}

// Where the last whole line of `bytes` ends (0: none). In UTF-16 only a line feed in a whole
// character counts: its byte 0x0A stands in many other characters (上 is 4E 0A).
qsizetype afterLastLine(QByteArrayView bytes, Unit unit) {
    if (unit == Unit::Byte)
        return bytes.lastIndexOf('\n') + 1;
    const char low = unit == Unit::Utf16LE ? '\n' : '\0';
    const char high = unit == Unit::Utf16LE ? '\0' : '\n';
    for (qsizetype i = (bytes.size() & ~qsizetype(1)) - 2; i >= 0; i -= 2)
        if (bytes[i] == low && bytes[i + 1] == high)
            return i + 2;
    return 0;
}

// Where the first line of `bytes` ends (0: no line end).
qsizetype afterFirstLine(QByteArrayView bytes, Unit unit) {
    if (unit == Unit::Byte)
        return bytes.indexOf('\n') + 1;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        if (bytes[i + (unit == Unit::Utf16LE ? 0 : 1)] == '\n' &&
            bytes[i + (unit == Unit::Utf16LE ? 1 : 0)] == '\0')
            return i + 2;
    return 0;
}

} // namespace

bool FactIndex::readPiece(const QString &path, File &f) {
    const OwnFile own = openOwnFile(path, OwnFileMode::Read);
    if (own.state != OwnFile::Opened)
        return false;
    QFile &file = *own.file;
    const qint64 size = file.size();
    const QByteArray head = file.peek(kHeadBytes);
    // A file saved again whole (by a spreadsheet) keeps its header: the bytes before where
    // reading stopped tell whether what was read is still there.
    const auto readBefore = [&] {
        return file.seek(f.offset - f.before.size()) && file.read(f.before.size()) == f.before;
    };
    if (size < f.offset || !head.startsWith(f.head) || !readBefore())
        f = File(); // replaced: read again from its beginning
    if (size == f.offset || f.offset >= kMaxFileBytes || !file.seek(f.offset))
        return false;
    const Unit unit = unitOf(head);
    const QByteArray piece =
        file.read(std::min({size - f.offset, kPieceBytes, kMaxFileBytes - f.offset}));
    m_bytesRead += piece.size();
    // A line still being written is read when its end is there. A file this program did not
    // write as it is (saved again by a spreadsheet) is nobody's to append to: its last line
    // counts without a line end.
    const bool ours = head.startsWith(answerLogHeader().left(kHeadBytes));
    qsizetype used = afterLastLine(piece, unit);
    if (f.offset + piece.size() == size && !ours)
        used = piece.size() & (unit == Unit::Byte ? ~qsizetype(0) : ~qsizetype(1));
    else if (used == 0 && piece.size() == kPieceBytes)
        used = piece.size(); // a line longer than a piece is damaged anyway
    if (used == 0)
        return false;
    const bool first = f.offset == 0;
    AnswerLogs part;
    part.addFile(first ? piece.left(used) : f.context + piece.left(used));
    if (first) {
        f.head = head;
        // What is read on is read as this: the byte order mark and the header line (which
        // also tells a tab from a comma), or the byte order mark alone when the file starts
        // with an answer.
        const qsizetype bom = unit != Unit::Byte ? 2 : head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        const QByteArray firstLine = piece.left(afterFirstLine(piece, unit));
        AnswerLogs probe;
        probe.addFile(firstLine);
        f.context = probe.answers.isEmpty() && !firstLine.isEmpty() ? firstLine : piece.left(bom);
    }
    f.offset += used;
    f.before = (f.before + piece.left(used)).right(kHeadBytes);
    QList<int> into(part.pupils.size());
    for (qsizetype p = 0; p < part.pupils.size(); ++p) {
        auto it = f.index.constFind(part.pupils[p]);
        if (it == f.index.constEnd()) {
            it = f.index.insert(part.pupils[p], int(f.answers.size()));
            f.answers.emplaceBack();
            f.checks.emplaceBack();
            f.stamps.emplaceBack();
        }
        into[p] = *it;
    }
    for (AnswerRecord answer : std::as_const(part.answers)) {
        answer.pupil = into[answer.pupil];
        f.answers[answer.pupil].append(answer);
        if (answer.check)
            f.checks[answer.pupil].append(answer);
    }
    for (CheckStamp stamp : std::as_const(part.stamps)) {
        stamp.pupil = into[stamp.pupil];
        f.stamps[stamp.pupil].append(stamp);
    }
    return true;
}

bool FactIndex::update(const QString &folder, int budgetMs) {
    QElapsedTimer clock;
    clock.start();
    if (folder != m_folder) {
        m_files.clear();
        m_folder = folder;
    }
    const QFileInfoList entries = QDir(folder).entryInfoList(
        {answerLogFilePattern()}, QDir::Files | QDir::Hidden, QDir::Name);
    QSet<QString> seen;
    bool done = true;
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink())
            continue;
        seen.insert(entry.fileName());
        File &f = m_files[entry.fileName()];
        while (done && readPiece(entry.filePath(), f))
            done = budgetMs < 0 || !clock.hasExpired(budgetMs);
    }
    for (auto it = m_files.begin(); it != m_files.end();)
        it = seen.contains(it.key()) ? std::next(it) : m_files.erase(it);
    return done;
}

PupilFacts FactIndex::facts(const QString &pupil) const {
    PupilFacts out{};
    for (const File &f : m_files) {
        const int index = f.index.value(pupil, -1);
        if (index < 0)
            continue;
        for (const AnswerRecord &answer : f.answers[index])
            out[factIndex(answer.a, answer.b)].add({answerTime(answer), answer.right, answer.ms});
    }
    return out;
}

KukuCard FactIndex::card(const QString &pupil, const std::array<int, kCheckWays> &limitsMs) const {
    KukuCard card;
    for (const File &f : m_files) {
        const int index = f.index.value(pupil, -1);
        if (index < 0)
            continue;
        card.addCheckLines(f.checks[index], limitsMs);
        for (const CheckStamp &stamp : f.stamps[index])
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
