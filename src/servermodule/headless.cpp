#include "servermodule/headless.h"

#include "server/classserver.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <memory>

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

// A line for the teacher on standard error, in the system's encoding as --help writes (a
// Japanese Windows console shows code page 932).
void teacherLine(const QString &text) {
    std::fputs((text + u'\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

} // namespace

int runHeadlessServer(const QString &dataFolder, const QString &listen, int port, int argc,
                      char *argv[]) {
    // The program made the application already to find this module; otherwise one is made.
    std::unique_ptr<QCoreApplication> own;
    if (!QCoreApplication::instance())
        own = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication &app = *QCoreApplication::instance();
    ApplicationState state;
    initialiseApplicationState(state, dataFolder);
    Classroom classroom(state);
    classroom.useServerAnswerLog();
    // What a window would show the teacher goes to the terminal.
    QObject::connect(&classroom, &Classroom::message, &app,
                     [](Notice, const QString &title, const QString &text) {
                         teacherLine(title + QStringLiteral(": ") + text);
                     });
    classroom.load();

    ClassServer server(classroom);
    const QHostAddress address =
        listen.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(listen);
    const QString problem = server.start(address, quint16(port));
    if (!problem.isEmpty()) {
        teacherLine(problem);
        return 1;
    }
    quitOnStopSignals();
    if (!server.portNote().isEmpty())
        teacherLine(server.portNote());
    const ClassServer::TabletAddress where = server.tabletAddress();
    {
        QTextStream out(stdout);
        out << "serving " << where.url << '\n';
        out.flush();
    }
    std::fflush(stdout);
    // It serves this computer all the same; the teacher learns why the tablets cannot come.
    if (!where.problem.isEmpty())
        teacherLine(QStringLiteral("タブレットからは開けません（上のアドレスはこのコンピューターの"
                                   "中だけで使えます）。") +
                    where.problem + QStringLiteral("つないだら、サーバーを始め直してください。"));
    const int code = app.exec();
    server.stop();
    return code;
}
