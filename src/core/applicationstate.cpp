#include "core/applicationstate.h"

#include <QDir>

ActivityFields activityFields(ApplicationState &s, Activity activity) {
    switch (activity) {
    case Activity::Novice:
        return {s.NoviceFirstAttempt,
                s.NoviceCurrentStreak,
                s.NoviceBestStreak,
                s.NoviceRecordStreak,
                s.NoviceRecordHolder,
                1,
                1,
                20,
                2};
    case Activity::Intermediate:
        return {s.IntermediateFirstAttempt,
                s.IntermediateCurrentStreak,
                s.IntermediateBestStreak,
                s.IntermediateRecordStreak,
                s.IntermediateRecordHolder,
                2,
                2,
                20,
                3};
    case Activity::Expert:
        return {s.ExpertFirstAttempt,
                s.ExpertCurrentStreak,
                s.ExpertBestStreak,
                s.ExpertRecordStreak,
                s.ExpertRecordHolder,
                3,
                3,
                20,
                4};
    case Activity::Challenge:
        break;
    }
    return {s.ChallengeFirstAttempt,
            s.ChallengeCurrentStreak,
            s.ChallengeBestStreak,
            s.ChallengeRecordStreak,
            s.ChallengeRecordHolder,
            4,
            4,
            81,
            5};
}

QString rosterFileNameForPlatform() {
    return QDir::separator() + QStringLiteral("Quorin.ini");
}

QString streakFileNameForPlatform() {
    return QDir::separator() + QStringLiteral("Quorin.dat");
}

void initialiseApplicationState(ApplicationState &s, const QString &currentDirectory) {
    // Step 1: the nine full-width digits.
    s.DigitText = QStringLiteral("１２３４５６７８９");
    // Step 2: question text and product of every fact, first factor index / 9 + 1.
    for (int i = 0; i < kFactCount; ++i) {
        const int a = i / 9 + 1;
        const int b = i % 9 + 1;
        s.FactText[i] = s.DigitText.mid(a - 1, 1) + QStringLiteral("　×　") +
                        s.DigitText.mid(b - 1, 1) + QStringLiteral("　＝　");
        s.FactProduct[i] = static_cast<qint16>(a * b);
    }
    // Step 3: counters.
    s.CurrentPupilRow = 1;
    s.NoviceCurrentStreak = s.NoviceBestStreak = 0;
    s.IntermediateCurrentStreak = s.IntermediateBestStreak = 0;
    s.ExpertCurrentStreak = s.ExpertBestStreak = 0;
    s.ChallengeCurrentStreak = s.ChallengeBestStreak = 0;
    s.CurrentTab = 0;
    // Step 5: data folder and file names.
    s.DataFolder = currentDirectory;
    s.RosterFileName = rosterFileNameForPlatform();
    s.RosterLoaded = False;
    s.StreakFileName = streakFileNameForPlatform();
}
