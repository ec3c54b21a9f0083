// Entry procedure: fill the shared state and the fact tables, build the classroom model,
// create and load the main window, show it. The command line only chooses the data folder
// (or prints help or the version before any window exists); the program ends when the main
// window has been closed.

#include "app/commandline.h"
#include "classroom/classroom.h"
#include "core/applicationstate.h"
#include "ui/main/frmmain.h"
#include "ui/main/geometry.h"

#ifdef QUORIN_SERVER
#include "server/headless.h"
#endif

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <memory>

int main(int argc, char *argv[]) {
    const StartDecision start = decideStart(commandLineInput(argc, argv));
    if (start.forgetPin)
        Classroom::setTeacherPin(QString());
    printStartDecision(start);
    if (start.exitNow)
        return start.exitCode;
#ifdef QUORIN_SERVER
    if (start.serve.serve)
        return runHeadlessServer(start, argc, argv);
#else
    if (start.serve.serve) {
        std::fputs("quorin: this build has no class server.\n", stderr);
        return 2;
    }
#endif
    // Touch screens: a tap reaches every control as a mouse click (no control handles touch
    // itself), so a pupil with a tablet can use the whole program with a finger.
    QCoreApplication::setAttribute(Qt::AA_SynthesizeMouseForUnhandledTouchEvents, true);
    QApplication app(argc, argv);
    QApplication::setWindowIcon(applicationIcon());
    installJapaneseQtTexts();
    // Desktops match the window to the installed menu entry (and its icon) by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("jp.ac.quorin.Quorin"));

    ApplicationState state;
    initialiseApplicationState(state, start.dataFolder);

    // Creating and loading the main window: nothing thrown here escapes start-up.
    Classroom classroom(state);
    classroom.setUsualFolderAway(start.insteadOf);
    std::unique_ptr<frmMain> window;
    try {
        window = std::make_unique<frmMain>(classroom);
        state.MainWindow = window.get();
        window->Form_Load();
    } catch (...) {
    }
    if (!window)
        return 1;
    window->show();
    if (!start.notice.isEmpty())
        window->showMessage(QMessageBox::Information, applicationTitle(), start.notice);
    return app.exec();
}
