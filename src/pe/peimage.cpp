#include "peimage.h"

#include <algorithm>
#include <cstring>

namespace pe {

namespace {

const int resourceDirectory = 2;
const int certificateDirectory = 4;
const int boundImportDirectory = 11;
const std::size_t sectionHeaderSize = 40;
const std::uint32_t resourceCharacteristics = 0x40000040;  // initialised data, readable

void setName(Bytes &bytes, std::size_t header, const char *name)
{
    std::memset(bytes.data() + header, 0, 8);
    std::memcpy(bytes.data() + header, name, std::min<std::size_t>(8, std::strlen(name)));
}

} // namespace

bool PeImage::load(Bytes bytes)
{
    file = std::move(bytes);
    Reader r(file);
    if (r.u16(0) != 0x5A4D)  // "MZ"
        return false;
    const std::size_t pe = r.u32(0x3C);
    if (r.u32(pe) != 0x00004550)  // "PE\0\0"
        return false;
    const int sectionCount = r.u16(pe + 6);
    optional = pe + 24;
    const std::uint16_t magic = r.u16(optional);
    if (magic != 0x10B && magic != 0x20B)
        return false;
    const bool plus = magic == 0x20B;
    sectionAlignment = r.u32(optional + 32);
    fileAlignment = r.u32(optional + 36);
    directoryCount = r.u32(optional + (plus ? 108 : 92));
    dataDirectory = optional + (plus ? 112 : 96);
    const std::size_t optionalSize = r.u16(pe + 20);
    const std::size_t table = optional + optionalSize;
    const std::size_t headersSize = r.u32(optional + 60);
    // Every header lies inside the headers, and every section's data after them and
    // inside the file: a rebuilt section is then written only where sections belong.
    if (!r.ok() || fileAlignment == 0 || sectionAlignment == 0 || directoryCount > 16
        || dataDirectory + 8 * std::size_t(directoryCount) > table
        || table + sectionHeaderSize * std::size_t(sectionCount) > headersSize || headersSize > file.size())
        return false;
    sections.clear();
    for (int i = 0; i < sectionCount; ++i) {
        const std::size_t h = table + sectionHeaderSize * i;
        const Section s{h, r.u32(h + 8), r.u32(h + 12), r.u32(h + 16), r.u32(h + 20)};
        if (s.rawSize && (s.rawOffset < headersSize || std::size_t(s.rawOffset) + s.rawSize > file.size()))
            return false;
        sections.push_back(s);
    }
    if (!r.ok())
        return false;

    tree.clear();
    resourceSection = -1;
    const std::uint32_t rva = directoryField(resourceDirectory, 0);
    if (rva == 0)
        return true;
    std::size_t offset = 0;
    if (!rvaToOffset(rva, &offset))
        return false;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (sections[i].rva == rva)
            resourceSection = int(i);
    }
    return parseResources(file, offset, [this](std::uint32_t a, std::size_t *o) { return rvaToOffset(a, o); },
                          &tree);
}

std::uint32_t PeImage::directoryField(int index, int field) const
{
    if (std::uint32_t(index) >= directoryCount)
        return 0;
    Reader r(file);
    return r.u32(dataDirectory + 8 * index + 4 * field);
}

bool PeImage::rvaToOffset(std::uint32_t rva, std::size_t *offset) const
{
    for (const Section &s : sections) {
        const std::uint32_t span = std::max(s.virtualSize, s.rawSize);
        if (rva >= s.rva && rva - s.rva < span && rva - s.rva < s.rawSize) {
            *offset = s.rawOffset + (rva - s.rva);
            return true;
        }
    }
    return false;
}

std::size_t PeImage::sectionTableEnd() const
{
    return Reader(file).u16(optional - 4) + optional + sectionHeaderSize * sections.size();
}

std::uint32_t PeImage::imageEnd() const
{
    std::uint32_t end = 0;
    for (const Section &s : sections)
        end = std::max(end, s.rva + std::max(s.virtualSize, s.rawSize));
    return alignUp(end, sectionAlignment);
}

std::size_t PeImage::rawEnd() const
{
    std::size_t end = Reader(file).u32(optional + 60);  // SizeOfHeaders
    for (const Section &s : sections)
        end = std::max<std::size_t>(end, std::size_t(s.rawOffset) + s.rawSize);
    return std::min(end, file.size());
}

// Rewrites the resource section where it is: possible when it is the last section of
// the image or when the new resources fit into the space it has.
bool PeImage::placeInPlace(const Section &s, Bytes *body) const
{
    const bool last = alignUp(s.rva + std::max(s.virtualSize, s.rawSize), sectionAlignment) == imageEnd()
                      && std::size_t(s.rawOffset) + s.rawSize == rawEnd();
    std::uint32_t room = s.rawSize;
    for (const Section &other : sections) {
        if (other.rva > s.rva)
            room = std::min(room, other.rva - s.rva);
    }
    const Bytes data = buildResources(tree, s.rva);
    if (!last && data.size() > room)
        return false;
    const std::uint32_t rawSize = last ? alignUp(std::uint32_t(data.size()), fileAlignment) : s.rawSize;
    body->resize(std::max<std::size_t>(body->size(), std::size_t(s.rawOffset) + rawSize), 0);
    std::fill(body->begin() + s.rawOffset, body->begin() + s.rawOffset + rawSize, 0);
    std::copy(data.begin(), data.end(), body->begin() + s.rawOffset);
    if (last)
        body->resize(std::size_t(s.rawOffset) + rawSize);
    put32(*body, s.header + 8, std::uint32_t(data.size()));
    put32(*body, s.header + 16, rawSize);
    put32(*body, dataDirectory + 8 * resourceDirectory + 4, std::uint32_t(data.size()));
    return true;
}

// Appends the resources as a new last section, after a header for it.
bool PeImage::placeAtEnd(Bytes *body, int *sectionCount) const
{
    Reader r(file);
    const std::size_t header = sectionTableEnd();
    std::size_t firstRaw = r.u32(optional + 60);
    for (const Section &s : sections) {
        if (s.rawSize)
            firstRaw = std::min<std::size_t>(firstRaw, s.rawOffset);
    }
    if (header + sectionHeaderSize > firstRaw)
        return false;
    // Bound imports may sit where the new header goes; the loader can do without them.
    const std::uint32_t bound = directoryField(boundImportDirectory, 0);
    if (bound && bound < header + sectionHeaderSize && directoryCount > std::uint32_t(boundImportDirectory)) {
        put32(*body, dataDirectory + 8 * boundImportDirectory, 0);
        put32(*body, dataDirectory + 8 * boundImportDirectory + 4, 0);
    }
    if (resourceSection >= 0)
        setName(*body, sections[resourceSection].header, ".rsrcold");

    const std::uint32_t rva = imageEnd();
    const Bytes data = buildResources(tree, rva);
    const std::uint32_t rawOffset = alignUp(std::uint32_t(body->size()), fileAlignment);
    const std::uint32_t rawSize = alignUp(std::uint32_t(data.size()), fileAlignment);
    body->resize(rawOffset, 0);
    body->insert(body->end(), data.begin(), data.end());
    body->resize(std::size_t(rawOffset) + rawSize, 0);

    std::fill(body->begin() + header, body->begin() + header + sectionHeaderSize, 0);
    setName(*body, header, ".rsrc");
    put32(*body, header + 8, std::uint32_t(data.size()));
    put32(*body, header + 12, rva);
    put32(*body, header + 16, rawSize);
    put32(*body, header + 20, rawOffset);
    put32(*body, header + 36, resourceCharacteristics);
    put32(*body, dataDirectory + 8 * resourceDirectory, rva);
    put32(*body, dataDirectory + 8 * resourceDirectory + 4, std::uint32_t(data.size()));
    put32(*body, optional + 56, alignUp(rva + std::uint32_t(data.size()), sectionAlignment));
    *sectionCount += 1;
    return true;
}

bool PeImage::save(Bytes *out) const
{
    if (directoryCount <= std::uint32_t(resourceDirectory))
        return false;
    // Data after the sections (an overlay) moves along; a signature is void once the
    // file changes and is dropped.
    const std::size_t end = rawEnd();
    std::size_t overlayEnd = file.size();
    const std::uint32_t certificate = directoryField(certificateDirectory, 0);
    Bytes body(file.begin(), file.begin() + end);
    if (certificate >= end && certificate < overlayEnd) {
        overlayEnd = certificate;
        put32(body, dataDirectory + 8 * certificateDirectory, 0);
        put32(body, dataDirectory + 8 * certificateDirectory + 4, 0);
    }
    const Bytes overlay(file.begin() + end, file.begin() + overlayEnd);

    int sectionCount = int(sections.size());
    const bool placed = (resourceSection >= 0 && placeInPlace(sections[resourceSection], &body))
                        || placeAtEnd(&body, &sectionCount);
    if (!placed)
        return false;
    put16(body, optional - 18, std::uint16_t(sectionCount));  // NumberOfSections
    if (resourceSection >= 0 && sectionCount == int(sections.size())) {
        const Section &s = sections[resourceSection];
        const std::uint32_t size = Reader(body).u32(s.header + 8);
        put32(body, optional + 56,
              std::max(imageEnd(), alignUp(s.rva + std::max(size, Reader(body).u32(s.header + 16)),
                                           sectionAlignment)));
    }
    // A COFF symbol table (debug builds) lives in the overlay and moves with it.
    const std::uint32_t symbols = Reader(file).u32(optional - 12);
    if (symbols >= end && symbols < overlayEnd)
        put32(body, optional - 12, std::uint32_t(symbols - end + body.size()));
    body.insert(body.end(), overlay.begin(), overlay.end());
    if (Reader(file).u32(optional + 64) != 0)
        put32(body, optional + 64, peChecksum(body, optional + 64));
    *out = std::move(body);
    return true;
}

std::uint32_t peChecksum(const Bytes &file, std::size_t checksumOffset)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < file.size(); i += 2) {
        if (i == checksumOffset || i == checksumOffset + 2)
            continue;
        const std::uint32_t word = file[i] | (i + 1 < file.size() ? file[i + 1] << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return std::uint32_t(sum) + std::uint32_t(file.size());
}

} // namespace pe
