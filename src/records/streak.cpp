#include "records/streak.h"

#include "core/numericvalue.h"

bool AdvanceStreak(ApplicationState &state, Activity activity, int correctCount) {
    ActivityFields f = activityFields(state, activity);
    if (f.FirstAttempt != True)
        return false;
    if (correctCount != f.fullMark) {
        f.CurrentStreak = 0;
        return false;
    }
    f.CurrentStreak = saturatingIncrement(f.CurrentStreak);
    if (f.CurrentStreak <= f.BestStreak)
        return false;
    f.BestStreak = f.CurrentStreak;
    // Row 0 is the header: no pupil is signed in there, so nothing is written into it.
    if (state.CurrentPupilRow < 1 || state.CurrentPupilRow >= kRosterRows)
        return false;
    state.RosterTable[state.CurrentPupilRow][f.rosterColumn] = QString::number(f.BestStreak);
    return true;
}
