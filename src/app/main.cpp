// Entry procedure: fill the shared state and the fact tables, build the classroom model,
// create and load the main window, show it. The command line only chooses the data folder
// (or prints help or the version before any window exists); the program ends when the main
// window has been closed.

#include "app/commandline.h"
#include "classroom/classroom.h"
#include "core/applicationstate.h"
#include "ui/main/frmmain.h"
#include "ui/main/geometry.h"

#include "ui/main/servermodule.h"

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
    if (start.serve.serve) {
        // The class server's module is found beside the program, so the application's
        // folder is known first.
        QCoreApplication probe(argc, argv);
        const ClassServerEntries *module = classServerModule();
        if (!module) {
            std::fputs("quorin: the class server module is missing; reinstall the program.\n",
                       stderr);
            return 2;
        }
        return module->serve(start.dataFolder, start.serve.listen, start.serve.port, argc, argv);
    }
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
