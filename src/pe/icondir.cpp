#include "icondir.h"

namespace pe {

bool readIconDirectory(const Bytes &file, std::vector<IconImage> *images)
{
    Reader r(file);
    const int count = r.u16(4);
    if (!r.ok() || r.u16(0) != 0 || r.u16(2) != 1)
        return false;
    images->clear();
    for (int i = 0; i < count; ++i) {
        const std::size_t at = 6 + 16 * std::size_t(i);
        IconImage image{r.u8(at), r.u16(at + 6), r.u32(at + 8), r.u32(at + 12)};
        if (!r.ok() || !r.has(image.offset, image.size))
            return false;
        images->push_back(image);
    }
    return true;
}

std::vector<IconImage> imagesForIds(const std::vector<IconImage> &images)
{
    std::vector<IconImage> deep;
    for (const IconImage &image : images) {
        if (image.bitCount == 32)
            deep.push_back(image);
    }
    if (deep.size() > std::size_t(iconImageCount))
        deep.erase(deep.begin(), deep.end() - iconImageCount);
    while (!deep.empty() && deep.size() < std::size_t(iconImageCount))
        deep.push_back(deep.back());
    return deep;
}

} // namespace pe
