#include "resourcetree.h"

#include <set>

namespace pe {

namespace {

const std::uint32_t highBit = 0x80000000u;
const int maxEntries = 0xFFFF;
// Far more entries than any executable has; directories that all point at one shared
// level would otherwise make the walk cubic in the file's size.
const int maxVisited = 1 << 16;

struct Parser
{
    const Bytes &file;
    Reader reader;
    std::size_t base;  // file offset of the root directory
    const RvaToOffset &map;
    std::set<std::uint32_t> directories;  // each directory is read once: no cycle, no sharing
    int visited = 0;
    std::size_t dataBytes = 0;

    bool readId(std::uint32_t nameField, ResourceId *id)
    {
        if (!(nameField & highBit)) {
            *id = ResourceId(std::uint16_t(nameField));
            return true;
        }
        const std::size_t at = base + (nameField & ~highBit);
        const std::uint16_t length = reader.u16(at);
        *id = ResourceId(reader.text(at + 2, length));
        return reader.ok() && length > 0;
    }

    // Calls visit(id, field) for each entry of the directory at offset.
    template <typename Visit>
    bool walk(std::uint32_t offset, Visit visit)
    {
        const std::size_t at = base + offset;
        const int count = reader.u16(at + 12) + reader.u16(at + 14);
        if (!reader.ok() || count > maxEntries || !directories.insert(offset).second
            || (visited += count) > maxVisited)
            return false;
        for (int i = 0; i < count; ++i) {
            ResourceId id;
            if (!readId(reader.u32(at + 16 + 8 * i), &id) || !visit(id, reader.u32(at + 20 + 8 * i)))
                return false;
        }
        return reader.ok();
    }

    bool readData(std::uint32_t field, ResourceData *data)
    {
        if (field & highBit)
            return false;
        const std::size_t entry = base + field;
        const std::uint32_t rva = reader.u32(entry), size = reader.u32(entry + 4);
        data->codePage = reader.u32(entry + 8);
        std::size_t offset = 0;
        // Data entries may share bytes, but never more of them than the file holds.
        if (!reader.ok() || !map(rva, &offset) || !reader.has(offset, size) || (dataBytes += size) > file.size())
            return false;
        data->data.assign(file.begin() + offset, file.begin() + offset + size);
        return true;
    }
};

// Sizes of the parts of a resource section, in layout order.
struct Layout
{
    std::uint32_t directories = 0;
    std::uint32_t dataEntries = 0;
    std::uint32_t strings = 0;
};

std::uint32_t directorySize(std::size_t entries)
{
    return std::uint32_t(16 + 8 * entries);
}

void countStrings(const ResourceId &id, Layout *layout)
{
    if (id.isNamed())
        layout->strings += std::uint32_t(2 + 2 * id.name.size());
}

Layout measure(const ResourceTree &tree)
{
    Layout layout;
    layout.directories = directorySize(tree.size());
    for (const auto &type : tree) {
        countStrings(type.first, &layout);
        layout.directories += directorySize(type.second.size());
        for (const auto &name : type.second) {
            countStrings(name.first, &layout);
            layout.directories += directorySize(name.second.size());
            layout.dataEntries += std::uint32_t(16 * name.second.size());
        }
    }
    return layout;
}

class Writer
{
public:
    Writer(const Layout &layout, std::uint32_t sectionRva)
        : rva(sectionRva)
        , nextString(layout.directories + layout.dataEntries)
        , nextData(layout.directories)
    {
        out.resize(alignUp(nextString + layout.strings, 8), 0);
    }

    // Writes a directory header at offset and returns where its entries begin.
    std::uint32_t directory(std::uint32_t offset, int named, int numbered)
    {
        put16(out, offset + 12, std::uint16_t(named));
        put16(out, offset + 14, std::uint16_t(numbered));
        return offset + 16;
    }

    std::uint32_t nameField(const ResourceId &id)
    {
        if (!id.isNamed())
            return id.id;
        const std::uint32_t at = nextString;
        put16(out, at, std::uint16_t(id.name.size()));
        for (std::size_t i = 0; i < id.name.size(); ++i)
            put16(out, at + 2 + 2 * i, std::uint16_t(id.name[i]));
        nextString += std::uint32_t(2 + 2 * id.name.size());
        return at | highBit;
    }

    std::uint32_t dataEntry(const ResourceData &data)
    {
        const std::uint32_t entry = nextData;
        nextData += 16;
        padTo(out, 8);
        put32(out, entry, rva + std::uint32_t(out.size()));
        put32(out, entry + 4, std::uint32_t(data.data.size()));
        put32(out, entry + 8, data.codePage);
        out.insert(out.end(), data.data.begin(), data.data.end());
        return entry;
    }

    Bytes out;

private:
    std::uint32_t rva;
    std::uint32_t nextString;
    std::uint32_t nextData;
};

template <typename Map>
int namedCount(const Map &map)
{
    int n = 0;
    for (const auto &entry : map)
        n += entry.first.isNamed() ? 1 : 0;
    return n;
}

} // namespace

bool ResourceId::operator<(const ResourceId &other) const
{
    if (isNamed() != other.isNamed())
        return isNamed();
    return isNamed() ? name < other.name : id < other.id;
}

bool parseResources(const Bytes &file, std::size_t dirOffset, const RvaToOffset &map, ResourceTree *tree)
{
    Parser parser{file, Reader(file), dirOffset, map};
    return parser.walk(0, [&](const ResourceId &type, std::uint32_t typeField) {
        if (!(typeField & highBit))
            return false;
        NameMap &names = (*tree)[type];
        return parser.walk(typeField & ~highBit, [&](const ResourceId &name, std::uint32_t nameField) {
            if (!(nameField & highBit))
                return false;
            LanguageMap &languages = names[name];
            return parser.walk(nameField & ~highBit, [&](const ResourceId &lang, std::uint32_t dataField) {
                return !lang.isNamed() && parser.readData(dataField, &languages[lang.id]);
            });
        });
    });
}

Bytes buildResources(const ResourceTree &tree, std::uint32_t sectionRva)
{
    Writer writer(measure(tree), sectionRva);
    // Directories breadth first: the root, every type, every name. Each entry of one
    // level points at the directory of the next, laid out in the same order.
    std::uint32_t nextDirectory = directorySize(tree.size());
    auto listSubdirectories = [&](std::uint32_t offset, const auto &map, auto &children) {
        std::uint32_t entry = writer.directory(offset, namedCount(map), int(map.size()) - namedCount(map));
        for (const auto &item : map) {
            put32(writer.out, entry, writer.nameField(item.first));
            put32(writer.out, entry + 4, nextDirectory | highBit);
            children.emplace_back(nextDirectory, &item.second);
            nextDirectory += directorySize(item.second.size());
            entry += 8;
        }
    };
    std::vector<std::pair<std::uint32_t, const NameMap *>> typeDirs;
    listSubdirectories(0, tree, typeDirs);
    std::vector<std::pair<std::uint32_t, const LanguageMap *>> nameDirs;
    for (const auto &typeDir : typeDirs)
        listSubdirectories(typeDir.first, *typeDir.second, nameDirs);
    for (const auto &nameDir : nameDirs) {
        std::uint32_t entry = writer.directory(nameDir.first, 0, int(nameDir.second->size()));
        for (const auto &language : *nameDir.second) {
            put32(writer.out, entry, language.first);
            put32(writer.out, entry + 4, writer.dataEntry(language.second));
            entry += 8;
        }
    }
    return writer.out;
}

} // namespace pe
