#pragma once
// What the saver processes write, shared by the saver and the test that checks the files.

#include "records/cp932.h"
#include "records/roster.h"

#include <QStringList>

namespace plan {

// Sharing: each saver adds its pupils, then raises one count per save.
inline constexpr int kPupils = 8;
inline constexpr int kSaves = 300;

inline QString pupil(int saver, int j) {
    return j == 0 ? QStringLiteral("髙橋%1").arg(saver)
                  : QStringLiteral("児童%1の%2").arg(saver).arg(j);
}
// Save i (i >= kPupils) of saver k raises pupil i % kPupils in activity (i / kPupils) % 4
// to a run no other saver writes.
inline int pupilOf(int i) {
    return i % kPupils;
}
inline int activityOf(int i) {
    return (i / kPupils) % 4;
}
inline int runOf(int saver, int i) {
    return 3 * i + saver;
}

} // namespace plan
