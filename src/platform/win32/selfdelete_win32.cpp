#include "selfdelete_win32.h"

#include <windows.h>
#include <sddl.h>

namespace win32 {

namespace {

// A path as the batch reads it, quoted: a percent sign doubled.
std::string batchQuoted(const std::string &path)
{
    std::string escaped;
    for (char c : path) {
        escaped += c;
        if (c == '%')
            escaped += '%';
    }
    return "\"" + escaped + "\"";
}

} // namespace

std::string clearBatchText(const std::string &folder, const std::string &emptyParent)
{
    const std::string quoted = batchQuoted(folder);
    // rd without /s takes a folder only when it is empty.
    const std::string parent = emptyParent.empty() ? std::string() : "rd " + batchQuoted(emptyParent) + " 2>nul\r\n";
    // The uninstaller may not have ended when the first removal runs, and Windows keeps
    // a running program's file: the removal is tried again once a second, 30 times.
    return "ping -n 1 127.0.0.1>nul\r\n"
           "set clearpvx_tries=0\r\n"
           ":clearpvx_again\r\n"
           "rd " + quoted + " /s /q\r\n"
           "if not exist " + quoted + " goto clearpvx_done\r\n"
           "set /a clearpvx_tries+=1\r\n"
           "if %clearpvx_tries% geq 30 goto clearpvx_done\r\n"
           "ping -n 2 127.0.0.1>nul\r\n"
           "goto clearpvx_again\r\n"
           ":clearpvx_done\r\n"
           + parent + "del %0";
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
