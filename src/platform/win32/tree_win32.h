#pragma once

#include <functional>
#include <string>

typedef void *HANDLE;

namespace win32 {

enum class Entry { File, Link, Dir };
using EntryReport = std::function<void(const std::wstring &path, Entry kind, bool ok)>;

// Opens a file or folder itself, never what a junction or symbolic link points to, and
// holds it: nobody can rename or remove it while the handle is open (no delete sharing).
// INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE openHeld(const std::wstring &path, unsigned long access);
// The handle's object is a junction, a symbolic link or another reparse point.
bool isReparsePoint(HANDLE object);

// Removes dir and everything below it without following a junction or symbolic link: a
// folder is entered only while held, so one swapped for a link is removed as a link.
// Read-only files lose that attribute first. Reports every entry removed or left (a
// folder only once removed); true when dir is gone.
bool removeTree(const std::wstring &dir, const EntryReport &report);

// Removes a file (a link itself) when every folder from base down to it is held and a
// real folder; base is trusted as it is.
bool removeFileBelow(const std::wstring &base, const std::wstring &path);

} // namespace win32
