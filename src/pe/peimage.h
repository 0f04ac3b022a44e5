#pragma once

#include "resourcetree.h"

namespace pe {

// A PE32 or PE32+ executable whose resources can be read, changed and written back.
// Saving rebuilds the resource section: in place when it is the last section or the
// new one fits, otherwise as a new last section (the old one stays, unused).
class PeImage
{
public:
    bool load(Bytes file);

    ResourceTree &resources() { return tree; }
    const ResourceTree &resources() const { return tree; }

    // The whole file with the rebuilt resource section. False when the section cannot
    // be placed: no room is left for one more section header.
    bool save(Bytes *out) const;

private:
    struct Section
    {
        std::size_t header;  // file offset of the section header
        std::uint32_t virtualSize, rva, rawSize, rawOffset;
    };

    bool rvaToOffset(std::uint32_t rva, std::size_t *offset) const;
    std::uint32_t directoryField(int index, int field) const;
    std::size_t sectionTableEnd() const;
    std::uint32_t imageEnd() const;
    std::size_t rawEnd() const;
    bool placeInPlace(const Section &section, Bytes *body) const;
    bool placeAtEnd(Bytes *body, int *sectionCount) const;

    Bytes file;
    std::size_t optional = 0;  // file offset of the optional header
    std::size_t dataDirectory = 0;
    std::uint32_t directoryCount = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sectionAlignment = 0;
    std::vector<Section> sections;
    int resourceSection = -1;  // the section that holds nothing but the resources
    ResourceTree tree;
};

// The PE checksum of a file whose checksum field is at checksumOffset.
std::uint32_t peChecksum(const Bytes &file, std::size_t checksumOffset);

} // namespace pe
