#include "server/classservice.h"

#include "classroom/factstate.h"
#include "classroom/kukucheck.h"
#include "core/shuffle.h"
#include "records/streakrecord.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <algorithm>
#include <optional>

namespace {

// The activities a tablet can be dealt, as the protocol names them.
enum class Kind { Practice, Novice, Intermediate, Expert, Challenge, Weak };
constexpr int kKinds = 6;
const char *const kKindNames[kKinds] = {"practice", "novice",    "intermediate",
                                        "expert",   "challenge", "weak"};

std::optional<Kind> kindNamed(const QString &name) {
    for (int i = 0; i < kKinds; ++i)
        if (name == QLatin1String(kKindNames[i]))
            return Kind(i);
    return std::nullopt;
}

bool graded(Kind kind) {
    return kind == Kind::Novice || kind == Kind::Intermediate || kind == Kind::Expert ||
           kind == Kind::Challenge;
}

Activity activityOf(Kind kind) {
    return Activity(int(kind) - 1);
}

// The levels' pools in the fact tables: offset and size.
struct Pool {
    int offset, size;
};
Pool poolOf(Kind kind) {
    switch (kind) {
    case Kind::Novice:
        return {9, 36};
    case Kind::Intermediate:
        return {45, 36};
    default:
        return {0, 81};
    }
}

constexpr int kLevelQuestions = 20;
constexpr int kChallengeBoxes = 81;
constexpr int kPracticeQuestions = 18;
constexpr int kMaxGiven = 9999;
constexpr int kMaxMs = 3600 * 1000;            // a longer time is no answer's time: unknown
constexpr int kMaxReadMs = 1000 * 1000 * 1000; // beyond this a time is no number the page sends

int timeTaken(std::optional<int> ms) {
    return ms && *ms <= kMaxMs ? *ms : -1;
}
constexpr int kMaxReplies = 64; // remembered replies per set

QByteArray json(const QJsonObject &object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

ServiceReply error(int status, const QString &code, const QString &text = {}) {
    return {status, "application/json",
            json({{QStringLiteral("code"), code},
                  {QStringLiteral("error"), text.isEmpty() ? serviceErrorText(code) : text}})};
}

ServiceReply ok(const QJsonObject &object) {
    return {200, "application/json", json(object)};
}

// A whole number within [low, high] in a JSON value; nullopt otherwise (a fraction, a text,
// a number out of range).
std::optional<int> wholeNumber(const QJsonValue &value, int low, int high) {
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (!(d >= low && d <= high) || d != double(qint64(d)))
        return std::nullopt;
    return int(d);
}

QJsonArray questionsJson(const QList<QPair<int, int>> &questions) {
    QJsonArray array;
    for (const auto &[a, b] : questions)
        array.append(QJsonObject{{QStringLiteral("a"), a}, {QStringLiteral("b"), b}});
    return array;
}

// The boxes of a grading or of a set left: the marks against the questions, and each box as
// the log takes it (its first confirmed number, else the number in it). nullopt when the
// request is not such a list.
struct Boxes {
    QList<FactAnswer> facts;
    QList<int> values; // 0: an empty box
    QJsonArray marks;
    int correct = 0;
    bool complete = true;
};
std::optional<Boxes> readBoxes(const QJsonValue &given, const QList<QPair<int, int>> &questions) {
    const QJsonArray answers = given.toArray();
    if (!given.isArray() || answers.size() != questions.size())
        return std::nullopt;
    const auto absentOr = [](const QJsonValue &v, const std::optional<int> &read) {
        return read || v.isNull() || v.isUndefined();
    };
    Boxes boxes;
    for (int i = 0; i < answers.size(); ++i) {
        const QJsonObject one = answers[i].toObject();
        const QJsonValue number = one.value(QStringLiteral("given"));
        const QJsonValue firstNumber = one.value(QStringLiteral("first"));
        const QJsonValue ms = one.value(QStringLiteral("ms"));
        const std::optional<int> value = wholeNumber(number, 0, kMaxGiven);
        const std::optional<int> first = wholeNumber(firstNumber, 0, kMaxGiven);
        const std::optional<int> time = wholeNumber(ms, 0, kMaxReadMs);
        if (!answers[i].isObject() || !absentOr(number, value) || !absentOr(firstNumber, first) ||
            !absentOr(ms, time))
            return std::nullopt;
        // As at the desktop, a box with no number (or 0) is not filled in yet.
        if (value.value_or(0) == 0)
            boxes.complete = false;
        const auto [a, b] = questions[i];
        const bool right = value.value_or(0) == a * b;
        boxes.correct += right;
        boxes.marks.append(right);
        boxes.values.append(value.value_or(0));
        boxes.facts.append(
            {a, b, right, timeTaken(time), first.value_or(0) > 0 ? *first : value.value_or(0)});
    }
    return boxes;
}

const char *stateWord(FactState state) {
    switch (state) {
    case FactState::Known:
        return "known";
    case FactState::Learning:
        return "learning";
    case FactState::NotYet:
        break;
    }
    return "new";
}

// The check's ways as the protocol names them, in CheckWay's order.
const char *const kWayNames[kCheckWays] = {"up", "down", "mixed"};

std::optional<CheckWay> wayNamed(const QJsonValue &name) {
    for (int i = 0; i < kCheckWays; ++i)
        if (name.toString() == QLatin1String(kWayNames[i]))
            return CheckWay(i);
    return std::nullopt;
}

const char *outcomeWord(KukuCheck::Outcome outcome) {
    switch (outcome) {
    case KukuCheck::Outcome::Running:
        return "next";
    case KukuCheck::Outcome::Passed:
        return "passed";
    case KukuCheck::Outcome::Wrong:
        return "wrong";
    case KukuCheck::Outcome::TooSlow:
        break;
    }
    return "slow";
}

QJsonObject cardJson(const KukuCard &card) {
    const auto day = [](const QDate &d) {
        return d.isValid() ? d.toString(Qt::ISODate) : QString();
    };
    QJsonArray cells, passedRows;
    for (int row = 1; row <= 9; ++row) {
        for (int way = 0; way < kCheckWays; ++way) {
            const CardCell &cell = card.cell(row, CheckWay(way));
            cells.append(QJsonObject{{QStringLiteral("row"), row},
                                     {QStringLiteral("way"), QLatin1String(kWayNames[way])},
                                     {QStringLiteral("passed"), day(cell.passed)},
                                     {QStringLiteral("stamped"), day(cell.stamped)}});
        }
        if (card.rowPassed(row))
            passedRows.append(row);
    }
    return {{QStringLiteral("cells"), cells}, {QStringLiteral("passedRows"), passedRows}};
}

} // namespace

QString serviceErrorText(const QString &code) {
    static const QHash<QString, QString> texts = {
        {QStringLiteral("bad"),
         QStringLiteral("うまく とどきませんでした。もういちど やってみてね。")},
        {QStringLiteral("tablet"), QStringLiteral("はじめから やりなおしてね。")},
        {QStringLiteral("signin"), QStringLiteral("さいしょに 名前を 入れてね。")},
        {QStringLiteral("set"),
         QStringLiteral("この もんだいは おわっています。あたらしい もんだいを だしてね。")},
        {QStringLiteral("incomplete"), QStringLiteral("ぜんぶの こたえを 入れてね。")},
        {QStringLiteral("order"), QStringLiteral("じゅんばんに こたえてね。")},
        {QStringLiteral("slow"), QStringLiteral("すこし まってね。")},
        {QStringLiteral("full"), QStringLiteral("いまは 入れません。先生に しらせてね。")},
        {QStringLiteral("failed"), QStringLiteral("いま きろくが できません。先生に しらせてね。")},
        {QStringLiteral("missing"),
         QStringLiteral("この アドレスは つかえません。先生に きいてね。")},
        {QStringLiteral("untaught"),
         QStringLiteral("この だんは まだ けんてい できません。ほかの だんを えらんでね。")},
        {QStringLiteral("gone"),
         QStringLiteral("この コードは もう つかえません。先生の あたらしい コードを "
                        "よみとってね。")},
    };
    return texts.value(code, texts.value(QStringLiteral("bad")));
}

// A set dealt to a tablet: its questions and what was answered, with the replies already
// given, so that a request sent again is answered the same.
struct ClassService::DealtSet {
    QString id;
    Kind kind = Kind::Novice;
    QList<QPair<int, int>> questions;
    int lastAttempt = 0; // grade: the highest attempt graded
    int open = 0;        // practice and weak: the question being answered
    int misses = 0;      // practice: wrong answers
    int right = 0;       // weak: right answers
    QList<bool> logged;  // practice: the question's first answer is in the log
    bool left = false;   // level and challenge: left before grading, its answers logged
    QHash<QString, QByteArray> replies;
};

// A check under way on a tablet: the classroom's check, the answers it was given (from which
// it is taken up again after a restart) and the reply given to each question.
struct ClassService::CheckSet {
    QString id;
    KukuCheck check;
    QList<QPair<int, int>> answers; // given and ms, in the order answered
    QHash<int, QByteArray> replies; // by question index
};

struct ClassService::Tablet {
    QString token;
    QString name;
    QString address;
    QString pupil;
    PupilRuns runs;
    qint64 lastSeenMs = 0;
    std::shared_ptr<DealtSet> sets[kKinds];
    std::shared_ptr<CheckSet> check;
};

// The page's files (resources/web.qrc) are compiled into this static library, whose resources
// are registered only when named: without this the page's addresses would answer 404.
static void registerPageFiles() {
    Q_INIT_RESOURCE(web);
}

ClassService::ClassService(Classroom &classroom, std::function<qint64()> steadyMs, QObject *parent)
    : QObject(parent), m_classroom(classroom), m_steadyMs(std::move(steadyMs)) {
    registerPageFiles();
    // A tablet signs in only a name on the class list: a typo makes no new pupil.
    m_classroom.setNewPupilsRefused(true);
    newCode();
    m_factsReader.setInterval(0);
    connect(&m_factsReader, &QTimer::timeout, this, [this] {
        if (m_classroom.readFactsAhead(kFactsSliceMs))
            m_factsReader.stop();
    });
}

qint64 ClassService::now() const {
    if (m_steadyMs)
        return m_steadyMs();
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

bool ClassService::validCode(const QString &code) {
    static const QString alphabet = QStringLiteral("abcdefghjkmnpqrstuvwxyz23456789");
    return code.size() == 8 &&
           std::all_of(code.begin(), code.end(), [](QChar c) { return alphabet.contains(c); });
}

void ClassService::setCode(const QString &code) {
    if (validCode(code))
        m_code = code;
}

void ClassService::newCode() {
    // Eight letters and digits that cannot be mistaken for one another when read aloud.
    static const char alphabet[] = "abcdefghjkmnpqrstuvwxyz23456789";
    m_code.clear();
    for (int i = 0; i < 8; ++i)
        m_code +=
            QLatin1Char(alphabet[QRandomGenerator::system()->bounded(int(sizeof(alphabet) - 1))]);
}

bool ClassService::withinRate(const QString &key, double perSecond, double burst) {
    const qint64 at = now();
    auto it = m_buckets.find(key);
    if (it == m_buckets.end()) {
        // The buckets are bounded: those that have filled up again are forgotten.
        if (m_buckets.size() > 4 * kMaxTablets)
            for (auto b = m_buckets.begin(); b != m_buckets.end();)
                b = at - b->atMs > qint64(burst / perSecond * 1000) ? m_buckets.erase(b) : ++b;
        it = m_buckets.insert(key, {burst, at});
    }
    it->tokens = std::min(burst, it->tokens + double(at - it->atMs) * perSecond / 1000.0);
    it->atMs = at;
    if (it->tokens < 1.0)
        return false;
    it->tokens -= 1.0;
    return true;
}

ServiceReply ClassService::handle(const QByteArray &method, const QString &path,
                                  const QByteArray &body, const QByteArray &tablet,
                                  const QString &peer) {
    // "/c/<code>/<rest>": another code is an old address, answered in words the page shows.
    const QString prefix = QStringLiteral("/c/");
    const qsizetype slash = path.indexOf(u'/', prefix.size());
    if (!path.startsWith(prefix) || slash < 0)
        return error(404, QStringLiteral("missing"));
    const bool ours = QStringView(path).sliced(prefix.size(), slash - prefix.size()) == m_code;
    const QString rest = path.mid(slash + 1);
    if (!ours && rest.startsWith(QStringLiteral("api/")))
        return error(410, QStringLiteral("gone"));
    if (rest.startsWith(QStringLiteral("api/"))) {
        if (method != "POST")
            return error(405, QStringLiteral("bad"));
        if (body.size() > kMaxBody)
            return error(413, QStringLiteral("bad"));
        return api(rest.mid(4), body, tablet, peer);
    }
    if (method != "GET" && method != "HEAD")
        return error(405, QStringLiteral("bad"));
    if (!withinRate(QStringLiteral("peer:") + peer, 20, 60))
        return error(429, QStringLiteral("slow"));
    // The page's own files, by name; nothing else is ever opened.
    static const QHash<QString, QPair<QString, QByteArray>> files = {
        {QString(), {QStringLiteral(":/web/index.html"), "text/html; charset=utf-8"}},
        {QStringLiteral("index.html"),
         {QStringLiteral(":/web/index.html"), "text/html; charset=utf-8"}},
        {QStringLiteral("app.js"),
         {QStringLiteral(":/web/app.js"), "text/javascript; charset=utf-8"}},
        {QStringLiteral("logic.js"),
         {QStringLiteral(":/web/logic.js"), "text/javascript; charset=utf-8"}},
        {QStringLiteral("style.css"),
         {QStringLiteral(":/web/style.css"), "text/css; charset=utf-8"}},
    };
    const auto file = files.constFind(rest);
    if (file == files.constEnd())
        return error(404, QStringLiteral("missing"));
    QFile resource(file->first);
    if (!resource.open(QIODevice::ReadOnly))
        return error(404, QStringLiteral("missing"));
    return {200, file->second, resource.readAll()};
}

ServiceReply ClassService::api(const QString &verb, const QByteArray &body, const QByteArray &token,
                               const QString &peer) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return error(400, QStringLiteral("bad"));
    const QJsonObject request = document.object();

    if (verb == QLatin1String("hello")) {
        if (!withinRate(QStringLiteral("hello:") + peer, 2, 60))
            return error(429, QStringLiteral("slow"));
        m_stateChanged = true;
        ServiceReply failure;
        const QJsonObject reply = hello(request, peer, failure);
        return reply.isEmpty() ? failure : ok(reply);
    }
    const auto found = m_tablets.constFind(QString::fromLatin1(token));
    if (token.isEmpty() || token.size() > 64 || found == m_tablets.constEnd())
        return error(401, QStringLiteral("tablet"));
    const std::shared_ptr<Tablet> tablet = *found;
    if (!withinRate(tablet->token, 20, 60))
        return error(429, QStringLiteral("slow"));
    const bool wasQuiet = now() - tablet->lastSeenMs > kConnectedMs;
    tablet->lastSeenMs = now();
    tablet->address = peer;
    if (wasQuiet)
        Q_EMIT tabletsChanged();

    if (verb == QLatin1String("names")) {
        QJsonArray names;
        for (const RosterRow &row : m_classroom.classList())
            names.append(row[0]);
        return ok({{QStringLiteral("names"), names}});
    }
    if (verb != QLatin1String("facts") && verb != QLatin1String("fullmarks") &&
        verb != QLatin1String("card") && verb != QLatin1String("checkrows"))
        m_stateChanged = true;
    if (verb == QLatin1String("signin"))
        return signIn(*tablet, request);
    if (verb == QLatin1String("signout")) {
        tablet->pupil.clear();
        for (auto &set : tablet->sets)
            set.reset();
        tablet->check.reset();
        Q_EMIT tabletsChanged();
        return ok({});
    }
    static const QStringList pupilVerbs = {"deal",        "grade", "answer",    "facts",
                                           "fullmarks",   "leave", "checkrows", "check",
                                           "checkanswer", "card"};
    if (!pupilVerbs.contains(verb))
        return error(404, QStringLiteral("bad"));
    if (tablet->pupil.isEmpty())
        return error(403, QStringLiteral("signin"));
    if (verb == QLatin1String("checkrows"))
        return checkRows();
    if (verb == QLatin1String("check"))
        return startCheck(*tablet, request);
    if (verb == QLatin1String("checkanswer"))
        return checkAnswer(*tablet, request);
    if (verb == QLatin1String("card"))
        return card(*tablet);
    if (verb == QLatin1String("deal"))
        return deal(*tablet, request);
    if (verb == QLatin1String("grade"))
        return grade(*tablet, request);
    if (verb == QLatin1String("answer"))
        return answer(*tablet, request);
    if (verb == QLatin1String("leave"))
        return leave(*tablet, request);
    if (verb == QLatin1String("facts"))
        return facts(*tablet);
    return fullMarks(*tablet, request);
}

QJsonObject ClassService::hello(const QJsonObject &request, const QString &peer,
                                ServiceReply &failure) {
    const QString old = request.value(QStringLiteral("tablet")).toString();
    std::shared_ptr<Tablet> tablet = m_tablets.value(old.left(64));
    if (!tablet) {
        // One address holds at most kMaxTabletsPerAddress: its tablet heard from longest ago
        // makes room, so a peer asking again and again only replaces its own.
        auto ownOldest = m_tablets.end();
        int own = 0;
        for (auto it = m_tablets.begin(); it != m_tablets.end(); ++it) {
            if ((*it)->address != peer)
                continue;
            ++own;
            if (ownOldest == m_tablets.end() || (*it)->lastSeenMs < (*ownOldest)->lastSeenMs)
                ownOldest = it;
        }
        if (own >= kMaxTabletsPerAddress) {
            m_tablets.erase(ownOldest);
        } else if (m_tablets.size() >= kMaxTablets) {
            // The tablet heard from longest ago makes room, unless every one is in use.
            auto oldest = std::min_element(
                m_tablets.begin(), m_tablets.end(),
                [](const auto &x, const auto &y) { return x->lastSeenMs < y->lastSeenMs; });
            if (now() - (*oldest)->lastSeenMs < kConnectedMs) {
                failure = error(503, QStringLiteral("full"));
                return {};
            }
            m_tablets.erase(oldest);
        }
        tablet = std::make_shared<Tablet>();
        tablet->token =
            QString::fromLatin1(QByteArray::number(QRandomGenerator::system()->generate64(), 16) +
                                QByteArray::number(QRandomGenerator::system()->generate64(), 16));
        tablet->name = QStringLiteral("たんまつ %1").arg(++m_tabletNumber);
        m_tablets.insert(tablet->token, tablet);
    }
    tablet->address = peer;
    tablet->lastSeenMs = now();
    Q_EMIT tabletsChanged();
    // The class name the teacher gave the data folder, or none: the folder's own name is not
    // for pupils' eyes.
    return {{QStringLiteral("tablet"), tablet->token},
            {QStringLiteral("name"), tablet->name},
            {QStringLiteral("className"), m_classroom.givenClassName()}};
}

bool ClassService::resume(Tablet &tablet) {
    m_classroom.setAnswerTablet(tablet.name);
    if (m_classroom.resumePupil(tablet.pupil, tablet.runs))
        return true;
    // The teacher took the pupil off the class list meanwhile.
    tablet.pupil.clear();
    Q_EMIT tabletsChanged();
    return false;
}

void ClassService::keepRuns(Tablet &tablet) {
    tablet.runs = m_classroom.pupilRuns();
}

ServiceReply ClassService::signIn(Tablet &tablet, const QJsonObject &request) {
    const QJsonValue name = request.value(QStringLiteral("name"));
    if (!name.isString() || name.toString().size() > 256)
        return error(400, QStringLiteral("bad"));
    m_classroom.setNameText(name.toString());
    const SignInOutcome outcome = m_classroom.signIn(name.toString());
    switch (outcome.kind) {
    case SignInOutcome::Empty:
        return error(422, QStringLiteral("refused"), QStringLiteral("名前を 入れてね。"));
    case SignInOutcome::Refused:
        return error(422, QStringLiteral("refused"), outcome.message);
    case SignInOutcome::Failed:
        return error(503, QStringLiteral("failed"));
    case SignInOutcome::SignedIn:
        break;
    }
    tablet.pupil = outcome.name;
    tablet.runs = {};
    for (auto &set : tablet.sets)
        set.reset();
    tablet.check.reset();
    ApplicationState &state = m_classroom.state();
    QJsonObject messages;
    for (Activity activity : kAllActivities)
        messages.insert(QLatin1String(kKindNames[int(activity) + 1]),
                        pupilStreakMessage(state, activity));
    Q_EMIT tabletsChanged();
    return ok({{QStringLiteral("pupil"), tablet.pupil}, {QStringLiteral("messages"), messages}});
}

ServiceReply ClassService::deal(Tablet &tablet, const QJsonObject &request) {
    const std::optional<Kind> kind =
        kindNamed(request.value(QStringLiteral("activity")).toString());
    if (!kind)
        return error(400, QStringLiteral("bad"));
    ApplicationState &state = m_classroom.state();
    RandomSource &random = m_classroom.random();
    auto set = std::make_shared<DealtSet>();
    set->kind = *kind;
    set->id = QStringLiteral("s%1").arg(++m_setNumber);
    QJsonObject reply{{QStringLiteral("set"), set->id},
                      {QStringLiteral("activity"), QLatin1String(kKindNames[int(*kind)])}};
    const auto fact = [&state](int index) {
        const FactAnswer f = factAnswer(state.FactText[index], false);
        return qMakePair(f.a, f.b);
    };
    switch (*kind) {
    case Kind::Practice: {
        const std::optional<int> chosen = wholeNumber(request.value(QStringLiteral("row")), 0, 9);
        if (!chosen && request.contains(QStringLiteral("row")))
            return error(400, QStringLiteral("bad"));
        random.reseedFromClock();
        const int row =
            chosen.value_or(0) > 0 ? *chosen - 1 : qBound(0, int(9.0 * double(random.next())), 8);
        for (int i = 0; i < 9; ++i)
            set->questions.append(fact(9 * row + i));
        Shuffle(state, 9, random);
        for (int i = 0; i < 9; ++i)
            set->questions.append(fact(9 * row + state.QuestionOrder[i]));
        set->logged = QList<bool>(kPracticeQuestions, false);
        reply.insert(QStringLiteral("row"), row + 1);
        break;
    }
    case Kind::Novice:
    case Kind::Intermediate:
    case Kind::Expert: {
        const Pool pool = poolOf(*kind);
        random.reseedFromClock();
        Shuffle(state, pool.size, random);
        for (int i = 0; i < kLevelQuestions; ++i)
            set->questions.append(fact(state.QuestionOrder[i] + pool.offset));
        break;
    }
    case Kind::Challenge: {
        // Nine shuffled column headers, then nine shuffled row headers; box i asks
        // rows[i / 9] × columns[i % 9].
        int headers[2][9];
        for (auto &line : headers) {
            random.reseedFromClock();
            Shuffle(state, 9, random);
            for (int n = 0; n < 9; ++n)
                line[n] = state.QuestionOrder[n] + 1;
        }
        QJsonArray columns, rows;
        for (int n = 0; n < 9; ++n) {
            columns.append(headers[0][n]);
            rows.append(headers[1][n]);
        }
        for (int i = 0; i < kChallengeBoxes; ++i)
            set->questions.append({headers[1][i / 9], headers[0][i % 9]});
        reply.insert(QStringLiteral("columns"), columns);
        reply.insert(QStringLiteral("rows"), rows);
        break;
    }
    case Kind::Weak:
        if (!resume(tablet))
            return error(403, QStringLiteral("signin"));
        {
            const std::optional<WeakSet> weak = m_classroom.dealWeakSet(kFactsBudgetMs);
            if (!weak)
                return logsStillRead();
            set->questions = weak->questions;
            break;
        }
    }
    if (*kind != Kind::Challenge)
        reply.insert(QStringLiteral("questions"), questionsJson(set->questions));
    // A new set of a graded activity is a first attempt again.
    if (graded(*kind))
        tablet.runs.firstAttempt[int(activityOf(*kind))] = True;
    tablet.sets[int(*kind)] = set;
    return ok(reply);
}

ServiceReply ClassService::grade(Tablet &tablet, const QJsonObject &request) {
    const QString id = request.value(QStringLiteral("set")).toString();
    const std::optional<int> attempt =
        wholeNumber(request.value(QStringLiteral("attempt")), 1, 1000);
    if (!attempt)
        return error(400, QStringLiteral("bad"));
    std::shared_ptr<DealtSet> set;
    for (const auto &s : tablet.sets)
        if (s && s->id == id && graded(s->kind))
            set = s;
    if (!set)
        return error(409, QStringLiteral("set"));
    const QString key = QStringLiteral("g%1").arg(*attempt);
    if (const auto sent = set->replies.constFind(key); sent != set->replies.constEnd())
        return {200, "application/json", *sent};
    if (*attempt <= set->lastAttempt || set->left || set->replies.size() >= kMaxReplies)
        return error(409, QStringLiteral("set"));

    const std::optional<Boxes> boxes =
        readBoxes(request.value(QStringLiteral("answers")), set->questions);
    if (!boxes)
        return error(400, QStringLiteral("bad"));
    if (!boxes->complete)
        return error(422, QStringLiteral("incomplete"));
    if (!resume(tablet))
        return error(403, QStringLiteral("signin"));
    const Activity activity = activityOf(set->kind);
    const bool first = activityFields(m_classroom.state(), activity).FirstAttempt == True;
    const int correct = boxes->correct;
    const QJsonArray &marks = boxes->marks;
    m_classroom.grade(activity, correct, boxes->facts);
    // A raised best run is on disk before the pupil is told of it: a crash after the reply
    // must not take a full mark back.
    m_classroom.writeDeferredRoster();
    keepRuns(tablet);
    set->lastAttempt = *attempt;

    QJsonObject reply{
        {QStringLiteral("marks"), marks},
        {QStringLiteral("correct"), correct},
        {QStringLiteral("counted"), first},
        {QStringLiteral("message"), pupilStreakMessage(m_classroom.state(), activity)}};
    if (set->kind == Kind::Challenge)
        reply.insert(QStringLiteral("result"), !first ? QString()
                                               : correct == kChallengeBoxes
                                                   ? QStringLiteral("まん点です！")
                                                   : QStringLiteral("ざんねん！"));
    else
        reply.insert(QStringLiteral("score"), correct * 5);
    const QByteArray bytes = json(reply);
    set->replies.insert(key, bytes);
    return {200, "application/json", bytes};
}

ServiceReply ClassService::leave(Tablet &tablet, const QJsonObject &request) {
    const QString id = request.value(QStringLiteral("set")).toString();
    std::shared_ptr<DealtSet> set;
    for (const auto &s : tablet.sets)
        if (s && s->id == id && graded(s->kind))
            set = s;
    if (!set)
        return error(409, QStringLiteral("set"));
    const QString key = QStringLiteral("leave");
    if (const auto sent = set->replies.constFind(key); sent != set->replies.constEnd())
        return {200, "application/json", *sent};
    // A set graded once is in the log already.
    if (set->lastAttempt > 0)
        return ok({});
    const std::optional<Boxes> boxes =
        readBoxes(request.value(QStringLiteral("answers")), set->questions);
    if (!boxes)
        return error(400, QStringLiteral("bad"));
    if (!resume(tablet))
        return error(403, QStringLiteral("signin"));
    QList<FactAnswer> typed;
    for (int i = 0; i < boxes->facts.size(); ++i)
        if (boxes->values[i] > 0 || boxes->facts[i].given > 0)
            typed.append(boxes->facts[i]);
    m_classroom.recordUnfinishedSet(LoggedActivity(int(set->kind)), typed, tablet.pupil);
    set->left = true;
    const QByteArray bytes = json({});
    set->replies.insert(key, bytes);
    return {200, "application/json", bytes};
}

ServiceReply ClassService::answer(Tablet &tablet, const QJsonObject &request) {
    const QString id = request.value(QStringLiteral("set")).toString();
    std::shared_ptr<DealtSet> set;
    for (const auto &s : tablet.sets)
        if (s && s->id == id && !graded(s->kind))
            set = s;
    const std::optional<int> index =
        wholeNumber(request.value(QStringLiteral("index")), 0, kPracticeQuestions - 1);
    const std::optional<int> tries = wholeNumber(request.value(QStringLiteral("try")), 1, 1000);
    const std::optional<int> given =
        wholeNumber(request.value(QStringLiteral("given")), 0, kMaxGiven);
    const QJsonValue ms = request.value(QStringLiteral("ms"));
    const std::optional<int> time = wholeNumber(ms, 0, kMaxReadMs);
    if (!index || !tries || !given || (!time && !ms.isNull() && !ms.isUndefined()))
        return error(400, QStringLiteral("bad"));
    if (!set)
        return error(409, QStringLiteral("set"));
    const QString key = QStringLiteral("a%1.%2").arg(*index).arg(*tries);
    if (const auto sent = set->replies.constFind(key); sent != set->replies.constEnd())
        return {200, "application/json", *sent};
    if (*index >= set->questions.size() || *index != set->open)
        return error(409, QStringLiteral("order"));
    if (*given == 0)
        return error(422, QStringLiteral("incomplete"));
    if (set->replies.size() >= kMaxReplies) // a set's replies are bounded
        set->replies.clear();
    if (!resume(tablet))
        return error(403, QStringLiteral("signin"));

    const auto [a, b] = set->questions[*index];
    const bool right = *given == a * b;
    const FactAnswer fact{a, b, right, timeTaken(time), *given};
    QJsonObject reply{{QStringLiteral("right"), right}};
    if (set->kind == Kind::Practice) {
        // The question's first answer goes to the log; only a right one opens the next.
        if (!set->logged[*index]) {
            set->logged[*index] = true;
            m_classroom.recordAnswer(LoggedActivity::Practice, fact);
        }
        if (right)
            ++set->open;
        else
            ++set->misses;
        if (set->open == set->questions.size())
            reply.insert(QStringLiteral("summary"),
                         set->misses == 0 ? QStringLiteral("よくできました！ おめでとう。")
                                          : QStringLiteral("ざんねん！ がんばりましょう。"));
    } else {
        // Every question is answered once; a wrong one is shown its product.
        m_classroom.recordAnswer(LoggedActivity::WeakFacts, fact);
        set->right += right;
        ++set->open;
        reply.insert(QStringLiteral("product"), a * b);
        if (set->open == set->questions.size())
            reply.insert(QStringLiteral("summary"),
                         QStringLiteral("おわり！ %1もん中 %2もん せいかい。")
                             .arg(set->questions.size())
                             .arg(set->right));
    }
    reply.insert(QStringLiteral("done"), set->open == set->questions.size());
    const QByteArray bytes = json(reply);
    set->replies.insert(key, bytes);
    return {200, "application/json", bytes};
}

ServiceReply ClassService::facts(Tablet &tablet) {
    if (!resume(tablet))
        return error(403, QStringLiteral("signin"));
    const std::optional<PupilFacts> read = m_classroom.pupilFacts(kFactsBudgetMs);
    if (!read)
        return logsStillRead();
    const PupilFacts &facts = *read;
    const int limit = Classroom::factLimitMs();
    QJsonArray cells;
    for (int a = 1; a <= 9; ++a)
        for (int b = 1; b <= 9; ++b)
            cells.append(
                QJsonObject{{QStringLiteral("a"), a},
                            {QStringLiteral("b"), b},
                            {QStringLiteral("state"),
                             QLatin1String(stateWord(facts[factIndex(a, b)].state(limit)))}});
    return ok({{QStringLiteral("known"), knownFacts(facts, limit)},
               {QStringLiteral("total"), 81},
               {QStringLiteral("cells"), cells}});
}

ServiceReply ClassService::fullMarks(Tablet &tablet, const QJsonObject &request) {
    const std::optional<Kind> kind =
        kindNamed(request.value(QStringLiteral("activity")).toString());
    if (!kind || !graded(*kind))
        return error(400, QStringLiteral("bad"));
    Q_UNUSED(tablet);
    // As the desktop's list: the roster as every copy left it.
    m_classroom.rereadRoster();
    const QStringList names = m_classroom.fullMarkNames(int(activityOf(*kind)) + 2);
    return ok({{QStringLiteral("names"), QJsonArray::fromStringList(names)}});
}

// ---- 九九けんてい ------------------------------------------------------------------------

ServiceReply ClassService::checkRows() {
    const quint16 taught = m_classroom.taughtRows();
    QJsonArray rows;
    for (int row = 1; row <= 9; ++row)
        if (rowTaught(taught, row))
            rows.append(row);
    QJsonObject limits;
    for (int way = 0; way < kCheckWays; ++way)
        limits.insert(QLatin1String(kWayNames[way]), Classroom::checkLimitMs(CheckWay(way)));
    return ok({{QStringLiteral("rows"), rows}, {QStringLiteral("limits"), limits}});
}

ServiceReply ClassService::startCheck(Tablet &tablet, const QJsonObject &request) {
    const std::optional<int> row = wholeNumber(request.value(QStringLiteral("row")), 1, 9);
    const std::optional<CheckWay> way = wayNamed(request.value(QStringLiteral("way")));
    if (!row || !way)
        return error(400, QStringLiteral("bad"));
    if (!resume(tablet))
        return error(403, QStringLiteral("signin"));
    const std::optional<KukuCheck> check = m_classroom.startCheck(*row, *way);
    if (!check)
        return error(422, QStringLiteral("untaught"));
    auto set = std::make_shared<CheckSet>();
    set->id = QStringLiteral("k%1").arg(++m_setNumber);
    set->check = *check;
    tablet.check = set;
    QJsonArray order;
    for (int b : check->order())
        order.append(b);
    return ok({{QStringLiteral("set"), set->id},
               {QStringLiteral("row"), *row},
               {QStringLiteral("way"), QLatin1String(kWayNames[int(*way)])},
               {QStringLiteral("order"), order},
               {QStringLiteral("limitMs"), check->limitMs()}});
}

ServiceReply ClassService::checkAnswer(Tablet &tablet, const QJsonObject &request) {
    const std::optional<int> index = wholeNumber(request.value(QStringLiteral("index")), 0, 8);
    const std::optional<int> given =
        wholeNumber(request.value(QStringLiteral("given")), 0, kMaxGiven);
    const QJsonValue ms = request.value(QStringLiteral("ms"));
    const std::optional<int> time = wholeNumber(ms, 0, kMaxReadMs);
    if (!index || !given || (!time && !ms.isNull() && !ms.isUndefined()))
        return error(400, QStringLiteral("bad"));
    const std::shared_ptr<CheckSet> set = tablet.check;
    if (!set || set->id != request.value(QStringLiteral("set")).toString())
        return error(409, QStringLiteral("set"));
    if (const auto sent = set->replies.constFind(*index); sent != set->replies.constEnd())
        return {200, "application/json", *sent};
    if (!set->check.running() || *index != set->check.index())
        return error(409, QStringLiteral("order"));
    if (*given == 0)
        return error(422, QStringLiteral("incomplete"));
    if (!resume(tablet))
        return error(403, QStringLiteral("signin"));

    // Graded and logged by the classroom, as a check typed at the desktop.
    const KukuCheck::Outcome outcome = m_classroom.answerCheck(set->check, *given, timeTaken(time));
    set->answers.append({*given, timeTaken(time)});
    const FactAnswer &last = set->check.lastAnswer();
    QJsonObject reply{{QStringLiteral("right"), last.right},
                      {QStringLiteral("product"), last.a * last.b},
                      {QStringLiteral("outcome"), QLatin1String(outcomeWord(outcome))},
                      {QStringLiteral("totalMs"), set->check.totalMs()}};
    // Said in order, each answer is followed by its reading; a slip is told its reading too.
    if (set->check.way() != CheckWay::Mixed || !last.right)
        reply.insert(QStringLiteral("reading"), kukuReading(last.a, last.b));
    // The card once the check is over, when the logs can be read in time (else the page asks
    // for it).
    if (outcome != KukuCheck::Outcome::Running)
        if (const std::optional<KukuCard> read = m_classroom.kukuCard(kFactsBudgetMs))
            reply.insert(QStringLiteral("card"), cardJson(*read));
    const QByteArray bytes = json(reply);
    set->replies.insert(*index, bytes);
    return {200, "application/json", bytes};
}

ServiceReply ClassService::logsStillRead() {
    readFactsAhead();
    return error(429, QStringLiteral("slow"));
}

ServiceReply ClassService::card(Tablet &tablet) {
    if (!resume(tablet))
        return error(403, QStringLiteral("signin"));
    // As the fact map: the logs are read a slice at a time, and the page asks again meanwhile.
    const std::optional<KukuCard> read = m_classroom.kukuCard(kFactsBudgetMs);
    if (!read)
        return logsStillRead();
    return ok(cardJson(*read));
}

QList<TabletView> ClassService::tablets() const {
    QList<TabletView> views;
    const qint64 at = now();
    for (const auto &tablet : m_tablets)
        views.append({tablet->token, tablet->name, tablet->pupil, tablet->address,
                      at - tablet->lastSeenMs <= kConnectedMs});
    std::sort(views.begin(), views.end(), [](const TabletView &x, const TabletView &y) {
        return x.name.size() != y.name.size() ? x.name.size() < y.name.size() : x.name < y.name;
    });
    return views;
}

int ClassService::connectedCount() const {
    const qint64 at = now();
    return int(std::count_if(m_tablets.begin(), m_tablets.end(), [at](const auto &tablet) {
        return at - tablet->lastSeenMs <= kConnectedMs;
    }));
}

void ClassService::disconnectTablet(const QString &token) {
    if (m_tablets.remove(token) > 0)
        Q_EMIT tabletsChanged();
}

void ClassService::forgetTablets() {
    m_factsReader.stop();
    m_tablets.clear();
    m_buckets.clear();
    Q_EMIT tabletsChanged();
}

// ---- Kept over a restart ---------------------------------------------------------------

QByteArray ClassService::savedState() const {
    QJsonArray tablets;
    for (const auto &tablet : m_tablets) {
        QJsonArray current, first, sets;
        for (int i = 0; i < 4; ++i) {
            current.append(tablet->runs.current[i]);
            first.append(tablet->runs.firstAttempt[i]);
        }
        for (const auto &set : tablet->sets) {
            if (!set)
                continue;
            QJsonArray questions, logged;
            for (const auto &[a, b] : set->questions)
                questions.append(QJsonArray{a, b});
            for (bool one : set->logged)
                logged.append(one);
            QJsonObject replies;
            for (auto it = set->replies.cbegin(); it != set->replies.cend(); ++it)
                replies.insert(it.key(), QString::fromUtf8(*it));
            sets.append(QJsonObject{{QStringLiteral("id"), set->id},
                                    {QStringLiteral("kind"), int(set->kind)},
                                    {QStringLiteral("questions"), questions},
                                    {QStringLiteral("lastAttempt"), set->lastAttempt},
                                    {QStringLiteral("open"), set->open},
                                    {QStringLiteral("misses"), set->misses},
                                    {QStringLiteral("right"), set->right},
                                    {QStringLiteral("logged"), logged},
                                    {QStringLiteral("left"), set->left},
                                    {QStringLiteral("replies"), replies}});
        }
        QJsonObject saved{
            {QStringLiteral("token"), tablet->token}, {QStringLiteral("name"), tablet->name},
            {QStringLiteral("pupil"), tablet->pupil}, {QStringLiteral("current"), current},
            {QStringLiteral("firstAttempt"), first},  {QStringLiteral("sets"), sets}};
        if (const auto &check = tablet->check) {
            QJsonArray order, answers;
            for (int b : check->check.order())
                order.append(b);
            for (const auto &[given, ms] : check->answers)
                answers.append(QJsonArray{given, ms});
            QJsonObject replies;
            for (auto it = check->replies.cbegin(); it != check->replies.cend(); ++it)
                replies.insert(QString::number(it.key()), QString::fromUtf8(*it));
            saved.insert(QStringLiteral("check"),
                         QJsonObject{{QStringLiteral("id"), check->id},
                                     {QStringLiteral("row"), check->check.row()},
                                     {QStringLiteral("way"), int(check->check.way())},
                                     {QStringLiteral("limitMs"), check->check.limitMs()},
                                     {QStringLiteral("order"), order},
                                     {QStringLiteral("answers"), answers},
                                     {QStringLiteral("replies"), replies}});
        }
        tablets.append(saved);
    }
    return json({{QStringLiteral("code"), m_code},
                 {QStringLiteral("tabletNumber"), m_tabletNumber},
                 {QStringLiteral("setNumber"), m_setNumber},
                 {QStringLiteral("tablets"), tablets}});
}

// A tablet's check as savedState() kept it: the check is asked again from its start and given
// the answers it had (nothing is logged again). Null when the object is no such check.
std::shared_ptr<ClassService::CheckSet> ClassService::restoredCheck(const QJsonObject &saved) {
    const std::optional<int> row = wholeNumber(saved.value(QStringLiteral("row")), 1, 9);
    const std::optional<int> way =
        wholeNumber(saved.value(QStringLiteral("way")), 0, kCheckWays - 1);
    const std::optional<int> limit = wholeNumber(saved.value(QStringLiteral("limitMs")), 0, kMaxMs);
    const QJsonArray order = saved.value(QStringLiteral("order")).toArray();
    const QJsonArray answers = saved.value(QStringLiteral("answers")).toArray();
    const QJsonObject replies = saved.value(QStringLiteral("replies")).toObject();
    if (!row || !way || !limit || order.size() != 9 || answers.size() > 9 || replies.size() > 9)
        return nullptr;
    QList<int> multipliers;
    int seen = 0;
    for (const QJsonValue &b : order) {
        const std::optional<int> n = wholeNumber(b, 1, 9);
        if (!n || (seen & 1 << *n))
            return nullptr;
        seen |= 1 << *n;
        multipliers.append(*n);
    }
    auto set = std::make_shared<CheckSet>();
    set->id = saved.value(QStringLiteral("id")).toString().left(16);
    set->check = KukuCheck(*row, CheckWay(*way), multipliers, *limit);
    for (const QJsonValue &one : answers) {
        const std::optional<int> given = wholeNumber(one.toArray().at(0), 1, kMaxGiven);
        const std::optional<int> ms = wholeNumber(one.toArray().at(1), -1, kMaxMs);
        if (!given || !ms || !set->check.running())
            return nullptr;
        set->check.answer(*given, *ms);
        set->answers.append({*given, *ms});
    }
    for (auto it = replies.constBegin(); it != replies.constEnd(); ++it) {
        const std::optional<int> index = wholeNumber(it.key().toInt(), 0, 8);
        if (index && it.key() == QString::number(*index))
            set->replies.insert(*index, it.value().toString().toUtf8());
    }
    return set;
}

bool ClassService::restoreState(const QByteArray &bytes) {
    if (bytes.size() > kMaxStateBytes)
        return false;
    const QJsonObject state = QJsonDocument::fromJson(bytes).object();
    if (state.value(QStringLiteral("code")).toString() != m_code)
        return false; // the state of another class code: its tablets scan the new one
    const std::optional<int> tabletNumber =
        wholeNumber(state.value(QStringLiteral("tabletNumber")), 0, 1 << 30);
    const std::optional<int> setNumber =
        wholeNumber(state.value(QStringLiteral("setNumber")), 0, 1 << 30);
    const QJsonArray list = state.value(QStringLiteral("tablets")).toArray();
    if (!tabletNumber || !setNumber || list.size() > kMaxTablets)
        return false;
    QHash<QString, std::shared_ptr<Tablet>> tablets;
    for (const QJsonValue &one : list) {
        const QJsonObject t = one.toObject();
        auto tablet = std::make_shared<Tablet>();
        tablet->token = t.value(QStringLiteral("token")).toString();
        tablet->name = t.value(QStringLiteral("name")).toString().left(40);
        tablet->pupil = t.value(QStringLiteral("pupil")).toString().left(256);
        if (tablet->token.isEmpty() || tablet->token.size() > 64)
            return false;
        const QJsonArray current = t.value(QStringLiteral("current")).toArray();
        const QJsonArray first = t.value(QStringLiteral("firstAttempt")).toArray();
        for (int i = 0; i < 4; ++i) {
            tablet->runs.current[i] = qint16(wholeNumber(current.at(i), 0, 32767).value_or(0));
            tablet->runs.firstAttempt[i] =
                wholeNumber(first.at(i), -1, 0).value_or(0) ? True : qint16(0);
        }
        for (const QJsonValue &dealt : t.value(QStringLiteral("sets")).toArray()) {
            const QJsonObject d = dealt.toObject();
            const std::optional<int> kind = wholeNumber(d.value(QStringLiteral("kind")), 0, 5);
            const QJsonArray questions = d.value(QStringLiteral("questions")).toArray();
            const QJsonObject replies = d.value(QStringLiteral("replies")).toObject();
            if (!kind || questions.size() > kChallengeBoxes || replies.size() > kMaxReplies)
                return false;
            auto set = std::make_shared<DealtSet>();
            set->id = d.value(QStringLiteral("id")).toString().left(16);
            set->kind = Kind(*kind);
            for (const QJsonValue &q : questions) {
                const std::optional<int> a = wholeNumber(q.toArray().at(0), 1, 9);
                const std::optional<int> b = wholeNumber(q.toArray().at(1), 1, 9);
                if (!a || !b)
                    return false;
                set->questions.append({*a, *b});
            }
            const QJsonArray logged = d.value(QStringLiteral("logged")).toArray();
            for (int i = 0; i < qMin(logged.size(), kPracticeQuestions); ++i)
                set->logged.append(logged.at(i).toBool());
            if (set->kind == Kind::Practice && (set->logged.size() != kPracticeQuestions ||
                                                set->questions.size() != kPracticeQuestions))
                return false;
            const int size = int(set->questions.size());
            set->lastAttempt =
                wholeNumber(d.value(QStringLiteral("lastAttempt")), 0, 1000).value_or(0);
            set->open = wholeNumber(d.value(QStringLiteral("open")), 0, size).value_or(0);
            set->misses = wholeNumber(d.value(QStringLiteral("misses")), 0, 1 << 20).value_or(0);
            set->right = wholeNumber(d.value(QStringLiteral("right")), 0, size).value_or(0);
            set->left = d.value(QStringLiteral("left")).toBool();
            for (auto it = replies.constBegin(); it != replies.constEnd(); ++it)
                set->replies.insert(it.key().left(16), it.value().toString().toUtf8());
            tablet->sets[*kind] = set;
        }
        if (const QJsonValue check = t.value(QStringLiteral("check")); !check.isUndefined()) {
            tablet->check = restoredCheck(check.toObject());
            if (!tablet->check)
                return false;
        }
        tablets.insert(tablet->token, tablet);
    }
    m_tablets = tablets;
    m_tabletNumber = *tabletNumber;
    m_setNumber = *setNumber;
    m_buckets.clear();
    Q_EMIT tabletsChanged();
    return true;
}
