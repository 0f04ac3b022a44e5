#pragma once

#include "rebrand.h"

namespace win32 {

// The Windows path of the executable branding, through the system's resource-update
// and version-information functions; same contract as pe::changeExeIcon and
// pe::changeFileInfo.
bool changeExeIcon(const wchar_t *iconFile, const wchar_t *exe, const pe::Log &log);
int changeFileInfo(const wchar_t *exe, const std::u16string &description, const pe::Log &log);

} // namespace win32
