#pragma once
// The one shared state record of the program. The entry procedure owns the only
// instance and hands it by reference to the windows; tests build their own.

#include <QString>
#include <QtGlobal>

class frmMain;

// Truth values in the shared state are 16-bit integers: True = -1, False = 0.
inline constexpr qint16 True = -1;
inline constexpr qint16 False = 0;

inline constexpr int kRosterRows = 101;  // rows 0..100 (row 0 is the header)
inline constexpr int kRosterColumns = 6; // columns 0..5 (column 5 never used)
inline constexpr int kStreakRows = 6;    // rows 0..5
inline constexpr int kStreakColumns = 3; // columns 0..2
inline constexpr int kFactCount = 81;    // facts 0..80; arrays run to 81

struct ApplicationState {
    frmMain *MainWindow = nullptr;
    QString RosterTable[kRosterRows][kRosterColumns];
    QString StreakRecordTable[kStreakRows][kStreakColumns];
    qint16 CurrentPupilRow = 1;
    QString FactText[kFactCount + 1];
    qint16 FactProduct[kFactCount + 1] = {};
    float ShuffleKey[kFactCount + 1] = {};
    qint16 QuestionOrder[kFactCount + 1] = {};
    QString DigitText;
    qint16 PracticeAnswerKey[19] = {};
    qint16 CurrentTab = 0;
    qint16 PracticeMissCount = 0;

    qint16 NoviceFirstAttempt = False;
    qint16 NoviceCurrentStreak = 0;
    qint16 NoviceBestStreak = 0;
    qint16 NoviceRecordStreak = 0;
    QString NoviceRecordHolder;
    qint16 NoviceAnswerKey[21] = {};

    qint16 IntermediateFirstAttempt = False;
    qint16 IntermediateCurrentStreak = 0;
    qint16 IntermediateBestStreak = 0;
    qint16 IntermediateRecordStreak = 0;
    QString IntermediateRecordHolder;
    qint16 IntermediateAnswerKey[21] = {};

    qint16 ExpertFirstAttempt = False;
    qint16 ExpertCurrentStreak = 0;
    qint16 ExpertBestStreak = 0;
    qint16 ExpertRecordStreak = 0;
    QString ExpertRecordHolder;
    qint16 ExpertAnswerKey[21] = {};

    qint16 ChallengeFirstAttempt = False;
    qint16 ChallengeCurrentStreak = 0;
    qint16 ChallengeBestStreak = 0;
    qint16 ChallengeRecordStreak = 0;
    QString ChallengeRecordHolder;
    qint16 ChallengeAnswerKey[kFactCount + 1] = {};
    qint16 ChallengeElapsedSeconds = 0;
    qint16 ChallengeAnimationTick = 0;
    qint16 ChallengeAnimationFrames = 0;

    QString DataFolder;
    QString OptionsDrive;
    QString RosterFileName;
    qint16 RosterLoaded = False;
    QString StreakFileName;

    QString rosterPath() const { return DataFolder + RosterFileName; }
    QString streakPath() const { return DataFolder + StreakFileName; }
};

// The four graded activities; their order is the order of the record file's lines 2..5
// and of the roster's columns 1..4.
enum class Activity { Novice = 0, Intermediate = 1, Expert = 2, Challenge = 3 };
inline constexpr Activity kAllActivities[] = {Activity::Novice, Activity::Intermediate,
                                              Activity::Expert, Activity::Challenge};

// References to one activity's run and record fields, so one piece of code serves all four.
struct ActivityFields {
    qint16 &FirstAttempt;
    qint16 &CurrentStreak;
    qint16 &BestStreak;
    qint16 &RecordStreak;
    QString &RecordHolder;
    int rosterColumn; // 1..4
    int streakRow;    // StreakRecordTable row 1..4 (file line 2..5)
    int fullMark;     // 20, or 81 for the challenge
    int tabIndex;     // 2..5
};

ActivityFields activityFields(ApplicationState &state, Activity activity);

// Start-up steps 1-3 and 5: digit text, fact tables, counters, data folder and file names.
// `currentDirectory` is the process's current directory as the platform reports it.
void initialiseApplicationState(ApplicationState &state, const QString &currentDirectory);

// The platform's separator followed by the data file names ("\Quorin.ini" on Windows).
QString rosterFileNameForPlatform();
QString streakFileNameForPlatform();
