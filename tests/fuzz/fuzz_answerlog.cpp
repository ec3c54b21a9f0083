// libFuzzer target over the answer log: the reader (one file's bytes in any encoding or
// shape), the class sheet built from what it read, and a name's round trip through a written
// line. Any broken property aborts, so libFuzzer keeps the input.

#include "classroom/answerlog.h"
#include "classroom/classsheet.h"
#include "records/pupilname.h"

#include <QSet>
#include <cstdio>
#include <cstdlib>

namespace {
void require(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    AnswerLogs logs;
    require(logs.addFile(input), "a buffer always reads");
    require(QSet<QString>(logs.pupils.cbegin(), logs.pupils.cend()).size() == logs.pupils.size() &&
                !logs.pupils.contains(QString()),
            "each name listed once, none empty");
    for (const AnswerRecord &r : logs.answers)
        require(r.pupil >= 0 && r.pupil < logs.pupils.size() && r.a >= 1 && r.a <= 9 && r.b >= 1 &&
                    r.b <= 9 && r.activity < kLoggedActivities,
                "answers are facts of a known pupil and activity");
    ClassRoster roster;
    QStringList names = logs.pupils.mid(0, 2) << "たろう";
    names.removeDuplicates(); // a roster holds each name once
    for (const QString &name : names)
        roster.pupils << RosterPupil{name, {}};
    const QStringList choices = sheetPupilChoices(roster, logs);
    require(QSet<QString>(choices.cbegin(), choices.cend()).size() == choices.size(),
            "each name offered once");
    for (SheetPeriod period : {SheetPeriod::ThisWeek, SheetPeriod::All}) {
        const ClassSheet sheet = buildClassSheet(roster, logs, period, QDate(2026, 12, 9));
        int facts = 0;
        for (const FactTally &fact : sheet.facts)
            facts += fact.answered;
        require(facts == sheet.answered && sheet.answered <= logs.answers.size() &&
                    (period != SheetPeriod::All || sheet.answered == logs.answers.size()),
                "the grid holds each answer of the period once");
    }
    // The first line as a pupil's name: written and read back, it is the same name.
    const NameCheck check = checkPupilName(QString::fromUtf8(input.left(input.indexOf('\n'))));
    if (check.problem == NameProblem::None && !check.name.isEmpty() && check.name.size() < 200) {
        AnswerLogs back;
        back.addFile(answerLogHeader() + answerLogLine({QDateTime(QDate(2026, 12, 8), QTime(9, 0)),
                                                        check.name,
                                                        LoggedActivity::Novice,
                                                        {3, 4, true}}));
        require(back.damagedLines == 0 && back.pupils == QStringList{check.name},
                "a name reads back as it was written");
    }
    return 0;
}
