#include "regread_win32.h"

#include <windows.h>

namespace win32 {

std::wstring readMachineString(const wchar_t *key, const wchar_t *valueName, long *closeResult)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_64KEY, &handle) != ERROR_SUCCESS)
        return std::wstring();
    wchar_t buffer[512] = {};
    DWORD size = sizeof buffer;
    std::wstring result;
    if (RegQueryValueExW(handle, valueName, nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size)
        == ERROR_SUCCESS) {
        const std::size_t units = size / sizeof(wchar_t);
        std::size_t length = 0;
        while (length < units && buffer[length] != L'\0')
            ++length;
        result.assign(buffer, length);
    }
    *closeResult = RegCloseKey(handle);
    return result;
}

} // namespace win32
