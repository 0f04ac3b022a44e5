#pragma once

#include <QString>

namespace helpers {

// Whether a process of that image name runs ("X" is looked up as "X.exe"; only a
// lower-case ".exe" counts as given, so "X.EXE" is looked up as "X.EXE.exe").
bool processExists(QString exeName);
// Ends every process of that image name.
void killProcess(const QString &exeName);

} // namespace helpers
