// One copy of the program appending answer sets to the log of a computer it shares with its
// clones: the same host name and installation, so the same file. Used by the test of a share
// that does not append atomically.
//   quorin_logappender <data folder> <copy> <sets> <spool>
// Each set is 20 lines of the pupil "copy<copy>-set<n>"; sets the log is busy for wait in the
// queue and go out with a later one, as in the program. Exits 0 when every set was written.
//   quorin_logappender spool <data folder> <copy> <sets>
// The same with sets of 6 lines through the program's own spool of the folder; then says
// "kept <answers waiting>" and waits for a line: at the end of input it ends with them kept,
// else it writes every one, those of copies that ended included.

#include "classroom/answerlog.h"
#include "classroom/answerqueue.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const bool spool = app.arguments().value(1) == QLatin1String("spool");
    const QStringList args = app.arguments().mid(spool ? 1 : 0);
    const int copy = args.value(2).toInt(), sets = args.value(3).toInt(),
              lineCount = spool ? 6 : 20;
    AnswerQueue queue(args[1], answerLogFileName("教室PC", "clone"),
                      spool ? answerSpoolPath(args[1]) : args[4]);
    const QDateTime when = QDateTime::currentDateTime();
    for (int n = 0; n < sets; ++n) {
        QByteArray lines;
        for (int i = 0; i < lineCount; ++i)
            lines += answerLogLine({when,
                                    QStringLiteral("copy%1-set%2").arg(copy).arg(n),
                                    LoggedActivity::Expert,
                                    {1 + i / 9, 1 + i % 9, i % 3 != 0}});
        queue.add(lines, lineCount);
    }
    if (spool) {
        std::printf("kept %d\n", queue.waiting());
        std::fflush(stdout);
        char line[8];
        if (!std::fgets(line, sizeof line, stdin))
            return 0;
    }
    for (int tries = 0; !queue.flush() && tries < 5000; ++tries)
        QThread::msleep(2);
    return queue.waiting() == 0 ? 0 : 1;
}
