#include "tree_win32.h"

#include <windows.h>

#include <utility>
#include <vector>

namespace win32 {

namespace {

const int maxDepth = 256;

struct Listed
{
    std::wstring name;
    DWORD attributes;
};

std::vector<Listed> entriesOf(const std::wstring &dir)
{
    std::vector<Listed> entries;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW((dir + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return entries;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            entries.push_back({name, data.dwFileAttributes});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return entries;
}

// A link or junction goes itself; so does a file, read-only or not.
bool removeEntry(const std::wstring &path, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) != 0
                                                   : DeleteFileW(path.c_str()) != 0;
}

// Held for listing only: its name cannot change while it is listed, and the listing
// (which Wine opens without delete sharing) is not refused.
const DWORD listAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

void removeBelow(const std::wstring &dir, const EntryReport &report, int depth)
{
    for (const Listed &entry : entriesOf(dir)) {
        const std::wstring full = dir + L"\\" + entry.name;
        const bool folder = entry.attributes & FILE_ATTRIBUTE_DIRECTORY;
        bool link = entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT;
        if (folder && !link) {
            HANDLE held = openHeld(full, listAccess);
            if (held == INVALID_HANDLE_VALUE)
                continue;
            link = isReparsePoint(held);
            if (!link && depth < maxDepth) {
                removeBelow(full, report, depth + 1);
                CloseHandle(held);
                // Whatever took its name since goes only if it is an empty folder or a link.
                if (RemoveDirectoryW(full.c_str()))
                    report(full, Entry::Dir, true);
                continue;
            }
            CloseHandle(held);
            if (!link)
                continue;
        }
        report(full, link ? Entry::Link : Entry::File, removeEntry(full, entry.attributes));
    }
}

std::wstring backslashed(std::wstring path)
{
    for (wchar_t &c : path) {
        if (c == L'/')
            c = L'\\';
    }
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}

} // namespace

HANDLE openHeld(const std::wstring &path, unsigned long access)
{
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool isReparsePoint(HANDLE object)
{
    BY_HANDLE_FILE_INFORMATION info;
    return !GetFileInformationByHandle(object, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool removeTree(const std::wstring &path, const EntryReport &report)
{
    const std::wstring dir = backslashed(path);
    const DWORD attributes = GetFileAttributesW(dir.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    HANDLE held = openHeld(dir, listAccess);
    const bool link = held == INVALID_HANDLE_VALUE ? (attributes & FILE_ATTRIBUTE_REPARSE_POINT) : isReparsePoint(held);
    if (link || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        const bool removed = removeEntry(dir, attributes);
        report(dir, link ? Entry::Link : Entry::File, removed);
        return removed;
    }
    if (held == INVALID_HANDLE_VALUE)
        return false;
    removeBelow(dir, report, 0);
    CloseHandle(held);
    const bool removed = RemoveDirectoryW(dir.c_str()) != 0;
    if (removed)
        report(dir, Entry::Dir, true);
    return removed;
}

bool removeFileBelow(const std::wstring &basePath, const std::wstring &filePath)
{
    const std::wstring base = backslashed(basePath);
    const std::wstring file = backslashed(filePath);
    if (file.size() <= base.size() + 1 || file.compare(0, base.size(), base) != 0 || file[base.size()] != L'\\')
        return false;
    std::vector<HANDLE> held;
    bool plain = true;
    for (size_t at = file.find(L'\\', base.size() + 1); plain && at != std::wstring::npos;
         at = file.find(L'\\', at + 1)) {
        HANDLE folder = openHeld(file.substr(0, at), FILE_READ_ATTRIBUTES | SYNCHRONIZE);
        plain = folder != INVALID_HANDLE_VALUE && !isReparsePoint(folder);
        if (folder != INVALID_HANDLE_VALUE)
            held.push_back(folder);
    }
    const DWORD attributes = GetFileAttributesW(file.c_str());
    const bool removed = plain && attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)
                         && removeEntry(file, attributes);
    for (HANDLE folder : held)
        CloseHandle(folder);
    return removed;
}

} // namespace win32
