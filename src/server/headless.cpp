#include "server/headless.h"

#include "server/classserver.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

#ifdef Q_OS_UNIX
int g_signalPipe[2] = {-1, -1};
void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}
#endif
#ifdef Q_OS_WIN
BOOL WINAPI onConsoleStop(DWORD) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
    return TRUE;
}
#endif

// Ctrl+C and SIGTERM end the event loop (the handler only wakes it: nothing else is safe
// in a signal handler), so that the server stops and writes what waits.
void quitOnStopSignals() {
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto *notifier =
        new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, QCoreApplication::instance(),
                     &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(onConsoleStop, TRUE);
#endif
}

} // namespace

int runHeadlessServer(const StartDecision &start, int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    ApplicationState state;
    initialiseApplicationState(state, start.dataFolder);
    Classroom classroom(state);
    classroom.useServerAnswerLog();
    // What a window would show the teacher goes to the terminal.
    QObject::connect(&classroom, &Classroom::message, &app,
                     [](Notice, const QString &title, const QString &text) {
                         QTextStream(stderr) << title << ": " << text << '\n';
                     });
    classroom.load();

    ClassServer server(classroom);
    const QHostAddress address = start.serve.listen.isEmpty() ? QHostAddress(QHostAddress::Any)
                                                              : QHostAddress(start.serve.listen);
    const QString problem = server.start(address, quint16(start.serve.port));
    if (!problem.isEmpty()) {
        QTextStream(stderr) << problem << '\n';
        return 1;
    }
    quitOnStopSignals();
    {
        QTextStream out(stdout);
        out << "serving " << server.address() << '\n';
        out.flush();
    }
    std::fflush(stdout);
    const int code = app.exec();
    server.stop();
    return code;
}
