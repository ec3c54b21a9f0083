// Start-up: time from an empty state to the loaded, shown main window (median of runs),
// with a roster of 100 pupils and a record file in the data folder; then the first show of
// each activity page after sign-in (the pages are built then), up to its first paint.

#include "core/applicationstate.h"
#include "ui/main/frmmain.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTabWidget>
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

    const char *const pages[] = {"practice", "level 1", "level 2", "level 3", "challenge"};
    for (int tab = 1; tab <= 5; ++tab) {
        std::vector<double> first;
        for (int run = 0; run < 7; ++run) {
            ApplicationState state;
            initialiseApplicationState(state, dir.path());
            Classroom classroom(state);
            frmMain window(classroom);
            state.MainWindow = &window;
            window.Form_Load();
            window.show();
            window.nameCombo()->lineEdit()->setText(QStringLiteral("pupil1"));
            window.QuorinIniFinCommand_Click();
            QApplication::processEvents();
            QElapsedTimer timer;
            timer.start();
            window.tabStrip()->setCurrentIndex(tab);
            window.tabStrip()->currentWidget()->repaint();
            first.push_back(timer.nsecsElapsed() / 1e6);
            window.close();
        }
        std::sort(first.begin(), first.end());
        std::printf("first show of the %s page: median %.1f ms, max %.1f ms (%zu runs)\n",
                    pages[tab - 1], first[first.size() / 2], first.back(), first.size());
    }
    return 0;
}
