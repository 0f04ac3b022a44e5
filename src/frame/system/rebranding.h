#pragma once

#include <QString>

namespace helpers {

// Replaces the executable's icon images 7..1 with the last seven 32-bit images of the
// icon file; false when the icon file cannot be read or has no 32-bit image.
bool changeExeIcon(const QString &iconFile, const QString &exeFile);
// Sets the description of the executable's version resource; 1 when written back.
int changeFileInfo(const QString &exeFile, const QString &description);
// Whether the executable already carries that icon and description.
bool carriesBranding(const QString &iconFile, const QString &exeFile, const QString &description);

} // namespace helpers
