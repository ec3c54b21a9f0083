#include "tabletload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <latch>
#include <memory>

namespace {

// One tablet: a thread with its own network manager (so its own connection), sending the
// protocol's requests one after the other as the page does.
class Tablet {
public:
    Tablet(const TabletLoad &load, int number, std::latch &signedIn)
        : m_load(load), m_number(number), m_signedIn(signedIn) {}

    static inline std::atomic<int> s_toSignIn = 0;

    TabletLoadResult run() {
        QNetworkAccessManager manager;
        m_manager = &manager;
        TabletLoadResult r;
        const QJsonObject hello = post("hello", {}, r);
        m_token = hello.value("tablet").toString().toLatin1();
        post("signin", {{"name", loadPupilName(m_number)}}, r);
        // The class answers together once everyone is in.
        if (--s_toSignIn == 0 && m_load.allSignedIn)
            m_load.allSignedIn();
        m_signedIn.count_down();
        m_signedIn.wait();
        for (int s = 0; s < m_load.sets; ++s) {
            const QJsonObject set = post("deal", {{"activity", "novice"}}, r);
            QJsonArray answers;
            for (const QJsonValue q : set.value("questions").toArray())
                answers.append(
                    QJsonObject{{"given", q["a"].toInt() * q["b"].toInt()}, {"ms", 1500}});
            const QJsonObject grade{
                {"set", set.value("set")}, {"attempt", 1}, {"answers", answers}};
            think();
            for (int send = 0; send < (m_load.resend ? 2 : 1); ++send) {
                QElapsedTimer clock;
                clock.start();
                const QJsonObject marks = post("grade", grade, r);
                if (!marks.contains("marks"))
                    continue;
                r.markMs.append(clock.nsecsElapsed() / 1e6);
                ++r.graded;
                r.counted += send == 0 && marks.value("counted").toBool();
                r.fullMarks += marks.value("score").toInt() == 100;
            }
        }
        if (m_load.practice > 0) {
            const QJsonObject set = post("deal", {{"activity", "practice"}, {"row", 7}}, r);
            const QJsonArray questions = set.value("questions").toArray();
            for (int i = 0; i < std::min<qsizetype>(m_load.practice, questions.size()); ++i) {
                think();
                QElapsedTimer clock;
                clock.start();
                const QJsonObject mark =
                    post("answer",
                         {{"set", set.value("set")},
                          {"index", i},
                          {"try", 1},
                          {"given", questions[i]["a"].toInt() * questions[i]["b"].toInt()},
                          {"ms", 900}},
                         r);
                if (mark.contains("right"))
                    r.markMs.append(clock.nsecsElapsed() / 1e6);
            }
        }
        return r;
    }

private:
    void think() {
        if (m_load.thinkMs > 0)
            QThread::msleep(
                ulong(m_load.thinkMs + (m_number * 37 + m_thoughts++ * 53) % m_load.thinkMs));
    }

    QJsonObject post(const QString &verb, const QJsonObject &body, TabletLoadResult &r) {
        QNetworkRequest request(QUrl(m_load.baseUrl + "api/" + verb));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
        if (!m_token.isEmpty())
            request.setRawHeader("X-Tablet", m_token);
        request.setTransferTimeout(20000);
        // A tablet told to slow down waits and sends again, as the page does.
        for (int tries = 0; tries < 50; ++tries) {
            std::unique_ptr<QNetworkReply> reply(
                m_manager->post(request, QJsonDocument(body).toJson(QJsonDocument::Compact)));
            QEventLoop loop;
            QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
            loop.exec();
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (status == 429) {
                QThread::msleep(100);
                continue;
            }
            if (status == 200)
                return QJsonDocument::fromJson(reply->readAll()).object();
            qWarning("tablet %d: %s got %d %s %s", m_number, qPrintable(verb), status,
                     qPrintable(reply->errorString()), reply->readAll().constData());
            break;
        }
        ++r.failures;
        return {};
    }

    const TabletLoad &m_load;
    int m_number;
    QNetworkAccessManager *m_manager = nullptr;
    QByteArray m_token;
    std::latch &m_signedIn;
    int m_thoughts = 0;
};

} // namespace

QString loadPupilName(int tablet) {
    return QStringLiteral("たんまつテスト%1").arg(tablet + 1);
}

TabletLoadResult runTabletLoad(const TabletLoad &load) {
    TabletLoadResult total;
    QMutex mutex;
    QList<QThread *> threads;
    std::latch signedIn(load.tablets);
    Tablet::s_toSignIn = load.tablets;
    for (int t = 0; t < load.tablets; ++t)
        threads.append(QThread::create([&load, &total, &mutex, &signedIn, t] {
            const TabletLoadResult r = Tablet(load, t, signedIn).run();
            const QMutexLocker lock(&mutex);
            total.graded += r.graded;
            total.counted += r.counted;
            total.fullMarks += r.fullMarks;
            total.failures += r.failures;
            total.markMs += r.markMs;
        }));
    for (QThread *thread : threads)
        thread->start();

    // The server may run in this thread's event loop: it keeps turning while the tablets work.
    for (QThread *thread : threads) {
        while (!thread->wait(QDeadlineTimer(5)))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        delete thread;
    }
    return total;
}

double percentile(QList<double> times, double p) {
    if (times.isEmpty())
        return 0;
    std::sort(times.begin(), times.end());
    const qsizetype at = std::min<qsizetype>(times.size() - 1, qsizetype(p / 100.0 * times.size()));
    return times[at];
}
