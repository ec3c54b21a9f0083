// Start-up: time from an empty state to the loaded, shown main window (median of runs),
// with a roster of 100 pupils and a record file in the data folder.

#include "core/applicationstate.h"
#include "ui/main/frmmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[]) {
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    {
        QFile roster(dir.path() + QStringLiteral("/Quorin.ini"));
        if (!roster.open(QIODevice::WriteOnly))
            return 1;
        roster.write("\x8e\x81\x96\xbc;1;2;3;4\r\n"); // a header-like first line
        for (int i = 1; i <= 100; ++i)
            roster.write(QByteArray("pupil") + QByteArray::number(i) + ";3;2;1;0\r\n");
    }
    std::vector<double> ms;
    for (int run = 0; run < 15; ++run) {
        QElapsedTimer timer;
        timer.start();
        ApplicationState state;
        initialiseApplicationState(state, dir.path());
        Classroom classroom(state);
        frmMain window(classroom);
        state.MainWindow = &window;
        window.Form_Load();
        window.show();
        QApplication::processEvents();
        ms.push_back(timer.nsecsElapsed() / 1e6);
        window.close();
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "start-up to shown main window: median %.1f ms, min %.1f ms, max %.1f ms (%zu runs)\n",
        ms[ms.size() / 2], ms.front(), ms.back(), ms.size());
    return 0;
}
