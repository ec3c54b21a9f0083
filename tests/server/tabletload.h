#pragma once
// Simulated tablets for the class server: each in a thread of its own with its own
// connection, over real HTTP, as a class of pupils answering at once. Used by the load test
// (answers lost or counted twice) and the benchmark (time from an answer to its mark).

#include <QList>
#include <QString>
#include <functional>

struct TabletLoad {
    QString baseUrl;    // http://127.0.0.1:<port>/c/<code>/
    int tablets = 40;   // pupils "たんまつテスト1" .. N, one per tablet
    int sets = 2;       // レベル1 sets per tablet, every answer right
    bool resend = true; // every grade is sent twice, as after a reply lost on the network
    int practice = 0;   // practice answers per tablet (one row, in order)
    int thinkMs = 0;    // a pupil's time between two answers (each tablet a little apart)
    // Called (from a tablet's thread) once every tablet has signed in, before the answers.
    std::function<void()> allSignedIn;
};

struct TabletLoadResult {
    int graded = 0;       // grades that got a reply with the marks
    int counted = 0;      // of them, counted toward a run (the first attempt of a set)
    int fullMarks = 0;    // graded with 100 points
    int failures = 0;     // requests that got no reply or an error
    QList<double> markMs; // time from sending an answer (a grade or a practice answer) to its mark
};

TabletLoadResult runTabletLoad(const TabletLoad &load);
QString loadPupilName(int tablet);
// The p-th percentile (0..100) of the times.
double percentile(QList<double> times, double p);
