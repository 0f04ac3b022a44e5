#include "rights_win32.h"

#include "tree_win32.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>

namespace win32 {

namespace {

const int maxDepth = 256;
const DWORD rightsAccess = READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// A descriptor made from SDDL text, freed with the object.
struct Descriptor
{
    explicit Descriptor(const wchar_t *text)
    {
        ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &sd, nullptr);
    }
    ~Descriptor() { LocalFree(sd); }
    PSECURITY_DESCRIPTOR sd = nullptr;
};

std::wstring daclText(PSECURITY_DESCRIPTOR sd)
{
    LPWSTR text = nullptr;
    if (!sd || !ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                     &text, nullptr))
        return std::wstring();
    std::wstring result(text);
    LocalFree(text);
    return result;
}

// The object's owner, in a buffer the caller keeps.
PSID ownerOf(HANDLE object, std::vector<char> &buffer)
{
    DWORD size = 0;
    GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, nullptr, 0, &size);
    buffer.assign(size ? size : 1, 0);
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!size || !GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, buffer.data(), size, &size)
        || !GetSecurityDescriptorOwner(buffer.data(), &owner, &defaulted))
        return nullptr;
    return owner;
}

bool isProcessUser(PSID sid)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> user(size ? size : 1);
    const bool same = size && GetTokenInformation(token, TokenUser, user.data(), size, &size)
                      && EqualSid(reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid, sid);
    CloseHandle(token);
    return same;
}

bool isSystemGroup(PSID sid, WELL_KNOWN_SID_TYPE type)
{
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    return CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(buffer, sid);
}

bool isAdministratorSid(PSID sid)
{
    return isSystemGroup(sid, WinBuiltinAdministratorsSid) || isSystemGroup(sid, WinLocalSystemSid) || isProcessUser(sid);
}

// The descriptor lets someone other than the system, the administrators and this
// process's user add to, change or remove its object, or change its rights.
bool othersMayChange(PSECURITY_DESCRIPTOR sd)
{
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = nullptr;
    if (!sd || !GetSecurityDescriptorDacl(sd, &present, &acl, &defaulted))
        return true;
    // No access list at all lets everyone do everything.
    if (!present || !acl)
        return true;
    const ACCESS_MASK changes = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES
                                | FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void *entry = nullptr;
        if (!GetAce(acl, i, &entry))
            return true;
        const auto *ace = static_cast<ACCESS_ALLOWED_ACE *>(entry);
        if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && !(ace->Header.AceFlags & INHERIT_ONLY_ACE)
            && (ace->Mask & changes) && !isAdministratorSid(const_cast<DWORD *>(&ace->SidStart)))
            return true;
    }
    return false;
}

bool othersMayChangeObject(HANDLE object)
{
    DWORD size = 0;
    GetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<char> buffer(size ? size : 1);
    return !size || !GetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION, buffer.data(), size, &size)
           || othersMayChange(static_cast<PSECURITY_DESCRIPTOR>(buffer.data()));
}

bool manyNames(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info;
    return !GetFileInformationByHandle(file, &info) || info.nNumberOfLinks > 1;
}

// The object at path, held and not a link, when it is the administrators'.
HANDLE openOwn(const std::wstring &path, DWORD access)
{
    HANDLE object = openHeld(path, access);
    if (object != INVALID_HANDLE_VALUE && (isReparsePoint(object) || !isAdministrators(object))) {
        CloseHandle(object);
        return INVALID_HANDLE_VALUE;
    }
    return object;
}

bool openContents(const std::wstring &dir, const std::vector<std::wstring> &closedNames, int depth)
{
    bool ok = true;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW((dir + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
        return true;
    std::vector<std::wstring> names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L".." && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    for (const std::wstring &name : names) {
        const std::wstring full = dir + L"\\" + name;
        HANDLE object = openOwn(full, rightsAccess);
        if (object == INVALID_HANDLE_VALUE)
            continue;
        BY_HANDLE_FILE_INFORMATION info{};
        GetFileInformationByHandle(object, &info);
        const bool folder = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        const bool closed = std::find(closedNames.begin(), closedNames.end(), name) != closedNames.end();
        if (closed && !folder)
            ok = setRights(object, Rights::ClosedFile) && ok;
        else if (folder && depth < maxDepth)
            ok = setRights(object, Rights::OpenFolder) && openContents(full, {}, depth + 1) && ok;
        else if (!folder && !manyNames(object))
            ok = setRights(object, Rights::OpenFile) && ok;
        CloseHandle(object);
    }
    return ok;
}

bool endsWith(const std::wstring &text, const std::wstring &end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

const wchar_t *rightsText(Rights kind)
{
    switch (kind) {
    case Rights::ClosedFolder:
        return L"D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
    case Rights::VersionFolder:
        return L"D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICIIO;0x1301bf;;;BU)";
    case Rights::OpenFolder:
        return L"D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)(A;OICIID;0x1301bf;;;BU)";
    case Rights::OpenFile:
        return L"D:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)(A;ID;0x1301bf;;;BU)";
    case Rights::ClosedFile:
        return L"D:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";
    }
    return L"";
}

std::wstring normalRightsText(Rights kind)
{
    return daclText(Descriptor(rightsText(kind)).sd);
}

bool othersMayChangeText(const std::wstring &text)
{
    return othersMayChange(Descriptor(text.c_str()).sd);
}

std::wstring rightsOf(HANDLE object)
{
    DWORD size = 0;
    GetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<char> buffer(size ? size : 1);
    if (!size || !GetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION, buffer.data(), size, &size))
        return std::wstring();
    return daclText(buffer.data());
}

bool setRights(HANDLE object, Rights kind)
{
    const Descriptor wanted(rightsText(kind));
    return wanted.sd && SetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION, wanted.sd) != 0;
}

bool isAdministrators(HANDLE object)
{
    std::vector<char> buffer;
    const PSID owner = ownerOf(object, buffer);
    return owner && isAdministratorSid(owner);
}

bool sameOwner(HANDLE a, HANDLE b)
{
    std::vector<char> bufferA;
    std::vector<char> bufferB;
    const PSID ownerA = ownerOf(a, bufferA);
    const PSID ownerB = ownerOf(b, bufferB);
    return ownerA && ownerB && EqualSid(ownerA, ownerB);
}

bool openToAllUsers(const std::wstring &productDir, const std::vector<std::wstring> &closedNames)
{
    HANDLE product = openOwn(productDir, rightsAccess);
    if (product == INVALID_HANDLE_VALUE)
        return false;
    bool ok = setRights(product, Rights::ClosedFolder);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW((productDir + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                   nullptr, 0);
    std::vector<std::wstring> folders;
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &data)) {
        const std::wstring name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            && name != L"." && name != L".." && !endsWith(name, L".staging"))
            folders.push_back(name);
    }
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
    for (const std::wstring &name : folders) {
        const std::wstring full = productDir + L"\\" + name;
        HANDLE version = openOwn(full, rightsAccess);
        if (version == INVALID_HANDLE_VALUE)
            continue;
        ok = setRights(version, Rights::VersionFolder) && openContents(full, closedNames, 0) && ok;
        CloseHandle(version);
    }
    CloseHandle(product);
    return ok;
}

bool makeClosedFolder(const std::wstring &dir, bool exclusive)
{
    const Descriptor closed(rightsText(Rights::ClosedFolder));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, closed.sd, FALSE};
    if (closed.sd && CreateDirectoryW(dir.c_str(), &attributes))
        return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS || exclusive)
        return false;
    HANDLE folder = openOwn(dir, rightsAccess);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = setRights(folder, Rights::ClosedFolder);
    CloseHandle(folder);
    return ok;
}

bool isClosedFolder(const std::wstring &dir)
{
    HANDLE folder = openOwn(dir, READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool closed = GetFileInformationByHandle(folder, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                        && !othersMayChangeObject(folder);
    CloseHandle(folder);
    return closed;
}

bool isOwn(const std::wstring &path)
{
    HANDLE object = openOwn(path, READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE);
    if (object == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(object);
    return true;
}

bool isTrustedBeside(const std::wstring &file, const std::wstring &program)
{
    const DWORD access = READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    HANDLE config = openHeld(file, access);
    HANDLE beside = CreateFileW(program.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool trusted = config != INVALID_HANDLE_VALUE && GetFileInformationByHandle(config, &info)
                         && !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))
                         && info.nNumberOfLinks == 1
                         && (isAdministrators(config) || (beside != INVALID_HANDLE_VALUE && sameOwner(config, beside)));
    if (config != INVALID_HANDLE_VALUE)
        CloseHandle(config);
    if (beside != INVALID_HANDLE_VALUE)
        CloseHandle(beside);
    return trusted;
}

} // namespace win32
