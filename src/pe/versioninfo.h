#pragma once

#include "bytes.h"

namespace pe {

// One node of a VS_VERSIONINFO block: the block itself, StringFileInfo, a string
// table, a string, VarFileInfo, Var. Values are kept as stored, so a rebuilt block
// differs from the original only where a value was changed.
struct VersionNode
{
    std::u16string key;
    std::uint16_t type = 1;         // 1 text, 0 binary
    std::uint16_t valueLength = 0;  // in characters for text, bytes for binary
    Bytes value;
    std::vector<VersionNode> children;

    // The child of that key; keys compare without regard to case, as Windows does.
    VersionNode *child(const std::u16string &key);
    const VersionNode *child(const std::u16string &key) const;
};

// False for a damaged block, also one nested deeper than any version block.
bool parseVersionInfo(const std::uint8_t *data, std::size_t size, VersionNode *root);
// Empty when the block, or a node of it, would not fit its 16-bit length field.
Bytes buildVersionInfo(const VersionNode &root);

// The language (low word) and code page (high word) pairs of VarFileInfo\Translation.
std::vector<std::uint32_t> translations(const VersionNode &root);

// The string value of StringFileInfo\table\name, without its terminator; null when absent.
const VersionNode *findString(const VersionNode &root, const std::u16string &table, const std::u16string &name);
std::u16string textOf(const VersionNode &node);

// Replaces the value of an existing string, whatever its new length. False when absent.
bool setString(VersionNode &root, const std::u16string &table, const std::u16string &name,
               const std::u16string &value);

} // namespace pe
