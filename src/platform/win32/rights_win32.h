#pragma once

#include <string>
#include <vector>

typedef void *HANDLE;

namespace win32 {

// The rights the programs give, as SDDL text. By well-known SID (the group names differ
// with the system's language): SY the system, BA the administrators, BU the users.
// Users may read and run everything; in a version folder they modify what is inside
// (inherit-only on the folder, so nobody else renames it or makes files at its top);
// everything else only administrators may change. Protected: nothing is inherited from
// the folder the product lies in.
enum class Rights {
    ClosedFolder,   // the product folder, a staging folder
    VersionFolder,  // a version folder itself
    OpenFolder,     // a folder inside a version folder (its rights as inherited)
    OpenFile,       // a file inside a version folder (its rights as inherited)
    ClosedFile,     // update.exe, uninstall.exe, ZQ.ini, service.ini
};
const wchar_t *rightsText(Rights kind);

// The object's access list as SDDL text ("D:..."), as Windows writes it back.
std::wstring rightsOf(HANDLE object);
// The text as Windows writes it back once set: rightsOf() compares with it.
std::wstring normalRightsText(Rights kind);
// Rights in SDDL text let someone other than the system, the administrators and this
// process's user add to, change or remove the object, or change its rights.
bool othersMayChangeText(const std::wstring &text);
// Sets the access list of the object open as `object` (READ_CONTROL | WRITE_DAC), on it
// alone: nothing is passed on to what lies below.
bool setRights(HANDLE object, Rights kind);
// The object belongs to the administrators, the system or this process's user.
bool isAdministrators(HANDLE object);
// The two objects have the same owner.
bool sameOwner(HANDLE a, HANDLE b);

// The product folder and its version folders get their rights (see rights.h); the
// closed names at the top of each version folder are closed. Junctions, links, files with
// several names and other users' objects are left as they are.
bool openToAllUsers(const std::wstring &product, const std::vector<std::wstring> &closedNames);
// Creates dir closed, or closes an existing real folder of the administrators unless
// exclusive.
bool makeClosedFolder(const std::wstring &dir, bool exclusive);
bool isClosedFolder(const std::wstring &dir);
bool isOwn(const std::wstring &path);
bool isTrustedBeside(const std::wstring &file, const std::wstring &program);

} // namespace win32
