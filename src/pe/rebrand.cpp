#include "rebrand.h"

#include "icondir.h"
#include "peimage.h"
#include "versioninfo.h"

#include <fstream>
#include <system_error>

namespace pe {

namespace {

const char16_t descriptionTable[] = u"080404B0";

bool readFile(const std::filesystem::path &path, Bytes *bytes)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    const std::streamoff size = in.tellg();
    if (size < 0 || !in.seekg(0))
        return false;
    bytes->resize(std::size_t(size));
    return bool(in.read(reinterpret_cast<char *>(bytes->data()), size));
}

// Whether the file itself may change, as Windows asks before it updates resources: the
// rename below needs only the folder's permission. A file without any write permission
// counts as read-only even for a user allowed to open it (root), as the attribute does.
bool isWritable(const std::filesystem::path &path)
{
    using std::filesystem::perms;
    std::error_code error;
    const perms mode = std::filesystem::status(path, error).permissions();
    if (error || (mode & (perms::owner_write | perms::group_write | perms::others_write)) == perms::none)
        return false;
    std::fstream probe(path, std::ios::binary | std::ios::in | std::ios::out);
    return bool(probe);
}

// Writes beside the file and renames over it, so that a failed write leaves the
// executable as it was.
bool replaceFile(const std::filesystem::path &path, const Bytes &bytes)
{
    if (!isWritable(path))
        return false;
    std::filesystem::path temporary = path;
    temporary += ".rebrand";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        if (!out.flush()) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::permissions(temporary, std::filesystem::status(path, error).permissions(), error);
    std::filesystem::rename(temporary, path, error);
    if (error)
        std::filesystem::remove(temporary, error);
    return !error;
}

bool saveImage(const PeImage &image, const std::filesystem::path &exe)
{
    Bytes out;
    return image.save(&out) && replaceFile(exe, out);
}

const ResourceData *firstVersionResource(const PeImage &image)
{
    const auto type = image.resources().find(ResourceId(rtVersion));
    if (type == image.resources().end() || type->second.empty() || type->second.begin()->second.empty())
        return nullptr;
    return &type->second.begin()->second.begin()->second;
}

// The data of one resource; empty when there is none.
Bytes resourceData(const PeImage &image, std::uint16_t type, std::uint16_t id, std::uint16_t language)
{
    const auto names = image.resources().find(ResourceId(type));
    if (names == image.resources().end())
        return Bytes();
    const auto languages = names->second.find(ResourceId(id));
    if (languages == names->second.end())
        return Bytes();
    const auto data = languages->second.find(language);
    return data == languages->second.end() ? Bytes() : data->second.data;
}

} // namespace

std::string utf8(const std::u16string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | c >> 6);
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | c >> 12);
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | c >> 18);
            out += char(0x80 | (c >> 12 & 0x3F));
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool changeExeIcon(const std::filesystem::path &iconFile, const std::filesystem::path &exe, const Log &log)
{
    Bytes icon;
    std::vector<IconImage> images;
    if (!readFile(iconFile, &icon) || !readIconDirectory(icon, &images))
        return false;
    for (const IconImage &image : images)
        log("bit count " + std::to_string(image.bitCount) + " width " + std::to_string(image.width));
    const std::vector<IconImage> chosen = imagesForIds(images);
    if (chosen.empty())
        return false;

    Bytes file;
    PeImage image;
    if (!readFile(exe, &file) || !image.load(std::move(file))) {
        log("cannot read the executable's resources");
        return true;
    }
    NameMap &icons = image.resources()[ResourceId(rtIcon)];
    for (int j = 0; j < iconImageCount; ++j) {
        const IconImage &source = chosen[j];
        icons[ResourceId(std::uint16_t(iconImageCount - j))][iconLanguage].data.assign(
            icon.begin() + source.offset, icon.begin() + source.offset + source.size);
    }
    if (!saveImage(image, exe))
        log("cannot write the executable's resources");
    return true;
}

bool carriesBranding(const std::filesystem::path &iconFile, const std::filesystem::path &exe,
                     const std::u16string &description)
{
    Bytes icon, file;
    std::vector<IconImage> images;
    PeImage image;
    if (!readFile(iconFile, &icon) || !readIconDirectory(icon, &images) || !readFile(exe, &file)
        || !image.load(std::move(file)))
        return false;
    const std::vector<IconImage> chosen = imagesForIds(images);
    if (chosen.empty())
        return false;
    for (int j = 0; j < iconImageCount; ++j) {
        const Bytes wanted(icon.begin() + chosen[j].offset, icon.begin() + chosen[j].offset + chosen[j].size);
        if (resourceData(image, rtIcon, std::uint16_t(iconImageCount - j), iconLanguage) != wanted)
            return false;
    }
    const ResourceData *version = firstVersionResource(image);
    VersionNode root;
    if (!version || !parseVersionInfo(version->data.data(), version->data.size(), &root))
        return false;
    const VersionNode *current = findString(root, descriptionTable, u"FileDescription");
    return current && textOf(*current) == description;
}

void describe(VersionNode &root, const std::u16string &description, std::u16string *old)
{
    if (const VersionNode *current = findString(root, descriptionTable, u"FileDescription")) {
        *old = textOf(*current);
        setString(root, descriptionTable, u"FileDescription", description);
    }
}

Bytes describedVersionBlock(const std::uint8_t *block, std::size_t size, const std::u16string &description,
                            std::u16string *old)
{
    VersionNode root;
    if (!parseVersionInfo(block, size, &root))
        return Bytes();
    describe(root, description, old);
    return buildVersionInfo(root);
}

int changeFileInfo(const std::filesystem::path &exe, const std::u16string &description, const Log &log)
{
    Bytes file;
    PeImage image;
    if (!readFile(exe, &file) || !image.load(std::move(file)))
        return 0;
    const ResourceData *version = firstVersionResource(image);
    VersionNode root;
    if (!version || !parseVersionInfo(version->data.data(), version->data.size(), &root))
        return 0;
    const std::vector<std::uint32_t> languages = translations(root);
    if (languages.empty())
        return 0;
    const std::uint16_t language = std::uint16_t(languages.front());
    log("VerQueryValue 0 " + std::to_string(language) + " " + std::to_string(languages.front() >> 16));

    std::u16string old;
    describe(root, description, &old);
    if (!old.empty())
        log("FileDescription: " + utf8(old));
    Bytes block = buildVersionInfo(root);
    if (block.empty())
        return 0;
    image.resources()[ResourceId(rtVersion)][ResourceId(1)][language].data = std::move(block);
    if (!saveImage(image, exe))
        return 0;
    log("UpdateResource");
    return 1;
}

} // namespace pe
