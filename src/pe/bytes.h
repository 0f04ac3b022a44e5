#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pe {

using Bytes = std::vector<std::uint8_t>;

// Little-endian access to a byte buffer. Reads outside the buffer give 0 and clear
// ok(), so a parser can read a whole structure and check once.
class Reader
{
public:
    Reader(const std::uint8_t *data, std::size_t size)
        : data(data)
        , size(size)
    {
    }
    explicit Reader(const Bytes &bytes)
        : Reader(bytes.data(), bytes.size())
    {
    }

    std::uint8_t u8(std::size_t at);
    std::uint16_t u16(std::size_t at);
    std::uint32_t u32(std::size_t at);
    // UTF-16 text of count units.
    std::u16string text(std::size_t at, std::size_t count);
    bool has(std::size_t at, std::size_t count) const { return at <= size && count <= size - at; }
    bool ok() const { return good; }

private:
    const std::uint8_t *data;
    std::size_t size;
    bool good = true;
};

void put16(Bytes &bytes, std::size_t at, std::uint16_t value);
void put32(Bytes &bytes, std::size_t at, std::uint32_t value);
void append16(Bytes &bytes, std::uint16_t value);
void append32(Bytes &bytes, std::uint32_t value);
void appendText(Bytes &bytes, const std::u16string &text);
void padTo(Bytes &bytes, std::size_t alignment);

inline std::uint32_t alignUp(std::uint32_t value, std::uint32_t alignment)
{
    return alignment ? (value + alignment - 1) / alignment * alignment : value;
}

} // namespace pe
