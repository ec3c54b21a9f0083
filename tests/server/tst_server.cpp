// The class server: every kind of bad request gets a clear error and changes nothing; a
// grade or an answer sent again after a lost reply counts once; peers outside the local
// network are refused; forty tablets answering at once over loopback lose and double nothing.
// The address shown is the school network's, or the teacher is told why there is none; the
// firewall check's outcome becomes the teacher's message.

#include "records/datafile.h"
#include "server/classserver.h"
#include "server/firewall.h"
#include "tabletload.h"
#include "testsupport.h"
#include "ui/main/servermodule.h"

#include <QSignalSpy>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTreeWidget>

namespace {

// A class list with the names the tests sign in (tablets sign in only names on the list).
QByteArray classList(const QStringList &more = {}) {
    QString text = QStringLiteral("Name;Novice;Intermediate;Expert;Challenge\r\n");
    for (const QString &name : QStringList{"たろう", "はなこ"} + more)
        text += name + QStringLiteral(";0;0;0;0\r\n");
    return encodeCp932(text).value();
}

struct ServerRoom {
    QTemporaryDir dir;
    ApplicationState state;
    MersenneRandomSource random{false, 7};
    std::unique_ptr<Classroom> classroom;
    std::unique_ptr<ClassService> service;
    qint64 clock = 0;
    int status = 0;
    ServiceReply reply;
    ClassService *on = nullptr; // a server's service in place of the room's own
    QString peer = "10.0.0.5";

    ServerRoom() {
        initialiseApplicationState(state, dir.path());
        QStringList load;
        for (int t = 0; t < 40; ++t)
            load << loadPupilName(t);
        writeBytes(state.rosterPath(), classList(load));
        classroom = std::make_unique<Classroom>(state);
        classroom->setRandomSource(&random);
        classroom->useServerAnswerLog();
        classroom->load();
        service = std::make_unique<ClassService>(*classroom, [this] { return clock; });
    }
    QJsonObject call(const QString &verb, const QJsonObject &body, const QByteArray &tablet = {}) {
        return raw("POST", "/c/" + (on ? on : service.get())->code() + "/api/" + verb,
                   QJsonDocument(body).toJson(), tablet);
    }
    QJsonObject raw(const QByteArray &method, const QString &path, const QByteArray &body,
                    const QByteArray &tablet) {
        reply = (on ? on : service.get())->handle(method, path, body, tablet, peer);
        status = reply.status;
        return QJsonDocument::fromJson(reply.body).object();
    }
    // A tablet with たろう signed in.
    QByteArray signedIn(const QString &name = "たろう") {
        const QByteArray token = call("hello", {})["tablet"].toString().toLatin1();
        call("signin", {{"name", name}}, token);
        return token;
    }
    QJsonObject deal(const QByteArray &token) {
        return call("deal", {{"activity", "novice"}}, token);
    }
    // The set's boxes sent for grading (or, `verb` "leave", as the pupil leaves the set).
    QJsonObject grade(const QJsonObject &set, const QJsonArray &boxes, const QByteArray &token,
                      int attempt = 1, const QString &verb = "grade") {
        return call(verb, {{"set", set["set"]}, {"attempt", attempt}, {"answers", boxes}}, token);
    }
    // Every file in the data folder, names and bytes.
    QByteArray files() const {
        QByteArray all;
        for (const QFileInfo &f : QDir(dir.path()).entryInfoList(QDir::Files, QDir::Name))
            all += f.fileName().toUtf8() + '\n' + readBytes(f.filePath());
        return all;
    }
    int logLines() const { return log().count("\r\n") - 1; }
    QByteArray log() const {
        QByteArray all;
        for (const QFileInfo &f : QDir(dir.path()).entryInfoList({"answers-*.csv"}))
            all += readBytes(f.filePath());
        return all;
    }
};

// A level set's boxes answered right, one more at `wrongAt`, in 2 s each; only the first
// `typed` boxes typed (the others empty), the first number confirmed in each `firstOff` above
// the product (0: none sent).
QJsonArray answers(const QJsonObject &set, int wrongAt = -1, int typed = 20, int firstOff = 0) {
    QJsonArray answers;
    const QJsonArray questions = set["questions"].toArray();
    for (int i = 0; i < questions.size(); ++i) {
        const int product = questions[i]["a"].toInt() * questions[i]["b"].toInt();
        QJsonObject box{{"given", i >= typed ? 0 : product + (i == wrongAt)}, {"ms", 2000}};
        if (i < typed && firstOff)
            box.insert("first", product + firstOff);
        answers.append(box);
    }
    return answers;
}

// Interfaces written as "name|human-readable name|flags|kind|hardware|addresses" joined by
// ";", flags from u(p), r(unning), l(oopback), kind e(thernet), w(i-fi), v(irtual), l(oopback).
QList<NetworkInterfaceRecord> interfaces(const QString &text) {
    QList<NetworkInterfaceRecord> records;
    for (const QString &one : text.split(u';', Qt::SkipEmptyParts)) {
        const QStringList f = one.split(u'|');
        NetworkInterfaceRecord r;
        r.name = f.value(0).trimmed();
        r.humanReadableName = f.value(1);
        r.up = f.value(2).contains(u'u');
        r.running = f.value(2).contains(u'r');
        r.loopback = f.value(2).contains(u'l');
        using Kind = NetworkInterfaceRecord::Kind;
        const QString kind = f.value(3);
        r.kind = kind == u"e"   ? Kind::Ethernet
                 : kind == u"w" ? Kind::Wifi
                 : kind == u"v" ? Kind::Virtual
                 : kind == u"l" ? Kind::Loopback
                                : Kind::Unknown;
        r.hardwareAddress = f.value(4);
        r.addresses = f.value(5).split(u',', Qt::SkipEmptyParts);
        records << r;
    }
    return records;
}

} // namespace

class TestServer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        useTestSettings();
        setClassServerModuleFolder(QStringLiteral(QUORIN_SERVER_MODULE_DIR));
    }

    void badRequestsChangeNothing_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path"); // %1: the class code, %2: the level set's id
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("tablet"); // good, made-up, fresh (no pupil)
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("code");
        const QString grade = "/c/%1/api/grade";
        // A grade of the dealt set, its answers `given` then ones up to `count`.
        const auto graded = [](const QByteArray &given, int count = 20, int attempt = 1) {
            return "{\"set\":\"%2\",\"attempt\":" + QByteArray::number(attempt) + ",\"answers\":[" +
                   given + QByteArray(",{\"given\":1}").repeated(count - 1) + "]}";
        };
        auto row = [](const char *name, const QByteArray &method, const QString &path,
                      const QByteArray &body, const char *tablet, int status, const char *code) {
            QTest::newRow(name) << method << path << body << QString::fromLatin1(tablet) << status
                                << QString::fromLatin1(code);
        };
        row("not JSON", "POST", grade, "{{", "good", 400, "bad");
        row("an array", "POST", grade, "[]", "good", 400, "bad");
        row("unknown verb", "POST", "/c/%1/api/delete", "{}", "good", 404, "bad");
        row("made-up tablet", "POST", grade, "{}", "made-up", 401, "tablet");
        row("GET on the API", "GET", grade, "", "good", 405, "bad");
        row("body too large", "POST", grade, QByteArray(17 * 1024, ' ') + "{}", "good", 413, "bad");
        row("another class's code", "POST", "/c/abcdefgh/api/grade", "{}", "good", 410, "gone");
        row("no class code", "GET", "/favicon.ico", "", "good", 404, "missing");
        row("a file beside the page", "GET", "/c/%1/../Quorin.ini", "", "good", 404, "missing");
        row("an escaped way up", "GET", "/c/%1/%2e%2e/Quorin.ini", "", "good", 404, "missing");
        const QByteArray one = "{\"given\":1}";
        row("grade: unknown set", "POST", grade, graded(one).replace("%2", "s999"), "good", 409,
            "set");
        row("grade: no answers", "POST", grade, "{\"set\":\"%2\",\"attempt\":1}", "good", 400,
            "bad");
        row("grade: 19 answers", "POST", grade, graded(one, 19), "good", 400, "bad");
        for (const char *given : {"\"21\"", "20.5", "-4", "1e9", "true"})
            row(qPrintable(QStringLiteral("grade: given %1").arg(QLatin1String(given))), "POST",
                grade, graded("{\"given\":" + QByteArray(given) + "}"), "good", 400, "bad");
        row("grade: an empty box", "POST", grade, graded("{\"given\":null}"), "good", 422,
            "incomplete");
        row("grade: attempt 0", "POST", grade, graded(one, 20, 0), "good", 400, "bad");
        row("answer to a level set", "POST", "/c/%1/api/answer",
            "{\"set\":\"%2\",\"index\":0,\"try\":1,\"given\":4}", "good", 409, "set");
        row("deal: unknown activity", "POST", "/c/%1/api/deal", "{\"activity\":\"roster\"}", "good",
            400, "bad");
        row("deal: row 10", "POST", "/c/%1/api/deal", "{\"activity\":\"practice\",\"row\":10}",
            "good", 400, "bad");
        row("sign-in: a number", "POST", "/c/%1/api/signin", "{\"name\":5}", "good", 400, "bad");
        row("sign-in: a name not on the class list", "POST", "/c/%1/api/signin",
            "{\"name\":\"たろお\"}", "good", 422, "refused");
        row("leave: 19 answers", "POST", "/c/%1/api/leave", graded(one, 19), "good", 400, "bad");
        row("grade: first not a number", "POST", grade, graded("{\"given\":1,\"first\":\"1\"}"),
            "good", 400, "bad");
        row("facts before a sign-in", "POST", "/c/%1/api/facts", "{}", "fresh", 403, "signin");
    }
    void badRequestsChangeNothing() {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(QString, tablet);
        QFETCH(QString, code);
        ServerRoom room;
        const QByteArray token = room.signedIn();
        const QJsonObject set = room.deal(token);
        const QByteArray before = room.files();
        const QByteArray sent = tablet == u"good" ? token
                                : tablet == u"made-up"
                                    ? QByteArray("0123456789abcdef0123456789abcdef")
                                    : room.call("hello", {})["tablet"].toString().toLatin1();
        const QString setId = set["set"].toString();
        const QJsonObject reply =
            room.raw(method, QString(path).replace("%1", room.service->code()).replace("%2", setId),
                     QString::fromUtf8(body).replace("%2", setId).toUtf8(), sent);
        QTEST(room.status, "status");
        if (!code.isEmpty()) {
            QCOMPARE(room.reply.contentType, QByteArray("application/json"));
            QCOMPARE(reply["code"].toString(), code);
            QVERIFY(!reply["error"].toString().isEmpty());
        }
        QCOMPARE(room.files(), before);
        // The set is still the pupil's, and its first grading still counts.
        QCOMPARE(room.grade(set, answers(set), token)["counted"].toBool(), true);
        QCOMPARE(room.logLines(), 20);
    }

    // A set graded, its reply lost and the grade sent again, then corrected and graded again:
    // one run step, the set's 20 answers logged once; practice answers likewise. (A full mark
    // sent twice raising the run once: every grade of the forty tablets below is sent twice.)
    void sentAgainCountsOnce() {
        ServerRoom room;
        const QByteArray token = room.signedIn();
        const QJsonObject set = room.deal(token);
        const QJsonObject marks = room.grade(set, answers(set, 3), token);
        QCOMPARE(marks["score"].toInt(), 95);
        QCOMPARE(marks["marks"].toArray()[3].toBool(), false);
        QCOMPARE(room.grade(set, answers(set, 3), token), marks);
        const QJsonObject corrected = room.grade(set, answers(set), token, 2);
        QCOMPARE(corrected["score"].toInt(), 100);
        QCOMPARE(corrected["counted"].toBool(), false);
        QCOMPARE(room.logLines(), 20);
        QVERIFY(readBytes(room.state.rosterPath()).contains(encodeCp932("たろう;0;0;0;0").value()));

        // Practice: only the open question, its first answer logged once.
        const QJsonObject practice =
            room.call("deal", {{"activity", "practice"}, {"row", 7}}, token);
        const auto answer = [&](int index, int tries, int given) {
            return room.call(
                "answer",
                {{"set", practice["set"]}, {"index", index}, {"try", tries}, {"given", given}},
                token);
        };
        QCOMPARE(answer(1, 1, 14)["code"].toString(), "order");
        QCOMPARE(answer(0, 1, 8)["right"].toBool(), false);
        QCOMPARE(answer(0, 1, 8)["right"].toBool(), false); // the same, again
        QCOMPARE(answer(0, 2, 7)["right"].toBool(), true);
        QCOMPARE(answer(0, 2, 7)["right"].toBool(), true);
        QCOMPARE(answer(1, 1, 14)["done"].toBool(), false);
        QCOMPARE(room.logLines(), 22);
    }

    // What the log holds of a level set: one left before its grading logs its typed boxes as
    // unfinished, once; a graded one logs the first number confirmed in each box.
    void logTellsTheTruth_data() {
        QTest::addColumn<QStringList>("steps"); // leave (3 boxes typed), grade, corrected
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("unfinished");
        QTest::addColumn<int>("firstOff"); // the first line's number above its product
        QTest::newRow("left with three typed") << QStringList{"leave"} << 3 << 3 << 0;
        QTest::newRow("left, its reply lost") << QStringList{"leave", "leave"} << 3 << 3 << 0;
        QTest::newRow("left, then graded") << QStringList{"leave", "grade"} << 3 << 3 << 0;
        QTest::newRow("graded, then left") << QStringList{"grade", "leave"} << 20 << 0 << 0;
        QTest::newRow("a corrected first number") << QStringList{"corrected"} << 20 << 0 << 1;
    }
    void logTellsTheTruth() {
        QFETCH(QStringList, steps);
        QFETCH(int, firstOff);
        ServerRoom room;
        const QByteArray token = room.signedIn();
        const QJsonObject set = room.deal(token);
        for (const QString &step : steps) {
            const bool leave = step == u"leave";
            room.grade(set, answers(set, -1, leave ? 3 : 20, step == u"corrected"), token, 1,
                       leave ? "leave" : "grade");
        }
        QTEST(room.logLines(), "lines");
        QTEST(int(room.log().count(",とちゅう,")), "unfinished");
        const QList<QByteArray> first = room.log().split('\n').value(1).split(',');
        const QJsonObject q = set["questions"].toArray()[0].toObject();
        QCOMPARE(first.value(8).toInt(), q["a"].toInt() * q["b"].toInt() + firstOff);
    }

    // With the roster saves of a class batched, a raised best run is on disk before the
    // tablet is told of its full mark (a crash after the reply keeps it). Where the folder
    // does not take it (a full disk), it is kept on this computer and written once it does.
    void fullMarkOnDiskBeforeReply_data() {
        QTest::addColumn<QString>("failing"); // the file the folder does not take
        QTest::newRow("written") << "";
        QTest::newRow("full disk, kept") << "Quorin.ini";
        QTest::newRow("folder held, kept") << "Quorin.lock";
    }
    void fullMarkOnDiskBeforeReply() {
        QFETCH(QString, failing);
        ServerRoom room;
        room.classroom->setDeferredRosterSaves(true);
        const QByteArray token = room.signedIn();
        const QJsonObject set = room.deal(token);
        std::unique_ptr<SaveFaultForTesting> fault;
        if (failing == "Quorin.lock") {
            room.classroom->folderSync().setOptions(lockWait(0));
            foreignLock(room.state.rosterPath(), 0);
        } else if (!failing.isEmpty()) {
            fault = std::make_unique<SaveFaultForTesting>(0, failing);
        }
        QCOMPARE(room.grade(set, answers(set), token)["score"].toInt(), 100);
        const QByteArray raised = encodeCp932("たろう;1;0;0;0").value();
        QCOMPARE(readBytes(room.state.rosterPath()).contains(raised), failing.isEmpty());
        QCOMPARE(room.classroom->runsKept(), !failing.isEmpty());
        fault.reset();
        QFile::remove(dataFolderLockPath(room.state.rosterPath()));
        room.classroom->saveKeptChanges();
        QVERIFY(readBytes(room.state.rosterPath()).contains(raised));
    }

    // Started again on the same folder (in the window, or the program anew), the server keeps
    // its code and port and its tablets: the pupil is still signed in, and a grade sent again
    // is answered the same and logged once. A kept port another program holds gives another
    // port, and the teacher is told; a new code forgets the tablets, and the old code is gone.
    void restartCostsNothing() {
        ServerRoom room;
        auto server = std::make_unique<ClassServer>(*room.classroom);
        QCOMPARE(server->start(QHostAddress::LocalHost), QString());
        const QString url = server->address();
        room.on = &server->service();
        const QByteArray token = room.signedIn();
        const QJsonObject set = room.deal(token);
        const QJsonObject marks = room.grade(set, answers(set, 3), token);
        server->stop();
        QCOMPARE(server->start(QHostAddress::LocalHost), QString());
        QCOMPARE(server->address(), url);
        server = std::make_unique<ClassServer>(*room.classroom);
        room.on = &server->service();
        QCOMPARE(server->start(QHostAddress::LocalHost), QString());
        QCOMPARE(server->address(), url);
        QCOMPARE(server->portNote(), QString());
        QCOMPARE(room.grade(set, answers(set, 3), token), marks);
        QCOMPARE(room.logLines(), 20);
        QCOMPARE(server->service().tablets().value(0).pupil, "たろう");

        server->stop();
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost, QUrl(url).port()));
        QCOMPARE(server->start(QHostAddress::LocalHost), QString());
        QVERIFY(server->port() != QUrl(url).port());
        QVERIFY(server->portNote().contains(QString::number(QUrl(url).port())));
        QCOMPARE(server->start(QHostAddress::LocalHost, QUrl(url).port() + 1),
                 QString()); // a port given wins
        QCOMPARE(server->port(), QUrl(url).port() + 1);

        const QString old = server->service().code();
        server->renewCode();
        QVERIFY(server->service().code() != old);
        QCOMPARE(room.call("names", {}, token)["code"].toString(), "tablet");
        QCOMPARE(room.raw("POST", "/c/" + old + "/api/names", "{}", token)["code"].toString(),
                 "gone");
    }

    // 九九けんてい's requests refused in words, logging nothing and leaving the check as it
    // was: a bad row or way, a row not taught, an answer out of order or to the check before,
    // a stamp (the teacher's, at the desktop only).
    void checkRefusals_data() {
        QTest::addColumn<QString>("verb");
        QTest::addColumn<QString>("body"); // %1: the check under way, %2: the one before
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("code");
        const auto row = [](const char *name, const char *verb, const char *body, int status,
                            const char *code) {
            QTest::newRow(name) << QString(verb) << QString(body) << status << QString(code);
        };
        row("row 10", "check", R"({"row":10,"way":"up"})", 400, "bad");
        row("way unknown", "check", R"({"row":7,"way":"sideways"})", 400, "bad");
        row("row not taught", "check", R"({"row":3,"way":"up"})", 422, "untaught");
        row("out of order", "checkanswer", R"({"set":"%1","index":1,"given":56})", 409, "order");
        row("to the check before", "checkanswer", R"({"set":"%2","index":0,"given":63})", 409,
            "set");
        row("no number", "checkanswer", R"({"set":"%1","index":0,"given":0})", 422, "incomplete");
        row("a stamp", "stamp", R"({"row":7,"way":"down"})", 404, "bad");
    }
    void checkRefusals() {
        QFETCH(QString, verb);
        QFETCH(QString, body);
        ServerRoom room;
        QCOMPARE(room.classroom->setTaughtRows(1 << 2 | 1 << 7), QString());
        const QByteArray token = room.signedIn();
        const QString before =
            room.call("check", {{"row", 7}, {"way", "up"}}, token)["set"].toString();
        const QJsonObject check = room.call("check", {{"row", 7}, {"way", "down"}}, token);
        const QByteArray files = room.files();
        const QJsonObject reply = room.raw(
            "POST", "/c/" + room.service->code() + "/api/" + verb,
            body.replace("%1", check["set"].toString()).replace("%2", before).toUtf8(), token);
        QTEST(room.status, "status");
        QTEST(reply["code"].toString(), "code");
        QVERIFY(!reply["error"].toString().isEmpty());
        QCOMPARE(room.files(), files);
        const QJsonObject next{{"set", check["set"]}, {"index", 0}, {"given", 63}};
        QCOMPARE(room.call("checkanswer", next, token)["outcome"], "next");
    }

    // A pupil's checks on a tablet: さがり missed at the sixth question (told the right
    // answer's reading; the reply lost and asked again: the same, logged once), あがり passed
    // over a restart of the server, a slip in ばらばら told its reading, and the card read back
    // from the logs with the teacher's stamp.
    void checkIntoTheCard() {
        ServerRoom room;
        QCOMPARE(room.classroom->setTaughtRows(1 << 2 | 1 << 7), QString());
        const QByteArray token = room.signedIn();
        QCOMPARE(room.call("checkrows", {}, token)["rows"].toArray(), (QJsonArray{2, 7}));
        const auto answer = [&](const QJsonObject &check, int i, int off = 0) {
            const int product = check["row"].toInt() * check["order"][i].toInt();
            return room.call(
                "checkanswer",
                {{"set", check["set"]}, {"index", i}, {"given", product + off}, {"ms", 2000}},
                token);
        };
        const QJsonObject down = room.call("check", {{"row", 7}, {"way", "down"}}, token);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(answer(down, i)["reading"].toString(), kukuReading(7, 9 - i));
        const QJsonObject missed = answer(down, 5, 1);
        QCOMPARE(missed["outcome"], "wrong");
        QCOMPARE(missed["reading"].toString(), kukuReading(7, 4));
        QCOMPARE(answer(down, 5, 2), missed);
        QCOMPARE(room.log().count("けんてい 7のだん さがり"), 6);

        const QJsonObject up = room.call("check", {{"row", 7}, {"way", "up"}}, token);
        for (int i = 0; i < 4; ++i)
            answer(up, i);
        ClassService again(*room.classroom, [&room] { return room.clock; });
        again.setCode(room.service->code());
        QVERIFY(again.restoreState(room.service->savedState()));
        room.on = &again;
        for (int i = 3; i < 8; ++i) // the fourth answer's reply lost: asked again
            QCOMPARE(answer(up, i)["outcome"], "next");
        QCOMPARE(answer(up, 8)["totalMs"].toInt(), 18000);
        QCOMPARE(room.log().count("けんてい 7のだん あがり"), 9);

        const QJsonObject mixed = room.call("check", {{"row", 2}, {"way", "mixed"}}, token);
        QVERIFY(!answer(mixed, 0).contains("reading"));
        QCOMPARE(answer(mixed, 1, 1)["reading"], kukuReading(2, mixed["order"][1].toInt()));

        QVERIFY(room.classroom->stampCheck(7, CheckWay::Mixed));
        const QJsonObject card = room.call("card", {}, token);
        const QString today = QDate::currentDate().toString(Qt::ISODate);
        QCOMPARE(card["cells"][18].toObject(),
                 (QJsonObject{{"row", 7}, {"way", "up"}, {"passed", today}, {"stamped", ""}}));
        QCOMPARE(card["cells"][19]["passed"], "");
        QCOMPARE(card["cells"][20]["stamped"], today);
        QCOMPARE(card["passedRows"].toArray(), QJsonArray());
    }

    void localNetworkPeers_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("allowed");
        for (const char *a :
             {"10.1.2.3", "172.16.0.1", "172.31.255.1", "192.168.1.5", "169.254.1.1", "127.0.0.1",
              "127.255.0.9", "::1", "fe80::1", "febf::1", "fd12:3456::1", "fc00::1",
              "::ffff:192.168.0.9", "::ffff:127.0.0.1"})
            QTest::newRow(a) << QString::fromLatin1(a) << true;
        // Global and other addresses, among them ones that share a byte or a bit with a local
        // range: the second byte of fe80::/10 (2a80::), site-local fec0::, multicast.
        for (const char *a :
             {"8.8.8.8", "172.32.0.1", "172.15.255.1", "100.64.0.1", "192.169.0.1", "169.255.0.1",
              "11.0.0.1", "2001:db8::1", "2a80::1", "2c0f:fd80::1", "fec0::1", "ff02::1", "fe00::1",
              "fb00::1", "::ffff:8.8.8.8", "::ffff:172.32.0.1", "::10.0.0.1", "::", "0.0.0.0"})
            QTest::newRow(a) << QString::fromLatin1(a) << false;
    }
    void localNetworkPeers() {
        QFETCH(QString, address);
        QTEST(localNetworkPeer(QHostAddress(address)), "allowed");
    }

    // The connections taken, in all and from one address, as connections open ("ADDRESS*n",
    // each taken) and close ("-ADDRESS"); then whether one more from `peer` is taken.
    void peerConnections_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("peer");
        QTest::addColumn<bool>("taken");
        QTest::newRow("16th from one address") << QStringList{"10.0.0.5*15"} << "10.0.0.5" << true;
        QTest::newRow("17th from one address") << QStringList{"10.0.0.5*16"} << "10.0.0.5" << false;
        QTest::newRow("another address beside a full one")
            << QStringList{"10.0.0.5*16"} << "10.0.0.6" << true;
        QTest::newRow("one of 16 closed")
            << QStringList{"10.0.0.5*16", "-10.0.0.5"} << "10.0.0.5" << true;
        QTest::newRow("this computer: the total alone")
            << QStringList{"127.0.0.1*40"} << "127.0.0.1" << true;
        QTest::newRow("257th in all")
            << QStringList{"127.0.0.1*250", "10.0.0.5*6"} << "10.0.0.9" << false;
        QTest::newRow("257th after one closed")
            << QStringList{"127.0.0.1*250", "10.0.0.5*6", "-127.0.0.1"} << "10.0.0.9" << true;
        QTest::newRow("all closed again")
            << QStringList{"127.0.0.1*256", "-127.0.0.1*256", "10.0.0.5*16", "-10.0.0.5*16"}
            << "10.0.0.5" << true;
        QTest::newRow("a global address") << QStringList{} << "2a80::1" << false;
    }
    void peerConnections() {
        QFETCH(QStringList, before);
        QFETCH(QString, peer);
        PeerConnections connections(ClassServer::kMaxConnections,
                                    ClassServer::kMaxConnectionsPerPeer);
        for (const QString &step : std::as_const(before)) {
            const bool close = step.startsWith(u'-');
            const QHostAddress address(step.mid(close).section(u'*', 0, 0));
            for (int n = qMax(1, step.section(u'*', 1).toInt()); n > 0; --n) {
                if (close)
                    connections.release(address);
                else
                    QVERIFY2(connections.take(address), qPrintable(step));
            }
        }
        QTEST(connections.take(QHostAddress(peer)), "taken");
    }

    // Connections that closed leave the count: far more tablets than the server holds at once
    // come one after the other from this computer, and the last is still served.
    void connectionsOverLoopback() {
        ServerRoom room;
        ClassServer server(*room.classroom);
        QCOMPARE(server.start(QHostAddress::LocalHost, 0), QString());
        const auto reply = [&](const QByteArray &request) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, server.port());
            socket.write(request);
            QByteArray got;
            QDeadlineTimer deadline(5000);
            while (
                !got.contains("\r\n\r\n") && !deadline.hasExpired() &&
                (socket.state() != QAbstractSocket::UnconnectedState || socket.bytesAvailable())) {
                QTest::qWait(1);
                got += socket.readAll();
            }
            return got.left(12);
        };
        for (int i = 0; i < ClassServer::kMaxConnections + 20; ++i)
            QVERIFY2(reply("GET / HTTP/1.1\r\n\r\n") == "HTTP/1.1 404",
                     qPrintable(QString::number(i)));
    }

    // A connection that is slow to send its request, or idle after its reply, is closed after
    // its timeout and never before; meanwhile a tablet's call is served, even when slow
    // connections hold every place ("%1" in what is sent: the class code).
    void slowConnections_data() {
        QTest::addColumn<QByteArray>("sent");   // at once
        QTest::addColumn<QByteArray>("drip");   // then every 100 ms
        QTest::addColumn<int>("count");         // slow connections
        QTest::addColumn<int>("timeoutMs");     // the server's head, body and twice its idle
        QTest::addColumn<int>("closedAfterMs"); // -1: not waited for
        QTest::newRow("head a byte at a time") << QByteArray("POST /c/%1/api/names HTTP/1.1\r\n")
                                               << QByteArray("X") << 1 << 400 << 400;
        QTest::newRow("body short of its length")
            << QByteArray("POST /c/%1/api/names HTTP/1.1\r\nContent-Length: 90\r\n\r\n{")
            << QByteArray() << 1 << 400 << 400;
        QTest::newRow("idle after its reply")
            << QByteArray("GET /c/%1/ HTTP/1.1\r\n\r\n") << QByteArray() << 1 << 400 << 800;
        QTest::newRow("every place held by slow heads")
            << QByteArray("GET /c/%1/ HTTP/1.1\r\n") << QByteArray("X")
            << ClassServer::kMaxConnections << 20000 << -1;
    }
    void slowConnections() {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, drip);
        QFETCH(int, count);
        QFETCH(int, timeoutMs);
        QFETCH(int, closedAfterMs);
        ServerRoom room;
        ClassServer server(*room.classroom);
        server.setConnectionTimeouts({timeoutMs, timeoutMs, 2 * timeoutMs});
        QCOMPARE(server.start(QHostAddress::LocalHost, 0), QString());
        const QByteArray code = server.service().code().toLatin1();
        std::vector<std::unique_ptr<QTcpSocket>> slow;
        QElapsedTimer clock;
        for (int i = 0; i < count; ++i) {
            slow.push_back(std::make_unique<QTcpSocket>());
            slow.back()->connectToHost(QHostAddress::LocalHost, server.port());
            slow.back()->write(QByteArray(sent).replace("%1", code)); // sent once connected
            if (i % 16 == 15)
                QTest::qWait(5); // the server takes them as they come
        }
        clock.start();
        const auto dripFor = [&](int ms) {
            QElapsedTimer t;
            t.start();
            do {
                QTest::qWait(100);
                for (auto &s : slow)
                    if (s->state() == QAbstractSocket::ConnectedState)
                        s->write(drip);
            } while (!t.hasExpired(ms));
        };
        // Slow ones that held every place have been at it longer than a tablet's request takes.
        dripFor(count > 1 ? 1200 : 150);
        // A tablet's call from this computer, on a connection of its own.
        QTcpSocket honest;
        honest.connectToHost(QHostAddress::LocalHost, server.port());
        honest.write("GET /c/" + code + "/ HTTP/1.1\r\n\r\n");
        QByteArray got;
        QElapsedTimer waited;
        waited.start();
        while (!got.contains("\r\n\r\n") && !waited.hasExpired(1000)) {
            QTest::qWait(10);
            got += honest.readAll();
        }
        QVERIFY2(got.startsWith("HTTP/1.1 200"), got.left(40).constData());
        if (closedAfterMs < 0)
            return;
        while (slow[0]->state() == QAbstractSocket::ConnectedState && !clock.hasExpired(3000))
            dripFor(0);
        QVERIFY2(slow[0]->state() != QAbstractSocket::ConnectedState, "never closed");
        QVERIFY2(clock.elapsed() >= closedAfterMs && clock.elapsed() < closedAfterMs + 600,
                 qPrintable(QString::number(clock.elapsed())));
    }

    // Tablets from one address, as tablets say hello ("ADDRESS*n", 10 ms apart; then the first
    // one calls again): whether one from `peer` then makes room, and which went for it.
    void tabletsPerAddress_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("peer");
        QTest::addColumn<int>("total");
        QTest::addColumn<QList<int>>("gone"); // the tablets of `before` no longer known
        QTest::newRow("below the cap")
            << QStringList{"10.0.0.5*39"} << "10.0.0.5" << 40 << QList<int>{};
        QTest::newRow("at the cap: the address's longest idle makes room")
            << QStringList{"10.0.0.5*40"} << "10.0.0.5" << 40 << QList<int>{1};
        QTest::newRow("another address beside a full one")
            << QStringList{"10.0.0.5*40"} << "10.0.0.6" << 41 << QList<int>{};
        QList<int> replaced; // each of four addresses asked for 60: its first 20 made room
        for (int a = 0; a < 4; ++a)
            for (int i = 0; i < 20; ++i)
                replaced << a * 60 + i;
        QTest::newRow("four addresses leave room for a fifth")
            << QStringList{"10.0.0.1*60", "10.0.0.2*60", "10.0.0.3*60", "10.0.0.4*60"} << "10.0.0.9"
            << 161 << replaced;
    }
    void tabletsPerAddress() {
        QFETCH(QStringList, before);
        QFETCH(QString, peer);
        ServerRoom room;
        QList<QByteArray> tokens;
        for (const QString &step : std::as_const(before)) {
            room.peer = step.section(u'*', 0, 0);
            for (int n = step.section(u'*', 1).toInt(); n > 0; --n) {
                room.clock += 10;
                tokens << room.call("hello", {})["tablet"].toString().toLatin1();
                QCOMPARE(room.status, 200);
            }
        }
        room.clock += 10;
        room.call("names", {}, tokens[0]);
        room.peer = peer;
        room.clock += 10;
        QVERIFY(!room.call("hello", {})["tablet"].toString().isEmpty());
        QTEST(int(room.service->tablets().size()), "total");
        QList<int> gone;
        for (int i = 0; i < tokens.size(); ++i) {
            QSet<QString> known;
            for (const TabletView &t : room.service->tablets())
                known << t.token;
            if (!known.contains(QString::fromLatin1(tokens[i])))
                gone << i;
        }
        QTEST(gone, "gone");
    }

    void schoolAddress_data() {
        QTest::addColumn<QString>("interfaces");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("missing");
        const int none = int(SchoolAddress::Missing::None);
        const int unplugged = int(SchoolAddress::Missing::NotConnected);
        const int notSchool = int(SchoolAddress::Missing::NoSchoolAddress);
        const QString lo = "lo|lo|url|l||127.0.0.1,::1;";
        QTest::newRow("loopback only") << lo << "" << unplugged;
        QTest::newRow("one private address")
            << lo + "eth0|eth0|ur|e|52:54:00:12:34:56|fe80::1,192.168.10.20"
            << "192.168.10.20" << none;
        QTest::newRow("docker bridge listed before the real adapter")
            << "docker0|docker0|ur|e|02:42:ac:11:00:01|172.17.0.1;"
               "enp3s0|enp3s0|ur|e|3c:52:82:01:02:03|10.2.3.4"
            << "10.2.3.4" << none;
        QTest::newRow("WSL's Hyper-V switch before Wi-Fi")
            << "ethernet_32777|vEthernet (WSL)|ur|e|00:15:5d:a1:b2:c3|172.22.64.1;"
               "wireless_32768|Wi-Fi|ur|w|f4:8c:50:01:02:03|192.168.0.12"
            << "192.168.0.12" << none;
        QTest::newRow("only a virtual switch: taken all the same")
            << "ethernet_32770|vEthernet (外部)|ur|e|00:15:5d:01:02:03|192.168.1.40"
            << "192.168.1.40" << none;
        QTest::newRow("IPv6 link-local only") << lo + "eth0|eth0|ur|e||fe80::1"
                                              << "" << unplugged;
        QTest::newRow("interface down") << lo + "eth0|eth0||e||192.168.1.5"
                                        << "" << unplugged;
        QTest::newRow("up without a cable (not running)") << lo + "eth0|eth0|u|e||192.168.1.5"
                                                          << "" << unplugged;
        QTest::newRow("no answer from the network: 169.254") << "eth0|eth0|ur|e||169.254.10.2"
                                                             << "" << unplugged;
        QTest::newRow("public address only") << lo + "eth0|eth0|ur|e||192.0.2.2,fd00::2"
                                             << "" << notSchool;
        QTest::newRow("near-private, then 172.16/12's last address")
            << "eth0|eth0|ur|e||100.64.0.9,172.32.0.1,192.169.0.1,172.31.255.254"
            << "172.31.255.254" << none;
    }
    // The address the tablets open is on the school network, from a real adapter first.
    void schoolAddress() {
        QFETCH(QString, interfaces);
        const SchoolAddress chosen = chooseSchoolAddress(::interfaces(interfaces));
        QTEST(chosen.address, "address");
        QTEST(int(chosen.missing), "missing");
        // The teacher is told why, in the words of the case.
        const QString problem = schoolAddressProblem(chosen.missing);
        QCOMPARE(problem.isEmpty(), chosen.missing == SchoolAddress::Missing::None);
        if (chosen.missing == SchoolAddress::Missing::NotConnected)
            QVERIFY(problem.contains("つながっていません"));
        if (chosen.missing == SchoolAddress::Missing::NoSchoolAddress)
            QVERIFY(problem.contains("192.168.～"));
    }

    void firewallOutcome_data() {
        QTest::addColumn<bool>("inTime");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<int>("rule");
        const QByteArray shown =
            "\r\nRule Name:    ミルト　ーネ (タブレットの教室)\r\nEnabled: Yes\r\n";
        QTest::newRow("found") << true << 0 << shown << int(FirewallRule::Found);
        QTest::newRow("not found")
            << true << 1 << QByteArray("No rules match.\r\n") << int(FirewallRule::NotFound);
        QTest::newRow("exit 0, nothing written")
            << true << 0 << QByteArray("\r\n") << int(FirewallRule::Unknown);
        QTest::newRow("another exit code") << true << 2 << shown << int(FirewallRule::Unknown);
        QTest::newRow("timed out or not started")
            << false << 0 << shown << int(FirewallRule::Unknown);
    }
    // What netsh said becomes the rule's state, and that becomes the teacher's message.
    void firewallOutcome() {
        QFETCH(bool, inTime);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, output);
        QFETCH(int, rule);
        QCOMPARE(int(firewallRuleFromCheck(inTime, exitCode, output)), rule);
        const QString message = firewallMessage(FirewallRule(rule));
        QCOMPARE(message.isEmpty(), rule == int(FirewallRule::Found));
        QCOMPARE(message.contains("かもしれません"), rule == int(FirewallRule::Unknown));
    }

    // A tablet that sends too fast is told to wait; one the teacher disconnected starts again.
    void rateAndDisconnect() {
        ServerRoom room;
        const QByteArray token = room.signedIn();
        int slowed = 0;
        for (int i = 0; i < 100; ++i) {
            room.call("names", {}, token);
            slowed += room.status == 429;
        }
        QVERIFY(slowed > 0 && slowed < 100);
        room.clock += 5000;
        room.call("names", {}, token);
        QCOMPARE(room.status, 200);
        QCOMPARE(room.service->tablets().value(0).pupil, "たろう");
        room.service->disconnectTablet(QString::fromLatin1(token));
        QCOMPARE(room.call("names", {}, token)["code"].toString(), "tablet");
    }

    // Forty tablets answer at once over loopback, each grade sent twice: every set is graded,
    // counted once, and the roster and the log hold exactly what was answered.
    void fortyTabletsAtOnce() {
        ServerRoom room;
        ClassServer server(*room.classroom);
        QCOMPARE(server.start(QHostAddress::LocalHost, 0), QString());
        TabletLoad load;
        load.baseUrl = server.address();
        load.practice = 3;
        const TabletLoadResult result = runTabletLoad(load);
        QCOMPARE(result.failures, 0);
        QCOMPARE(result.graded, 40 * 2 * 2);
        QCOMPARE(result.counted, 40 * 2);
        QCOMPARE(result.fullMarks, 40 * 2 * 2);
        server.stop();
        const QString roster = decodeCp932(readBytes(room.state.rosterPath())).value_or(QString());
        for (int t = 0; t < 40; ++t)
            QVERIFY2(roster.contains(loadPupilName(t) + ";2;0;0;0"), qPrintable(loadPupilName(t)));
        QCOMPARE(room.logLines(), 40 * (2 * 20 + 3));
    }

    // The teacher opens the window from the tools menu and starts the server with a click: it
    // never offers this computer's own address to the tablets.
    void windowFromMenu() {
        TestMain t;
        t.window->findChild<QAction *>("mnuToolsClassServer")->trigger();
        auto *window = t.window->findChild<QDialog *>("frmClassServer");
        QVERIFY(window && window->isVisible());
        QTest::mouseClick(window->findChild<QPushButton *>("ClassServerStartStop"), Qt::LeftButton);
        QVERIFY(!window->findChild<QLabel *>("ClassServerAddress")->text().contains("127.0.0.1"));
        QVERIFY(t.window->windowTitle().contains("タブレット 0台"));
    }

    // Without a school address the window says why, where the address would be, and shows
    // neither this computer's own address nor a QR code of it; once the computer is on the
    // school network, its address and QR code show.
    void windowWithoutSchoolAddress() {
        TestMain t;
        QString network = "lo|lo|url|l||127.0.0.1,::1;eth0|eth0|ur|e||192.0.2.2";
        auto *window = classServerModule()->openWindow(
            t.dir.path(), t.window.get(), [](const QString &) {},
            [&network] { return interfaces(network); });
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto *startStop = window->findChild<QPushButton *>("ClassServerStartStop");
        auto *address = window->findChild<QLabel *>("ClassServerAddress");
        auto *why = window->findChild<QLabel *>("ClassServerUnreachable");
        auto *qr = window->findChild<QLabel *>("ClassServerQrCode");
        QVERIFY(why->isHidden());
        QTest::mouseClick(startStop, Qt::LeftButton);
        QCOMPARE(address->text(), "タブレットからは開けません。");
        QVERIFY(why->isVisible());
        QVERIFY2(
            why->text().startsWith(schoolAddressProblem(SchoolAddress::Missing::NoSchoolAddress)),
            qPrintable(why->text()));
        QVERIFY(qr->pixmap().isNull() && !qr->text().contains("127.0.0.1"));
        QVERIFY(!why->text().contains("127.0.0.1") && !address->text().contains("127.0.0.1"));
        // The whole message is on the window, within it.
        QVERIFY(why->geometry().bottom() < window->height() &&
                why->heightForWidth(why->width()) <= why->height());
        snapshot(window, "class-server-no-address");

        network += ";wlan0|wlan0|ur|w||192.168.3.7";
        QTest::mouseClick(startStop, Qt::LeftButton); // stop
        QTest::mouseClick(startStop, Qt::LeftButton); // and start again
        QCOMPARE(QUrl(address->text()).host(), "192.168.3.7");
        QVERIFY(why->isHidden());
        QVERIFY(!qr->pixmap().isNull());
        delete window;
    }

    // With a tablet on this computer, the window lists the tablet and its pupil, and a click
    // sends the tablet away.
    void teachersWindow() {
        TestMain t(true, classList());
        QString note;
        auto *window = classServerModule()->openWindow(
            t.dir.path(), t.window.get(), [&note](const QString &n) { note = n; },
            [] { return interfaces("eth0|eth0|ur|e||10.1.2.3"); });
        window->show();
        QTest::mouseClick(window->findChild<QPushButton *>("ClassServerStartStop"), Qt::LeftButton);
        const QUrl address(window->findChild<QLabel *>("ClassServerAddress")->text());
        QVERIFY2(address.scheme() == u"http" && address.host() == u"10.1.2.3" &&
                     address.path().startsWith(u"/c/"),
                 qPrintable(address.toString()));
        QVERIFY(!window->findChild<QLabel *>("ClassServerQrCode")->pixmap().isNull());

        // A tablet on this computer signs はなこ in.
        QNetworkAccessManager net;
        const auto post = [&](const QString &verb, const QJsonObject &body,
                              const QByteArray &token) {
            // This computer reaches the server at the address's port, whatever its host.
            QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2api/%3")
                                             .arg(address.port())
                                             .arg(address.path(), verb)));
            request.setRawHeader("X-Tablet", token);
            std::unique_ptr<QNetworkReply> reply(net.post(request, QJsonDocument(body).toJson()));
            QSignalSpy done(reply.get(), &QNetworkReply::finished);
            done.wait(5000);
            return QJsonDocument::fromJson(reply->readAll()).object();
        };
        const QByteArray token = post("hello", {}, {})["tablet"].toString().toLatin1();
        post("signin", {{"name", "はなこ"}}, token);
        auto *list = window->findChild<QTreeWidget *>("ClassServerTablets");
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(1), "はなこ");
        QCOMPARE(note, "タブレット 1台");
        snapshot(window, "class-server");
        // The desktop reads the tablet's pupil from the shared roster at its next look.
        QVERIFY(readBytes(t.path("Quorin.ini")).contains(encodeCp932("はなこ;0;0;0;0").value()));

        list->setCurrentItem(list->topLevelItem(0));
        QTest::mouseClick(window->findChild<QPushButton *>("ClassServerDisconnect"),
                          Qt::LeftButton);
        QCOMPARE(post("names", {}, token)["code"].toString(), "tablet");
        // A new code: the address changes, and the old one tells the tablets to scan again.
        QTest::mouseClick(window->findChild<QPushButton *>("ClassServerNewCode"), Qt::LeftButton);
        QVERIFY(window->findChild<QLabel *>("ClassServerAddress")->text() != address.toString());
        QCOMPARE(post("hello", {}, {})["code"].toString(), "gone");
        QTest::mouseClick(window->findChild<QPushButton *>("ClassServerStartStop"), Qt::LeftButton);
        QCOMPARE(window->findChild<QLabel *>("ClassServerAddress")->text(),
                 "サーバーは止まっています。");
        QCOMPARE(note, "");
        delete window;
    }
};

QTEST_MAIN(TestServer)
#include "tst_server.moc"
