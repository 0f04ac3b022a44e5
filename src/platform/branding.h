#pragma once

#include <QString>

namespace platform {

// Re-branding of an executable (see BaseWidget::ChangeExeIcon and ChangeFileInfo):
// through the Windows resource-update functions on Windows, by editing the PE file
// elsewhere. Details go to the debug log.
bool changeExeIcon(const QString &iconFile, const QString &exe);
int changeFileInfo(const QString &exe, const QString &description);
// Whether the executable already carries that icon and description (read from the file
// on every system).
bool carriesBranding(const QString &iconFile, const QString &exe, const QString &description);

} // namespace platform
