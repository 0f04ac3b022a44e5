#pragma once

#include "bytes.h"

namespace pe {

// One image of an ICO file, as its directory entry describes it.
struct IconImage
{
    std::uint8_t width = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t size = 0;
    std::uint32_t offset = 0;
};

// The directory of an ICO file. False when the file is not an icon file or an image
// lies outside it.
bool readIconDirectory(const Bytes &file, std::vector<IconImage> *images);

// The images that replace an executable's icon images 7 down to 1: the last seven
// 32-bit images of the file in file order, the last of them repeated where fewer
// exist. Empty when the file has no 32-bit image.
std::vector<IconImage> imagesForIds(const std::vector<IconImage> &images);

// Executables carry their icon images under these identifiers, in this language.
const int iconImageCount = 7;
const std::uint16_t iconLanguage = 1033;

} // namespace pe
