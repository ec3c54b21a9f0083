// The answer log and the class sheet: the cost of one append as a pupil confirms an answer
// (and of a graded set's 20 lines), and reading and aggregating a school year of a class of
// 40 (200 days of 100 answers each, 800,000 lines in the logs of 8 computers).
// With QUORIN_SNAPSHOTS set, also saves pictures of the sheet window and of its PDF page for
// a class of 30 with a year of answers (classsheet.png, classsheet-pdf.png).

#include "classroom/classroom.h"
#include "classroom/classsheet.h"
#include "records/cp932.h"
#include "records/roster.h"
#include "records/streakrecord.h"
#include "ui/dialogs/classsheetpage.h"
#include "ui/dialogs/frmclasssheet.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

namespace {

double percentileUs(QList<qint64> ns, double p) {
    std::sort(ns.begin(), ns.end());
    return ns[qMin<qsizetype>(ns.size() - 1, qsizetype(ns.size() * p))] / 1e3;
}

// School days (Monday to Friday) counted back from `last`, oldest first.
QList<QDate> schoolDays(const QDate &last, int count) {
    QList<QDate> days;
    for (QDate d = last; days.size() < count; d = d.addDays(-1))
        if (d.dayOfWeek() <= 5)
            days.prepend(d);
    return days;
}

// How likely a pupil of `skill` (0 good .. 1 weak) gets a × b wrong at first: the 6, 7, 8
// rows and their mirrors are the hard ones.
double missChance(double skill, int a, int b) {
    const double hard = (a >= 6 && b >= 6) ? 0.25 : (a >= 6 || b >= 6) ? 0.1 : 0.03;
    return qMin(0.9, hard * (0.3 + 1.7 * skill));
}

// Logs of `pupils` pupils over `days` school days, `perDay` answers each a day, spread over
// `computers` files in `folder` (a pupil sits at one computer). With `absences`, pupils miss
// a day now and then and the last one stopped a month ago.
void writeLogs(const QString &folder, int pupils, int days, int perDay, int computers,
               const QStringList &names, bool absences) {
    QRandomGenerator random(20261207u);
    QList<QByteArray> files(computers, answerLogHeader());
    QList<double> skill;
    for (int p = 0; p < pupils; ++p)
        skill << random.generateDouble();
    const QList<QDate> dayList = schoolDays(QDate::currentDate(), days);
    const LoggedActivity activities[] = {LoggedActivity::Practice, LoggedActivity::Novice,
                                         LoggedActivity::Intermediate, LoggedActivity::Expert,
                                         LoggedActivity::Challenge};
    for (const QDate &day : dayList)
        for (int p = 0; p < pupils; ++p) {
            if (absences && (random.bounded(20) == 0 ||
                             (p == pupils - 1 && day.daysTo(QDate::currentDate()) < 31)))
                continue;
            for (int n = 0; n < perDay; ++n) {
                const int a = 1 + random.bounded(9), b = 1 + random.bounded(9);
                const bool right = random.generateDouble() >= missChance(skill[p], a, b);
                const LoggedAnswer answer{QDateTime(day, QTime(9, 0).addSecs(20 * n)), names[p],
                                          activities[(n / 20) % 5], FactAnswer{a, b, right}};
                files[p % computers] += answerLogLine(answer);
            }
        }
    for (int c = 0; c < computers; ++c) {
        QFile file(
            QDir(folder).filePath(answerLogFileName(QStringLiteral("pc%1").arg(c + 1), QString())));
        if (file.open(QIODevice::WriteOnly))
            file.write(files[c]);
    }
}

QStringList pupilNames(int count) {
    const QStringList family = {"あべ",   "いとう", "うえだ", "えんどう", "おおた",
                                "かとう", "きむら", "くどう", "こばやし", "さとう"};
    const QStringList given = {"さくら", "はると", "ゆい", "そうた", "めい", "ゆうと"};
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << family[i % family.size()] + QStringLiteral("　") + given[(i / 2) % given.size()] +
                     (i >= 60 ? QString::number(i) : QString());
    names.removeDuplicates();
    return names;
}

// The process's peak resident memory in MB (Linux), or -1.
double peakMemoryMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

} // namespace

class BenchClassSheet : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void appendAnswers();
    void readAndAggregate();
    void oddLogs();
    void pictures();
};

void BenchClassSheet::appendAnswers() {
    QTemporaryDir dir;
    ApplicationState state;
    initialiseApplicationState(state, dir.path());
    Classroom classroom(state);
    QCOMPARE(classroom.signIn(QStringLiteral("たろう")).kind, SignInOutcome::SignedIn);
    // As a pupil answers: one line per practice confirm, 20 lines per graded set.
    for (const int lines : {1, 20}) {
        QList<qint64> times;
        QElapsedTimer timer;
        const QList<FactAnswer> set(lines, FactAnswer{7, 8, false});
        for (int n = 0; n < 2000; ++n) {
            timer.start();
            classroom.recordAnswers(LoggedActivity::Expert, set);
            times << timer.nsecsElapsed();
        }
        QVERIFY(classroom.answerLogProblem().isEmpty());
        qInfo("append of %d line(s): median %.1f us, 99th percentile %.1f us (%d appends)", lines,
              percentileUs(times, 0.5), percentileUs(times, 0.99), int(times.size()));
    }
}

void BenchClassSheet::readAndAggregate() {
    QTemporaryDir dir;
    const QStringList names = pupilNames(40);
    writeLogs(dir.path(), 40, 200, 100, 8, names, false);
    ClassRoster roster;
    for (const QString &name : names)
        roster.pupils << RosterPupil{name, {1, 2, 3, 4}};
    qint64 bytes = 0;
    for (const QFileInfo &file : QDir(dir.path()).entryInfoList(QDir::Files))
        bytes += file.size();
    QList<qint64> reads, times;
    const int runs = 7;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const AnswerLogs logs = readAnswerLogs(dir.path());
        reads << timer.nsecsElapsed();
        for (SheetPeriod period : {SheetPeriod::ThisWeek, SheetPeriod::ThisMonth, SheetPeriod::All})
            buildClassSheet(roster, logs, period, QDate::currentDate(), names[3]);
        times << timer.nsecsElapsed();
        if (run == 0) {
            const ClassSheet all =
                buildClassSheet(roster, logs, SheetPeriod::All, QDate::currentDate());
            qInfo("%d lines in %d files, %.1f MB (%d damaged)", int(logs.answers.size()),
                  int(logs.files.size()), bytes / 1e6, logs.damagedLines);
            QVERIFY(all.answered == logs.answers.size());
        }
    }
    const double readMs = percentileUs(reads, 0.5) / 1e3;
    qInfo("log reading: median %.0f ms (%.0f MB/s), best %.0f ms of %d", readMs,
          bytes / 1e3 / readMs, percentileUs(reads, 0.0) / 1e3, runs);
    qInfo("read + aggregate (3 periods): median %.0f ms, best %.0f ms of %d",
          percentileUs(times, 0.5) / 1e3, percentileUs(times, 0.0) / 1e3, runs);
}

// Logs nobody should meet but somebody will: 100,000 different names, and one line of
// 128 MB without a line end. Times the reading, the pupil list and the window; with
// QUORIN_ODD_LOGS=names or =line only that log.
void BenchClassSheet::oddLogs() {
    const QByteArray only = qgetenv("QUORIN_ODD_LOGS");
    for (const char *kind : {"names", "line"}) {
        if (!only.isEmpty() && only != QByteArrayView(kind))
            continue;
        QTemporaryDir dir;
        {
            QFile file(QDir(dir.path()).filePath(QStringLiteral("answers-odd.csv")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(answerLogHeader());
            if (QByteArrayView(kind) == "names") {
                for (int i = 0; i < 100000; ++i)
                    file.write(answerLogLine({QDateTime(QDate(2026, 12, 7), QTime(9, 0)),
                                              QStringLiteral("なまえ%1").arg(i),
                                              LoggedActivity::Novice, FactAnswer{3, 4, true}}));
            } else {
                const QByteArray block(1 << 20, 'x');
                for (int i = 0; i < 128; ++i)
                    file.write(block);
            }
        }
        QElapsedTimer timer;
        timer.start();
        const AnswerLogs logs = readAnswerLogs(dir.path());
        const qint64 read = timer.nsecsElapsed();
        timer.restart();
        const QStringList choices = sheetPupilChoices(ClassRoster{}, logs);
        const qint64 list = timer.nsecsElapsed();
        ApplicationState state;
        initialiseApplicationState(state, dir.path());
        Classroom classroom(state);
        frmClassSheet window(classroom);
        timer.restart();
        window.Form_Load();
        const qint64 load = timer.nsecsElapsed();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY_WITH_TIMEOUT(!window.isReading(), 120000);
        QCOMPARE(window.pupilCombo()->count(), choices.size() + 1);
        const qint64 shown = timer.nsecsElapsed();
        qInfo("%s: read %.0f ms (%d answers, %d damaged), pupil list %.0f ms; window: Form_Load "
              "%.0f ms, sheet shown after %.0f ms; peak memory %.0f MB",
              kind, read / 1e6, int(logs.answers.size()), logs.damagedLines, list / 1e6, load / 1e6,
              shown / 1e6, peakMemoryMb());
    }
}

void BenchClassSheet::pictures() {
    const QString out = QString::fromLocal8Bit(qgetenv("QUORIN_SNAPSHOTS"));
    if (out.isEmpty())
        QSKIP("QUORIN_SNAPSHOTS is not set");
    QDir().mkpath(out);
    QTemporaryDir parent;
    const QString folder = parent.filePath(QStringLiteral("2年1組"));
    QDir().mkpath(folder);
    const QStringList names = pupilNames(30);
    // Best runs, and the class record of each activity held by the first pupil with the
    // highest run.
    QString rosterText = rosterHeaderLine() + QStringLiteral("\r\n");
    QString recordText = QStringLiteral("氏名;得点\r\n");
    const int spread[4] = {9, 6, 4, 2}, step[4] = {7, 5, 3, 1};
    const auto best = [&](int i, int k) { return (i * step[k] + k) % spread[k]; };
    for (int k = 0; k < 4; ++k) {
        int holder = 0;
        for (int i = 0; i < names.size(); ++i)
            if (best(i, k) > best(holder, k))
                holder = i;
        recordText += QStringLiteral("%1; %2\r\n").arg(names[holder]).arg(best(holder, k));
    }
    for (int i = 0; i < names.size(); ++i) {
        rosterText += names[i];
        for (int k = 0; k < 4; ++k)
            rosterText += u';' + QString::number(best(i, k));
        rosterText += QStringLiteral("\r\n");
    }
    for (const auto &[file, text] : {std::pair{QStringLiteral("/Quorin.ini"), rosterText},
                                     std::pair{QStringLiteral("/Quorin.dat"), recordText}}) {
        QFile data(folder + file);
        QVERIFY(data.open(QIODevice::WriteOnly));
        data.write(encodeCp932(text).value());
    }
    writeLogs(folder, 30, 200, 60, 6, names, true);
    QFile torn(folder + QStringLiteral("/answers-pc3.csv"));
    QVERIFY(torn.open(QIODevice::Append));
    torn.write("2026-12-07 10:1"); // a line cut short by a computer switched off
    torn.close();

    ApplicationState state;
    initialiseApplicationState(state, folder);
    Classroom classroom(state);
    frmClassSheet window(classroom);
    window.Form_Load();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isReading(), 60000);
    window.periodCombo()->setCurrentIndex(1);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.grab().save(out + QStringLiteral("/classsheet.png")));
    const QString pdf = out + QStringLiteral("/classsheet.pdf");
    QVERIFY(writeClassSheetPdf(pdf, window.sheet(), QDate::currentDate()).isEmpty());
    QProcess render;
    render.start(QStringLiteral("pdftoppm"),
                 {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"),
                  QStringLiteral("-singlefile"), pdf, out + QStringLiteral("/classsheet-pdf")});
    QVERIFY(render.waitForFinished(60000) && render.exitCode() == 0);
}

QTEST_MAIN(BenchClassSheet)
#include "bench_classsheet.moc"
