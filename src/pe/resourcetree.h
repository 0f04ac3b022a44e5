#pragma once

#include "bytes.h"

#include <functional>
#include <map>

namespace pe {

// A resource type, name or language: a number or a string.
struct ResourceId
{
    std::u16string name;  // empty for a numbered id
    std::uint16_t id = 0;

    ResourceId() = default;
    ResourceId(std::uint16_t id)
        : id(id)
    {
    }
    explicit ResourceId(std::u16string name)
        : name(std::move(name))
    {
    }
    bool isNamed() const { return !name.empty(); }
    // Named entries come first, as a resource directory lists them.
    bool operator<(const ResourceId &other) const;
    bool operator==(const ResourceId &other) const { return name == other.name && id == other.id; }
};

struct ResourceData
{
    Bytes data;
    std::uint32_t codePage = 0;
};

// type -> name -> language -> data, the three levels of a resource directory.
using LanguageMap = std::map<std::uint16_t, ResourceData>;
using NameMap = std::map<ResourceId, LanguageMap>;
using ResourceTree = std::map<ResourceId, NameMap>;

// Maps an RVA to a file offset; returns false when no section holds it.
using RvaToOffset = std::function<bool(std::uint32_t rva, std::size_t *offset)>;

// Reads the resource directory at file offset dirOffset (its RVA is dirRva).
bool parseResources(const Bytes &file, std::size_t dirOffset, const RvaToOffset &map, ResourceTree *tree);

// Lays out a resource section that will be loaded at sectionRva.
Bytes buildResources(const ResourceTree &tree, std::uint32_t sectionRva);

} // namespace pe
