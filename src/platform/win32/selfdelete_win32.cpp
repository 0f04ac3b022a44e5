#include "selfdelete_win32.h"

#include <windows.h>
#include <sddl.h>

namespace win32 {

std::string clearBatchText(const std::string &folder)
{
    std::string escaped;
    for (char c : folder) {
        escaped += c;
        if (c == '%')
            escaped += '%';
    }
    return "ping -n 1 127.0.0.1>nul\r\nrd \"" + escaped + "\" /s /q\r\ndel %0";
}

bool writeFreshProtectedFile(const wchar_t *path, const std::string &bytes)
{
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES && !DeleteFileW(path))
        return false;
    // Protected, full access for built-in administrators and the local system only.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;BA)(A;;FA;;;SY)", SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    LocalFree(descriptor);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    return ok;
}

} // namespace win32
