// What each pupil knows: the states of the 81 facts for a class of 40 over a school year
// (800,000 answers with their times, in the logs of 8 computers), and one pupil's map after
// sign-in, with the logs already read once and a set's 20 lines appended since; the 九九
// cards of one pupil and of the whole class (the class sheet's 九九けんてい). Every fifth day
// each pupil takes a check: nine of that day's hundred answers are its lines.

#include "classroom/answerlog.h"
#include "classroom/factstate.h"
#include "classroom/kukucheck.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int kPupils = 40, kDays = 200, kPerDay = 100, kComputers = 8;

QString pupilName(int p) {
    return QStringLiteral("児童%1").arg(p + 1);
}

void writeLogs(const QString &folder) {
    QRandomGenerator random(20261207u);
    QList<QByteArray> files(kComputers, answerLogHeader());
    const QDate first = QDate::currentDate().addDays(-kDays);
    for (int d = 0; d < kDays; ++d) {
        for (int p = 0; p < kPupils; ++p) {
            QByteArray &file = files[p % kComputers];
            const bool check = (d + p) % 5 == 0;
            for (int i = 0; i < kPerDay; ++i) {
                if (check && i < 9) {
                    const int row = d / 5 % 9 + 1;
                    const CheckWay way = CheckWay(d / 45 % kCheckWays);
                    const int b = way == CheckWay::Down ? 9 - i : i + 1;
                    LoggedAnswer line{QDateTime(first.addDays(d), QTime(9, 0).addSecs(i * 7)),
                                      pupilName(p), LoggedActivity::Check,
                                      FactAnswer{row, b, true, 1500, row * b}};
                    line.check = {row, way, i == 0, false};
                    file += answerLogLine(line);
                    continue;
                }
                LoggedAnswer answer;
                answer.when = QDateTime(first.addDays(d), QTime(9, 0).addSecs(i * 7));
                answer.pupil = pupilName(p);
                answer.activity = LoggedActivity(random.bounded(kLoggedActivities));
                answer.answer = {int(random.bounded(1, 10)), int(random.bounded(1, 10)),
                                 random.bounded(10) > 1, int(random.bounded(800, 12000)), 42};
                file += answerLogLine(answer);
            }
        }
    }
    for (int k = 0; k < kComputers; ++k) {
        QFile out(QDir(folder).filePath(QStringLiteral("answers-pc%1-0000000%1.csv").arg(k)));
        out.open(QIODevice::WriteOnly);
        out.write(files[k]);
    }
}

double medianMs(QList<qint64> ns) {
    std::sort(ns.begin(), ns.end());
    return ns[ns.size() / 2] / 1e6;
}

} // namespace

int main() {
    QTemporaryDir dir;
    writeLogs(dir.path());
    const AnswerLogs logs = readAnswerLogs(dir.path());
    std::printf("facts: %lld answers of %lld pupils read\n", qint64(logs.answers.size()),
                qint64(logs.pupils.size()));

    // Every pupil's states from the answers read (what the class sheet adds to its reading).
    QList<qint64> all;
    int known = 0;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer t;
        t.start();
        const QList<PupilFacts> facts = factTallies(logs);
        known = 0;
        for (const PupilFacts &pupil : facts)
            known += knownFacts(pupil, kDefaultFactLimitMs);
        all << t.nsecsElapsed();
    }
    std::printf("facts: every pupil's fact states from 800,000 answers: %.1f ms (median of 7; "
                "%d facts known in the class)\n",
                medianMs(all), known);

    // One pupil's map: the index read once (at the first map of the day), then after each set
    // only what was appended.
    FactIndex index;
    QElapsedTimer cold;
    cold.start();
    index.update(dir.path());
    const qint64 coldNs = cold.nsecsElapsed();
    QList<qint64> warm;
    for (int run = 0; run < 7; ++run) {
        QFile log(QDir(dir.path()).filePath(QStringLiteral("answers-pc3-00000003.csv")));
        log.open(QIODevice::Append);
        for (int i = 0; i < 20; ++i)
            log.write(answerLogLine({QDateTime::currentDateTime(),
                                     pupilName(3),
                                     LoggedActivity::Novice,
                                     {7, 6, true, 2500, 42},
                                     false}));
        log.close();
        QElapsedTimer t;
        t.start();
        index.update(dir.path());
        const PupilFacts facts = index.facts(pupilName(3));
        warm << t.nsecsElapsed();
        known = knownFacts(facts, kDefaultFactLimitMs);
    }
    std::printf("facts: one pupil's map: first read of all logs %.1f ms, then after a set %.2f ms "
                "(median of 7; %d known)\n",
                coldNs / 1e6, medianMs(warm), known);

    // One pupil's 九九 card after a check of nine answers appended.
    QList<qint64> card;
    bool passed = false;
    for (int run = 0; run < 7; ++run) {
        QFile log(QDir(dir.path()).filePath(QStringLiteral("answers-pc3-00000003.csv")));
        log.open(QIODevice::Append);
        for (int b = 1; b <= 9; ++b) {
            LoggedAnswer line{QDateTime::currentDateTime(), pupilName(3), LoggedActivity::Check,
                              FactAnswer{7, b, true, 1500, 7 * b}};
            line.check = {7, CheckWay::Up, b == 1, false};
            log.write(answerLogLine(line));
        }
        log.close();
        QElapsedTimer t;
        t.start();
        index.update(dir.path());
        const KukuCard pupilCard = index.card(pupilName(3), {0, 0, 0});
        card << t.nsecsElapsed();
        passed = !pupilCard.cells[7 - 1][int(CheckWay::Up)].passed.isNull();
    }
    std::printf(
        "kentei: one pupil's card after a check: %.3f ms (median of 7; 7のだん あがり %s)\n",
        medianMs(card), passed ? "passed" : "not passed");

    // The class's cards, as Classroom::classCards builds them for the class sheet: the logs
    // read from the start (the first sheet of the day on the teacher's computer), then again
    // after a check of one pupil was appended.
    QStringList names;
    for (int p = 0; p < kPupils; ++p)
        names << pupilName(p);
    const auto classCards = [&names](FactIndex &facts, const QString &folder) {
        facts.update(folder);
        QList<PupilCard> cards;
        for (const QString &name : names)
            cards.append({name, facts.card(name, {30000, 30000, 30000})});
        return cards;
    };
    QList<qint64> coldClass, warmClass;
    int passedRows = 0;
    for (int run = 0; run < 5; ++run) {
        FactIndex fresh;
        QElapsedTimer t;
        t.start();
        const QList<PupilCard> cards = classCards(fresh, dir.path());
        coldClass << t.nsecsElapsed();
        passedRows = 0;
        for (int n : rowPassCounts(cards))
            passedRows += n;
    }
    for (int run = 0; run < 7; ++run) {
        QFile log(QDir(dir.path()).filePath(QStringLiteral("answers-pc1-00000001.csv")));
        log.open(QIODevice::Append);
        for (int b = 1; b <= 9; ++b) {
            LoggedAnswer line{QDateTime::currentDateTime(), pupilName(1), LoggedActivity::Check,
                              FactAnswer{8, b, true, 1500, 8 * b}};
            line.check = {8, CheckWay::Mixed, b == 1, false};
            log.write(answerLogLine(line));
        }
        log.close();
        QElapsedTimer t;
        t.start();
        classCards(index, dir.path());
        warmClass << t.nsecsElapsed();
    }
    std::printf("kentei: the class's 40 cards (class sheet): logs read from the start %.1f ms "
                "(median of 5; %d rows passed in the class), after a check %.2f ms (median of 7)\n",
                medianMs(coldClass), passedRows, medianMs(warmClass));
    return 0;
}
