#pragma once
// The command line and the choice of the data folder at start: a pure function from the
// arguments and the few facts of the environment it needs to what start-up does next.
// Qt::Core only, and no QCoreApplication needed, so --help and --version work without a
// display: main calls it before it creates the QApplication.

#include <QString>
#include <QStringList>

struct CommandLineInput {
    QStringList arguments;    // argv, program name first
    QString currentDirectory; // the process's current directory
    QString appDataLocation;  // the per-user data folder used with --from-menu
    bool japanese = false;    // the system locale's language is Japanese
    QString rememberedFolder; // the folder the teacher chose to use at every start, if any
};

// The class server started from the command line, without a window.
struct ServeChoice {
    bool serve = false;
    QString listen; // an address; empty: every interface
    int port = 0;   // 0: one the system gives
};

struct StartDecision {
    bool exitNow = false;   // print and end without opening a window
    bool forgetPin = false; // remove the teacher's PIN first
    int exitCode = 0;       // meaningful when exitNow
    QString standardOutput; // --help and --version text
    QString standardError;  // what went wrong, one or two lines
    QString dataFolder;     // native separators; meaningful when !exitNow
    QString notice;         // for the teacher once the window is open: a remembered folder
                            // that could not be used
    QString insteadOf;      // that remembered folder (native separators), else empty
    ServeChoice serve;
};

StartDecision decideStart(const CommandLineInput &input);

// Fills the input from this process: argv, the current directory, the per-user data
// location and the system locale. Sets the application name and version first, since the
// data location is named after the application.
CommandLineInput commandLineInput(int argc, char *argv[]);

// Whether a start writes to the console it was started from: the texts of --help, --version
// and errors, and the class server without a window, which says there where it serves.
bool writesToConsole(const StartDecision &decision);

// Writes the decision's texts to stdout and stderr. On Windows, where a window program has no
// console of its own, it first takes the console of the command prompt that started it when
// writesToConsole says so.
void printStartDecision(const StartDecision &decision);
