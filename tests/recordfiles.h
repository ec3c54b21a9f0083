#pragma once
// Data-file helpers shared by the records, sign-in, options and merge tests.

#include "records/cp932.h"
#include "testsupport.h"

#include <QComboBox>

inline const QString kRosterHeader =
    QStringLiteral("氏名;初級100点回数;中級100点回数;上級100点回数;チャレンジ100点回数");

// Lines in code page 932, each ended by CR LF.
inline QByteArray cp932Lines(const QStringList &lines) {
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += encodeCp932(line).value() + "\r\n";
    return bytes;
}

// The roster file with its header and the given pupil lines.
inline QByteArray roster(const QStringList &pupils) {
    return cp932Lines(QStringList{kRosterHeader} + pupils);
}

// The record file with its header and the given record lines.
inline QByteArray streakLines(const QStringList &records) {
    return cp932Lines(QStringList{QStringLiteral("氏名;得点")} + records);
}

// A main window on a data folder that already holds `roster` (nothing when empty).
inline std::unique_ptr<TestMain> withRoster(const QByteArray &roster) {
    auto t = std::make_unique<TestMain>(false);
    if (!roster.isEmpty())
        writeBytes(t->path(QStringLiteral("Quorin.ini")), roster);
    t->window->Form_Load();
    return t;
}

// Puts the name in the sign-in box and confirms it.
inline void confirmName(TestMain &t, const QString &name) {
    t.window->nameCombo()->setEditText(name);
    t.window->QuorinIniFinCommand_Click();
}

inline QByteArray rosterOnDisk(const TestMain &t) {
    return readBytes(t.path(QStringLiteral("Quorin.ini")));
}

// How many of the activity tabs 1..5 can be chosen: 5 signed in, 0 locked.
inline int openActivities(const TestMain &t) {
    int open = 0;
    for (int i = 1; i <= 5; ++i)
        open += t.window->isTabSelectable(i) ? 1 : 0;
    return open;
}
