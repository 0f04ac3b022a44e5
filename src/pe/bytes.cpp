#include "bytes.h"

namespace pe {

std::uint8_t Reader::u8(std::size_t at)
{
    if (!has(at, 1)) {
        good = false;
        return 0;
    }
    return data[at];
}

std::uint16_t Reader::u16(std::size_t at)
{
    if (!has(at, 2)) {
        good = false;
        return 0;
    }
    return std::uint16_t(data[at] | data[at + 1] << 8);
}

std::uint32_t Reader::u32(std::size_t at)
{
    if (!has(at, 4)) {
        good = false;
        return 0;
    }
    return std::uint32_t(data[at]) | std::uint32_t(data[at + 1]) << 8 | std::uint32_t(data[at + 2]) << 16
           | std::uint32_t(data[at + 3]) << 24;
}

std::u16string Reader::text(std::size_t at, std::size_t count)
{
    if (!has(at, count * 2)) {
        good = false;
        return std::u16string();
    }
    std::u16string result(count, u'\0');
    for (std::size_t i = 0; i < count; ++i)
        result[i] = char16_t(data[at + 2 * i] | data[at + 2 * i + 1] << 8);
    return result;
}

void put16(Bytes &bytes, std::size_t at, std::uint16_t value)
{
    bytes[at] = std::uint8_t(value);
    bytes[at + 1] = std::uint8_t(value >> 8);
}

void put32(Bytes &bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = std::uint8_t(value >> (8 * i));
}

void append16(Bytes &bytes, std::uint16_t value)
{
    bytes.push_back(std::uint8_t(value));
    bytes.push_back(std::uint8_t(value >> 8));
}

void append32(Bytes &bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(std::uint8_t(value >> (8 * i)));
}

void appendText(Bytes &bytes, const std::u16string &text)
{
    for (char16_t c : text)
        append16(bytes, std::uint16_t(c));
}

void padTo(Bytes &bytes, std::size_t alignment)
{
    while (bytes.size() % alignment)
        bytes.push_back(0);
}

} // namespace pe
