// The fuzz input, read front to back as the choices that build one case.
// Past its end every read yields zeros, so any input, the empty one
// included, builds a whole case, and a seed can be written by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : data(data)
        , size(size)
    {
    }

    std::uint8_t byte() { return position < size ? data[position++] : 0; }

    bool flag() { return (byte() & 1) != 0; }

    // A number in [0, limit); limit is at most 256.
    std::uint32_t below(std::uint32_t limit) { return byte() % limit; }

    // Four bytes, least significant first.
    std::int32_t int32()
    {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8)
            value |= static_cast<std::uint32_t>(byte()) << shift;
        return static_cast<std::int32_t>(value);
    }

    // A length of two bytes (least significant first), cut to at most
    // maxLength, then that many bytes of any value.
    std::string bytes(std::size_t maxLength)
    {
        std::size_t length = byte();
        length |= static_cast<std::size_t>(byte()) << 8;
        length %= maxLength + 1;
        std::string text;
        for (std::size_t i = 0; i < length; ++i)
            text += static_cast<char>(byte());
        return text;
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position = 0;
};
