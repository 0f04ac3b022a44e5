#pragma once

#include <QString>

// Whether a version text can become part of a directory name: not empty, no path
// separator, drive colon or control character, and not "." or "..". A version that
// is not plain is treated as no version at all.
bool isPlainVersion(const QString &version);

// Whether a configured name (an executable, a display name) can become one part of a
// path: not empty, not "." or "..", and none of the characters Windows refuses in a
// file name (separators, drive colon, wildcards, control characters).
bool isPlainFileName(const QString &name);
