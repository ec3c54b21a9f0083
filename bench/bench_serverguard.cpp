// The class server under a hostile peer on the school network, with an honest tablet beside:
// - slow connections (a byte every 3 s, opened again as soon as one is closed) from 16
//   addresses while one tablet keeps calling: the tablet's call times (p50, p99) and calls
//   that failed;
// - four addresses asking for tablets as fast as they may: how many of the 200 they hold and
//   whether a tablet from a fifth address still gets in;
// - ten pupils asking for their fact map at once over a school year of answer logs (40 pupils,
//   8 computers, 800,000 answers), as the program writes them, saved again in code page 932
//   and in UTF-16: each map's time, the longest the event loop was held, and a tablet's calls
//   meanwhile.
// The server runs on this thread's event loop as in the program; the peers are threads with
// blocking sockets over loopback, each 127.0.0.x address standing for one computer.

#include "classroom/answerlog.h"
#include "records/cp932.h"
#include "records/roster.h"
#include "server/classserver.h"
#include "tabletload.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

// ---- a small blocking HTTP client ------------------------------------------------------------

struct Reply {
    int status = 0; // 0: no reply
    QJsonObject body;
};

// One request on a new connection from `from`; no reply within `timeoutMs` is a failure.
Reply call(const QString &from, quint16 port, const QString &path, const QJsonObject &body,
           const QByteArray &tablet = {}, int timeoutMs = 5000) {
    QTcpSocket socket;
    socket.bind(QHostAddress(from), 0);
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(timeoutMs))
        return {};
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
    QByteArray request = "POST " + path.toUtf8() +
                         " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n";
    if (!tablet.isEmpty())
        request += "X-Tablet: " + tablet + "\r\n";
    request += "Content-Length: " + QByteArray::number(json.size()) + "\r\n\r\n" + json;
    socket.write(request);
    QElapsedTimer clock;
    clock.start();
    QByteArray got;
    for (;;) {
        const qsizetype headEnd = got.indexOf("\r\n\r\n");
        if (headEnd > 0) {
            const QByteArray head = got.left(headEnd).toLower();
            const qsizetype at = head.indexOf("content-length:");
            const qsizetype length =
                at < 0 ? 0 : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toInt();
            if (got.size() >= headEnd + 4 + length)
                return {got.mid(9, 3).toInt(),
                        QJsonDocument::fromJson(got.mid(headEnd + 4, length)).object()};
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || (!socket.waitForReadyRead(int(left)) &&
                          socket.state() != QAbstractSocket::ConnectedState))
            return {};
        got += socket.readAll();
    }
}

QString apiPath(const QString &code, const char *verb) {
    return QStringLiteral("/c/%1/api/%2").arg(code, QLatin1String(verb));
}

// A tablet calling `names` every `pauseMs` until `stop`: its call times, failures counted.
struct HonestTablet {
    QList<double> ms;
    int failed = 0;
    std::atomic<bool> finished = false;
    void run(const QString &from, quint16 port, const QString &code, std::atomic<bool> &stop,
             int pauseMs) {
        QByteArray token;
        while (!stop) {
            QElapsedTimer clock;
            clock.start();
            // As the page: a tablet without its token (its hello failed) says hello again.
            const Reply r = token.isEmpty() ? call(from, port, apiPath(code, "hello"), {})
                                            : call(from, port, apiPath(code, "names"), {}, token);
            if (token.isEmpty())
                token = r.body.value("tablet").toString().toLatin1();
            if (r.status == 200)
                ms << clock.nsecsElapsed() / 1e6;
            else
                ++failed;
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
        finished = true;
    }
};

// Runs the event loop until `done` says so.
void runUntil(const std::function<bool()> &done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// ---- a school year of logs -------------------------------------------------------------------

constexpr int kPupils = 40, kDays = 200, kPerDay = 100, kComputers = 8;

QString pupilName(int p) {
    return QStringLiteral("児童%1").arg(p + 1);
}

enum class Encoding { Utf8, Cp932, Utf16 };

// The logs of 8 computers, as the program writes them or as a spreadsheet saved them again
// (code page 932 with commas; UTF-16 with a byte order mark and tabs).
void writeLogs(const QString &folder, Encoding encoding) {
    QRandomGenerator random(20261207u);
    QList<QByteArray> files(kComputers, answerLogHeader());
    const QDate first = QDate::currentDate().addDays(-kDays);
    for (int d = 0; d < kDays; ++d)
        for (int p = 0; p < kPupils; ++p)
            for (int i = 0; i < kPerDay; ++i) {
                LoggedAnswer answer;
                answer.when = QDateTime(first.addDays(d), QTime(9, 0).addSecs(i * 7));
                answer.pupil = pupilName(p);
                answer.activity = LoggedActivity(random.bounded(kLoggedActivities));
                answer.answer = {int(random.bounded(1, 10)), int(random.bounded(1, 10)),
                                 random.bounded(10) > 1, int(random.bounded(800, 12000)), 42};
                files[p % kComputers] += answerLogLine(answer);
            }
    // Tablets sign in only names on the class list: the class's pupils are on it.
    QByteArray roster = newRosterFileBytes();
    for (int p = 0; p < kPupils; ++p)
        roster += encodeCp932(pupilName(p) + QStringLiteral(";0;0;0;0\r\n")).value();
    QFile list(QDir(folder).filePath(QStringLiteral("Quorin.ini")));
    list.open(QIODevice::WriteOnly);
    list.write(roster);
    for (int k = 0; k < kComputers; ++k) {
        QByteArray bytes = files[k];
        const QString text = QString::fromUtf8(bytes.sliced(3)); // without the byte order mark
        if (encoding == Encoding::Cp932)
            bytes = encodeCp932(text).value_or(QByteArray());
        else if (encoding == Encoding::Utf16)
            bytes = QStringEncoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom)(
                QString(text).replace(u',', u'\t'));
        QFile out(QDir(folder).filePath(QStringLiteral("answers-pc%1-000000000%1.csv").arg(k)));
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
    }
}

// How late a 5 ms timer on the server's event loop comes, at worst, while it runs.
struct LoopLag {
    QElapsedTimer clock;
    QTimer tick;
    qint64 last = 0, worst = 0;
    LoopLag() {
        clock.start();
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            if (last)
                worst = std::max(worst, now - last - 5);
            last = now;
        });
        tick.start(5);
    }
    void reset() { last = 0, worst = 0; }
};

struct Room {
    QTemporaryDir dir;
    ApplicationState state;
    std::unique_ptr<Classroom> classroom;
    std::unique_ptr<ClassServer> server;
    explicit Room(const std::function<void(const QString &)> &prepare = {}) {
        initialiseApplicationState(state, dir.path());
        if (prepare)
            prepare(dir.path());
        classroom = std::make_unique<Classroom>(state);
        classroom->useServerAnswerLog();
        classroom->load();
        server = std::make_unique<ClassServer>(*classroom);
        server->start(QHostAddress::LocalHost, 0);
    }
};

// Slow connections from 16 addresses, each connection sending a byte every 3 s and opened
// again when the server closes it, for `seconds`, while a tablet calls every 100 ms.
void slowloris(int seconds) {
    Room room;
    const quint16 port = room.server->port();
    const QString code = room.server->service().code();
    std::atomic<bool> stop = false;
    std::atomic<int> reopened = 0;
    std::vector<std::thread> attackers;
    for (int a = 0; a < 16; ++a)
        attackers.emplace_back([&, a] {
            const QString from = QStringLiteral("127.0.0.%1").arg(10 + a);
            std::vector<std::unique_ptr<QTcpSocket>> sockets;
            std::vector<qint64> sent;
            QElapsedTimer clock;
            clock.start();
            while (!stop) {
                sockets.resize(16);
                sent.resize(16);
                for (size_t i = 0; i < sockets.size(); ++i) {
                    auto &s = sockets[i];
                    if (s && s->state() == QAbstractSocket::ConnectedState) {
                        if (clock.elapsed() - sent[i] >= 3000) {
                            s->write("X");
                            s->waitForBytesWritten(100);
                            sent[i] = clock.elapsed();
                        }
                        continue;
                    }
                    reopened += bool(s);
                    s = std::make_unique<QTcpSocket>();
                    s->bind(QHostAddress(from), 0);
                    s->connectToHost(QHostAddress::LocalHost, port);
                    if (s->waitForConnected(1000)) {
                        s->write("POST /c/" + code.toLatin1() + "/api/names HTTP/1.1\r\nX-");
                        s->waitForBytesWritten(100);
                        sent[i] = clock.elapsed();
                    }
                }
                for (auto &s : sockets) // notice closed ones
                    s->waitForReadyRead(1);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(0));
    HonestTablet honest;
    std::thread tablet([&] {
        std::this_thread::sleep_for(std::chrono::seconds(1)); // the slots are taken first
        honest.run(QStringLiteral("127.0.0.2"), port, code, stop, 100);
    });
    QElapsedTimer wall;
    wall.start();
    runUntil([&] { return wall.elapsed() > seconds * 1000; });
    stop = true;
    runUntil([&] { return honest.finished.load(); });
    tablet.join();
    for (auto &t : attackers)
        t.join();
    std::printf("slow connections from 16 addresses (a byte every 3 s, %d s): honest tablet "
                "%lld calls, p50 %.1f ms, p99 %.1f ms, %d failed; slow connections closed and "
                "opened again: %d\n",
                seconds, qint64(honest.ms.size()), percentile(honest.ms, 50),
                percentile(honest.ms, 99), honest.failed, int(reopened));
}

// Four addresses asking for tablets as fast as the server answers; then a fifth.
void tabletSlots() {
    Room room;
    const quint16 port = room.server->port();
    const QString code = room.server->service().code();
    std::atomic<bool> stop = false;
    std::atomic<int> held[4] = {};
    QElapsedTimer wall;
    wall.start();
    std::atomic<qint64> fullAtMs = -1;
    std::vector<std::thread> attackers;
    for (int a = 0; a < 4; ++a)
        attackers.emplace_back([&, a] {
            const QString from = QStringLiteral("127.0.0.%1").arg(30 + a);
            for (int n = 0; n < 300 && !stop; ++n) {
                const Reply r = call(from, port, apiPath(code, "hello"), {});
                if (r.status == 200)
                    ++held[a];
                else if (r.body.value("code") == QLatin1String("full") && fullAtMs < 0)
                    fullAtMs = wall.elapsed();
            }
        });
    std::atomic<int> honestStatus = -1;
    std::thread tablet;
    runUntil([&] {
        if (wall.elapsed() > 2000 && !tablet.joinable())
            tablet = std::thread(
                [&] { honestStatus = call("127.0.0.2", port, apiPath(code, "hello"), {}).status; });
        return honestStatus >= 0;
    });
    stop = true;
    tablet.join();
    runUntil([&] {
        return std::all_of(attackers.begin(), attackers.end(),
                           [](std::thread &t) { return !t.joinable() || (t.join(), true); });
    });
    QMap<QString, int> byAddress;
    for (const TabletView &t : room.server->service().tablets())
        ++byAddress[t.address];
    QStringList counts;
    for (auto it = byAddress.cbegin(); it != byAddress.cend(); ++it)
        counts << QStringLiteral("%1: %2").arg(it.key()).arg(it.value());
    std::printf("tablet slots asked for from 4 addresses: %lld of %d held (%s); %s; a tablet "
                "from a fifth address then: %s\n",
                qint64(room.server->service().tablets().size()), ClassService::kMaxTablets,
                qPrintable(counts.join(QStringLiteral(", "))),
                fullAtMs >= 0 ? qPrintable(QStringLiteral("full after %1 ms").arg(fullAtMs))
                              : "never full",
                honestStatus == 200 ? "let in" : qPrintable(QString::number(honestStatus)));
}

// Ten pupils ask for their fact map at once, twice, over a year of logs in `encoding`, while a
// tablet calls every 100 ms.
void factMaps(Encoding encoding, const char *label) {
    Room room([encoding](const QString &folder) { writeLogs(folder, encoding); });
    const quint16 port = room.server->port();
    const QString code = room.server->service().code();
    // Each pupil signed in on a tablet of his own first.
    QList<QByteArray> tokens;
    std::atomic<bool> signedIn = false;
    std::thread signIn([&] {
        for (int p = 0; p < 10; ++p) {
            const QString from = QStringLiteral("127.0.0.%1").arg(50 + p);
            const QByteArray token = call(from, port, apiPath(code, "hello"), {})
                                         .body.value("tablet")
                                         .toString()
                                         .toLatin1();
            call(from, port, apiPath(code, "signin"), {{"name", pupilName(p)}}, token);
            tokens << token;
        }
        signedIn = true;
    });
    runUntil([&] { return bool(signedIn); }); // the server answers on this thread meanwhile
    signIn.join();
    LoopLag lag;
    for (int round = 1; round <= 2; ++round) {
        std::atomic<bool> stop = false;
        HonestTablet honest;
        std::thread tablet([&] { honest.run("127.0.0.3", port, code, stop, 100); });
        lag.reset();
        std::mutex mutex;
        QList<double> mapMs;
        int failed = 0, known = 0;
        std::vector<std::thread> pupils;
        std::atomic<int> answered = 0;
        QElapsedTimer wall;
        wall.start();
        for (int p = 0; p < 10; ++p)
            pupils.emplace_back([&, p] {
                const QString from = QStringLiteral("127.0.0.%1").arg(50 + p);
                QElapsedTimer clock;
                clock.start();
                Reply r;
                // As the page does: a server that says "wait a moment" is asked again.
                for (int tries = 0; tries < 200; ++tries) {
                    r = call(from, port, apiPath(code, "facts"), {}, tokens[p], 30000);
                    if (r.status != 429)
                        break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
                const std::lock_guard lock(mutex);
                if (r.status == 200) {
                    mapMs << clock.nsecsElapsed() / 1e6;
                    known += r.body.value("known").toInt();
                } else {
                    ++failed;
                }
                ++answered;
            });
        runUntil([&] { return answered == 10; });
        for (auto &t : pupils)
            t.join();
        const qint64 allMs = wall.elapsed();
        // The tablet goes on a little after the maps, as in a lesson.
        runUntil([&] { return wall.elapsed() > allMs + 500; });
        stop = true;
        runUntil([&] { return honest.finished.load(); });
        tablet.join();
        std::printf("10 fact maps at once, logs %s, %s: all in %lld ms, each p50 %.0f ms, max "
                    "%.0f ms, %d failed (%d facts known); event loop held up to %lld ms; a "
                    "tablet meanwhile: p50 %.1f ms, p99 %.1f ms, max %.0f ms, %d failed\n",
                    label, round == 1 ? "first" : "again", allMs, percentile(mapMs, 50),
                    percentile(mapMs, 100), failed, known, lag.worst, percentile(honest.ms, 50),
                    percentile(honest.ms, 99), percentile(honest.ms, 100), honest.failed);
    }
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const QStringList only = app.arguments().mid(1); // slowloris, slots, facts
    if (only.isEmpty() || only.contains(QStringLiteral("slowloris")))
        slowloris(20);
    if (only.isEmpty() || only.contains(QStringLiteral("slots")))
        tabletSlots();
    if (only.isEmpty() || only.contains(QStringLiteral("facts"))) {
        factMaps(Encoding::Utf8, "as written (UTF-8)");
        factMaps(Encoding::Cp932, "saved again in code page 932");
        factMaps(Encoding::Utf16, "saved again in UTF-16");
    }
    return 0;
}
