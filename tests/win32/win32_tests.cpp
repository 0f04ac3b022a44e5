// The Win32 half of the platform layer, and the portable PE code, run under Wine.
// Each command does one thing and prints its findings; tst_win32 drives it from Linux.
//   registry                       the 64-bit registry read (checks itself, prints "ok")
//   wmi                            prints the processor's cores and name
//   icon | portable-icon ICO EXE   brands the icon through Win32 or through src/pe
//   desc | portable-desc EXE HEX   sets the description (UTF-16 code units in hex)
//   strings EXE                    prints the version strings as Windows reads them
//   resources EXE                  prints every resource with a hash of its bytes
//   batch BAT FOLDER               writes the self-delete batch for FOLDER to BAT
//   rights                         checks the rights the programs give, as SDDL text
//   tree DIR                       removes a tree made in DIR through the Win32 walk
//   hold FILE MS                   keeps FILE open without delete sharing for MS ms, as a
//                                  running program keeps its own file ("held" once open)
#include "branding_win32.h"
#include "processor_win32.h"
#include "regread_win32.h"
#include "rebrand.h"
#include "rights_win32.h"
#include "selfdelete_win32.h"
#include "tree_win32.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool condition, const char *what)
{
    if (!condition) {
        std::printf("FAIL %s\n", what);
        ++failures;
    }
}

void log(const std::string &line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
}

std::string narrow(const std::wstring &text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::string narrowAcp(const std::wstring &text)
{
    const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::u16string fromHex(const wchar_t *hex)
{
    std::u16string text;
    for (std::size_t i = 0; hex[i] && hex[i + 1] && hex[i + 2] && hex[i + 3]; i += 4)
        text.push_back(char16_t(std::wcstoul(std::wstring(hex + i, 4).c_str(), nullptr, 16)));
    return text;
}

void setValue(const wchar_t *key, const wchar_t *name, const std::vector<wchar_t> &data, REGSAM view)
{
    HKEY handle = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_WRITE | view, nullptr, &handle, nullptr);
    RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(data.data()),
                   DWORD(data.size() * sizeof(wchar_t)));
    RegCloseKey(handle);
}

int registry()
{
    const wchar_t *key = L"SOFTWARE\\Autodesk\\3dsMax\\18.0";
    long closed = -1;
    const std::wstring dir = L"C:\\Program Files\\Autodesk\\3ds Max 2016\\";
    setValue(key, L"Installdir", std::vector<wchar_t>(dir.c_str(), dir.c_str() + dir.size() + 1), KEY_WOW64_64KEY);
    check(win32::readMachineString(key, L"Installdir", &closed) == dir, "64-bit value read from a 32-bit program");
    check(closed == ERROR_SUCCESS, "key closed");

    // Wine's 64-bit registry refuses a value that fills the buffer without a terminator;
    // the programs are 32-bit, where it is read whole.
    setValue(key, L"Exact", std::vector<wchar_t>(512, L'x'), KEY_WOW64_64KEY);
    if (sizeof(void *) == 4)
        check(win32::readMachineString(key, L"Exact", &closed) == std::wstring(512, L'x'), "512 units, no terminator");
    std::vector<wchar_t> tooLong(512, L'y');
    tooLong.push_back(L'\0');
    setValue(key, L"TooLong", tooLong, KEY_WOW64_64KEY);
    check(win32::readMachineString(key, L"TooLong", &closed).empty(), "512 units and a terminator are too long");
    setValue(key, L"Nul", {L'a', L'b', L'\0', L'c', L'\0'}, KEY_WOW64_64KEY);
    check(win32::readMachineString(key, L"Nul", &closed) == L"ab", "text ends at the first NUL");
    check(win32::readMachineString(key, L"Missing", &closed).empty(), "missing value");
    check(win32::readMachineString(L"SOFTWARE\\Autodesk\\3dsMax\\99.0", L"Installdir", &closed).empty(),
          "missing key");

    setValue(L"SOFTWARE\\Autodesk\\3dsMax\\19.0", L"Installdir", {L'w', L'\0'}, KEY_WOW64_32KEY);
    check(win32::readMachineString(L"SOFTWARE\\Autodesk\\3dsMax\\19.0", L"Installdir", &closed).empty(),
          "a value of the 32-bit view only is not seen");
    if (failures == 0)
        std::printf("ok\n");
    return failures;
}

// What each kind of object's rights let other users do, read from the SDDL text the
// programs apply: nothing that changes the object but inside a version folder; never
// Everyone; the product folder, the version folders and the closed files protected
// against what the folder above passes on.
int rights()
{
    struct Kind
    {
        win32::Rights kind;
        const char *name;
        bool othersChange;
        bool isProtected;
    };
    const Kind kinds[] = {{win32::Rights::ClosedFolder, "closed-folder", false, true},
                          {win32::Rights::VersionFolder, "version-folder", false, true},
                          {win32::Rights::OpenFolder, "open-folder", true, false},
                          {win32::Rights::OpenFile, "open-file", true, false},
                          {win32::Rights::ClosedFile, "closed-file", false, true}};
    for (const Kind &k : kinds) {
        const std::wstring text = win32::normalRightsText(k.kind);
        check(!text.empty(), k.name);
        check(win32::othersMayChangeText(text) == k.othersChange, k.name);
        check((text.rfind(L"D:P", 0) == 0) == k.isProtected, k.name);
        check(text.find(L";WD)") == std::wstring::npos, k.name);
        std::printf("%s %s\n", k.name, narrow(text).c_str());
    }
    check(win32::othersMayChangeText(L"D:(A;OICI;FA;;;WD)"), "Everyone full control");
    check(win32::othersMayChangeText(L"D:PAI(A;;FA;;;BA)(A;;0x100;;;BU)"), "users may change attributes");
    if (failures == 0)
        std::printf("ok\n");
    return failures;
}

// A tree removed through the Win32 walk, and a file removed below a base; what is left
// beside them stays.
int tree(const std::wstring &dir)
{
    const std::wstring top = dir + L"\\tree";
    CreateDirectoryW(dir.c_str(), nullptr);
    for (const wchar_t *folder : {L"", L"\\a", L"\\a\\b"})
        CreateDirectoryW((top + folder).c_str(), nullptr);
    for (const wchar_t *file : {L"\\x.dll", L"\\a\\y.dll", L"\\a\\b\\z.dll"}) {
        HANDLE h = CreateFileW((top + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY,
                               nullptr);
        CloseHandle(h);
    }
    const std::wstring kept = dir + L"\\kept.txt";
    CloseHandle(CreateFileW(kept.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    check(win32::removeFileBelow(top, top + L"\\a\\y.dll"), "a file below its base");
    check(!win32::removeFileBelow(top + L"\\a", top + L"\\x.dll"), "a file outside the base");
    int removed = 0;
    check(win32::removeTree(top, [&removed](const std::wstring &, win32::Entry, bool ok) { removed += ok; }), "tree");
    check(removed == 5 && GetFileAttributesW(top.c_str()) == INVALID_FILE_ATTRIBUTES, "every entry removed");
    check(GetFileAttributesW(kept.c_str()) != INVALID_FILE_ATTRIBUTES, "beside the tree kept");
    std::printf("%s\n", failures == 0 ? "ok" : "failed");
    return failures;
}

int wmi()
{
    std::wstring name;
    long cores = 0;
    const bool ok = win32::queryProcessor(&name, &cores);
    std::printf("%d [%ld]%s\n", ok ? 1 : 0, cores, narrow(name).c_str());
    return ok ? 0 : 1;
}

std::string queryString(const std::vector<BYTE> &block, const std::wstring &path)
{
    wchar_t *value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void **>(&value), &length))
        return "<none>";
    return narrow(std::wstring(value, length && value[length - 1] == 0 ? length - 1 : length));
}

int strings(const wchar_t *exe)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe, &handle);
    std::vector<BYTE> block(size ? size : 1);
    if (!size || !GetFileVersionInfoW(exe, 0, size, block.data())) {
        std::printf("no version information\n");
        return 0;
    }
    for (const wchar_t *table : {L"080404B0", L"040904B0"}) {
        for (const wchar_t *name : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                                    L"LegalCopyright", L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
            const std::string value =
                queryString(block, std::wstring(L"\\StringFileInfo\\") + table + L"\\" + name);
            if (value != "<none>")
                std::printf("%s\\%s=%s\n", narrow(table).c_str(), narrow(name).c_str(), value.c_str());
        }
    }
    return 0;
}

std::string idText(LPCWSTR id)
{
    return IS_INTRESOURCE(id) ? std::to_string(reinterpret_cast<ULONG_PTR>(id)) : narrow(id);
}

BOOL CALLBACK eachLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR)
{
    HRSRC found = FindResourceExW(module, type, name, language);
    const DWORD size = SizeofResource(module, found);
    const auto *bytes = static_cast<const unsigned char *>(LockResource(LoadResource(module, found)));
    unsigned long hash = 2166136261u;
    for (DWORD i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 16777619u;
    std::printf("%s/%s/%u %lu %08lx\n", idText(type).c_str(), idText(name).c_str(), language, size, hash);
    return TRUE;
}

BOOL CALLBACK eachName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR)
{
    EnumResourceLanguagesW(module, type, name, eachLanguage, 0);
    return TRUE;
}

BOOL CALLBACK eachType(HMODULE module, LPWSTR type, LONG_PTR)
{
    EnumResourceNamesW(module, type, eachName, 0);
    return TRUE;
}

int resources(const wchar_t *exe)
{
    HMODULE module = LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        std::printf("cannot load\n");
        return 1;
    }
    EnumResourceTypesW(module, eachType, 0);
    FreeLibrary(module);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"registry")
        return registry();
    if (command == L"wmi")
        return wmi();
    if (command == L"strings" && argc == 3)
        return strings(argv[2]);
    if (command == L"resources" && argc == 3)
        return resources(argv[2]);
    if (command == L"icon" && argc == 4)
        return std::printf("%d\n", win32::changeExeIcon(argv[2], argv[3], log) ? 1 : 0) < 0;
    if (command == L"portable-icon" && argc == 4)
        return std::printf("%d\n", pe::changeExeIcon(argv[2], argv[3], log) ? 1 : 0) < 0;
    if (command == L"desc" && argc == 4)
        return std::printf("%d\n", win32::changeFileInfo(argv[2], fromHex(argv[3]), log)) < 0;
    if (command == L"portable-desc" && argc == 4)
        return std::printf("%d\n", pe::changeFileInfo(argv[2], fromHex(argv[3]), log)) < 0;
    if (command == L"hold" && argc == 4) {
        HANDLE file = CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 1;
        std::printf("held\n");
        std::fflush(stdout);
        Sleep(DWORD(std::wcstoul(argv[3], nullptr, 10)));
        CloseHandle(file);
        return 0;
    }
    if (command == L"rights")
        return rights();
    if (command == L"tree" && argc == 3)
        return tree(argv[2]);
    if (command == L"batch" && argc == 4) {
        const std::string text = win32::clearBatchText(narrowAcp(argv[3]));
        return win32::writeFreshProtectedFile(argv[2], text) ? 0 : 1;
    }
    std::printf("unknown command\n");
    return 2;
}
