// Forty tablets answering at once: the time from a tablet's answer (a level's grade, a
// practice answer) to its mark, at the 50th, 95th and 99th percentile, and how late the
// desktop window's event loop runs meanwhile (the server shares it). The server runs in this
// process as the teacher's window runs it; the tablets are threads with their own
// connections over loopback.

#include "records/cp932.h"
#include "server/classserver.h"
#include "tabletload.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cstdio>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir dir;
    ApplicationState state;
    initialiseApplicationState(state, dir.path());
    // The class list: tablets sign in only names on it.
    {
        QString list = QStringLiteral("Name;Novice;Intermediate;Expert;Challenge\r\n");
        for (int t = 0; t < 40; ++t)
            list += loadPupilName(t) + QStringLiteral(";0;0;0;0\r\n");
        QFile roster(state.rosterPath());
        if (!roster.open(QIODevice::WriteOnly) || roster.write(encodeCp932(list).value()) < 0)
            return 1;
    }
    Classroom classroom(state);
    classroom.useServerAnswerLog();
    classroom.load();
    ClassServer server(classroom);
    if (!server.start(QHostAddress::LocalHost, 0).isEmpty())
        return 1;
    QWidget window;
    window.show();

    // The window's event loop: a 10 ms timer, and how much later than asked each tick comes.
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, worstLag = 0;
    QList<double> lags, signInLags;
    std::atomic<qint64> answeringFrom = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last)
            (answeringFrom && now > answeringFrom ? lags : signInLags)
                .append((now - last) / 1e6 - 10.0);
        worstLag = std::max(worstLag, now - last);
        last = now;
    });
    tick.start(10);

    // Two lessons: pupils answering as children do (a second or so between answers), and
    // every tablet sending as fast as it can (no pause at all).
    int failures = 0;
    for (const int thinkMs : {800, 0}) {
        TabletLoad load;
        load.baseUrl = server.address();
        load.sets = thinkMs ? 2 : 5;
        load.resend = false;
        load.practice = thinkMs ? 8 : 18;
        load.thinkMs = thinkMs;
        load.allSignedIn = [&] { answeringFrom = clock.nsecsElapsed(); };
        answeringFrom = 0;
        lags.clear();
        signInLags.clear();
        QElapsedTimer wall;
        wall.start();
        const TabletLoadResult r = runTabletLoad(load);
        const double seconds = wall.elapsed() / 1000.0;
        failures += r.failures;
        std::printf("class server, %d tablets at once, %s: %d grades and %d practice answers "
                    "in %.1f s (%d failed)\n",
                    load.tablets, thinkMs ? "answering about once a second" : "without a pause",
                    r.graded, int(r.markMs.size()) - r.graded, seconds, r.failures);
        std::printf("  answer to mark: p50 %.1f ms, p95 %.1f ms, p99 %.1f ms, max %.1f ms "
                    "(budget: p99 50 ms)\n",
                    percentile(r.markMs, 50), percentile(r.markMs, 95), percentile(r.markMs, 99),
                    percentile(r.markMs, 100));
        std::printf("  window's event loop late by, while answering: p50 %.1f ms, p99 %.1f ms, "
                    "max %.1f ms; while all %d sign in at once: max %.1f ms\n",
                    percentile(lags, 50), percentile(lags, 99), percentile(lags, 100), load.tablets,
                    percentile(signInLags, 100));
    }
    server.stop();
    return failures == 0 ? 0 : 1;
}
