#pragma once

#include <string>

namespace win32 {

// A string value under HKEY_LOCAL_MACHINE, read from the 64-bit view whatever the
// program's own bitness. The value may take 1024 bytes (512 UTF-16 units, with or
// without terminator); a larger one, like a missing key or value, gives an empty
// string. The text ends at the first NUL. *closeResult receives RegCloseKey's result.
std::wstring readMachineString(const wchar_t *key, const wchar_t *valueName, long *closeResult);

} // namespace win32
