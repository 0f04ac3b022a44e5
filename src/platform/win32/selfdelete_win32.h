#pragma once

#include <string>

namespace win32 {

// The batch that waits a moment, removes the folder (in the local code page) with
// everything in it, trying again while a file in it is still in use, and deletes itself.
// Every "%" of the folder is doubled, so the command interpreter removes exactly that folder.
std::string clearBatchText(const std::string &folder, const std::string &emptyParent = std::string());

// Creates path anew with the given bytes, readable and writable by administrators and
// the system only. A file already there is deleted first; false when that fails or
// the file cannot be created.
bool writeFreshProtectedFile(const wchar_t *path, const std::string &bytes);

} // namespace win32
