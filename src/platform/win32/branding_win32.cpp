#include "branding_win32.h"

#include "icondir.h"

#include <windows.h>

#include <string>
#include <vector>

namespace win32 {

namespace {

// Reads the whole icon file through a handle that shares nothing while it is open.
bool readIconFile(const wchar_t *path, pe::Bytes *bytes)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < (1 << 30);
    DWORD read = 0;
    if (ok) {
        bytes->resize(std::size_t(size.QuadPart));
        ok = ReadFile(file, bytes->data(), DWORD(bytes->size()), &read, nullptr) && read == bytes->size();
    }
    CloseHandle(file);
    return ok;
}

} // namespace

bool changeExeIcon(const wchar_t *iconFile, const wchar_t *exe, const pe::Log &log)
{
    pe::Bytes icon;
    std::vector<pe::IconImage> images;
    if (!readIconFile(iconFile, &icon) || !pe::readIconDirectory(icon, &images))
        return false;
    for (const pe::IconImage &image : images)
        log("bit count " + std::to_string(image.bitCount) + " width " + std::to_string(image.width));
    const std::vector<pe::IconImage> chosen = pe::imagesForIds(images);
    if (chosen.empty())
        return false;

    HANDLE update = BeginUpdateResourceW(exe, FALSE);
    if (!update) {
        log("BeginUpdateResource failed");
        return true;
    }
    for (int j = 0; j < pe::iconImageCount; ++j) {
        const pe::IconImage &source = chosen[j];
        UpdateResourceW(update, MAKEINTRESOURCEW(pe::rtIcon), MAKEINTRESOURCEW(pe::iconImageCount - j),
                        pe::iconLanguage, icon.data() + source.offset, source.size);
    }
    if (!EndUpdateResourceW(update, FALSE))
        log("EndUpdateResource failed");
    return true;
}

int changeFileInfo(const wchar_t *exe, const std::u16string &description, const pe::Log &log)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe, &handle);
    if (size == 0)
        return 0;
    std::vector<std::uint8_t> buffer(size, 0);
    if (!GetFileVersionInfoW(exe, 0, size, buffer.data()))
        return 0;
    HANDLE update = BeginUpdateResourceW(exe, FALSE);
    if (!update)
        return 0;

    WORD *translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(buffer.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation),
                        &length)
        || length < 4) {
        EndUpdateResourceW(update, TRUE);
        return 0;
    }
    log("VerQueryValue 0 " + std::to_string(translation[0]) + " " + std::to_string(translation[1]));
    const WORD language = translation[0];

    // The block is rebuilt rather than patched in place, so a description of any
    // length is written whole and every other string keeps its value.
    std::u16string old;
    const pe::Bytes block = pe::describedVersionBlock(buffer.data(), buffer.size(), description, &old);
    if (!old.empty())
        log("FileDescription: " + pe::utf8(old));
    if (block.empty()
        || !UpdateResourceW(update, MAKEINTRESOURCEW(pe::rtVersion), MAKEINTRESOURCEW(1), language,
                            const_cast<std::uint8_t *>(block.data()), DWORD(block.size()))) {
        EndUpdateResourceW(update, TRUE);
        return 0;
    }
    log("UpdateResource");
    return EndUpdateResourceW(update, FALSE) ? 1 : 0;
}

} // namespace win32
