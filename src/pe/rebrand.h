#pragma once

#include "bytes.h"

#include <filesystem>
#include <functional>
#include <string>

// Re-branding of an executable: its icon images and its version-resource description.
// This is the portable path, editing the PE file itself; on Windows the same steps go
// through the system's resource-update functions (platform/win32).
namespace pe {

using Log = std::function<void(const std::string &)>;

const std::uint16_t rtIcon = 3;
const std::uint16_t rtVersion = 16;

// Writes the last seven 32-bit images of the icon file over the executable's icon
// images 7 down to 1 (language 1033); the icon group is left as it is. False when
// the icon file cannot be read or holds no 32-bit image; a failed update of the
// executable is only logged.
bool changeExeIcon(const std::filesystem::path &iconFile, const std::filesystem::path &exe, const Log &log);

// Sets FileDescription in the string table "080404B0" to description, whatever its
// length, and writes the version resource back in the language of its first
// translation. 1 when written back, 0 when the executable has no (readable) version
// information or no translation table, or the update fails; the file is then unchanged.
int changeFileInfo(const std::filesystem::path &exe, const std::u16string &description, const Log &log);

// Whether the executable already carries what the two steps above would write: the
// icon file's images under identifiers 7 down to 1 and description as FileDescription
// of "080404B0". Such a client is left as it is, so that a client branded and signed
// when it was built keeps its signature. False when anything cannot be read.
bool carriesBranding(const std::filesystem::path &iconFile, const std::filesystem::path &exe,
                     const std::u16string &description);

struct VersionNode;

// Replaces FileDescription of the string table "080404B0" in a parsed version block;
// *old receives the text it had. Nothing changes when that string is absent.
void describe(VersionNode &root, const std::u16string &description, std::u16string *old);

// The same on a block as stored, rebuilt; empty when the block is unreadable.
Bytes describedVersionBlock(const std::uint8_t *block, std::size_t size, const std::u16string &description,
                            std::u16string *old);

std::string utf8(const std::u16string &text);

} // namespace pe
