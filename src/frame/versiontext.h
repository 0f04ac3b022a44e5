#pragma once

#include <QString>

// Whether a version text can become part of a directory name: not empty, no path
// separator, drive colon or control character, and not "." or "..". A version that
// is not plain is treated as no version at all.
bool isPlainVersion(const QString &version);
