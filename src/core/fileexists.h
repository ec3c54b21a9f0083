#pragma once
#include <QString>

// True when `path` names an existing ordinary file that is not hidden; folders, hidden
// files, unreachable or malformed paths give false. Never throws.
bool FileExists(const QString &path) noexcept;
