#pragma once
// The run step of every grading.

#include "core/applicationstate.h"

// AdvanceStreak: on the first grading of a set (FirstAttempt True), a full mark adds one to
// the current run (stopping at 32767) and, when the run beats the best run, raises the best
// run and writes it into the pupil's roster cell; anything less resets the current run.
// A later grading changes nothing. Returns true when the roster cell changed and the roster
// must be saved. The grader clears FirstAttempt and refreshes the record afterwards.
bool AdvanceStreak(ApplicationState &state, Activity activity, int correctCount);
