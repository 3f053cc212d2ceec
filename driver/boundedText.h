// Text in fixed-size fields: every copy is bounded by the field and always
// leaves it terminated.
#pragma once

#include <cstddef>
#include <cstring>

// Copies source into field[0..capacity), cutting it when it does not fit.
inline void copyText(char* field, std::size_t capacity, const char* source)
{
    if (capacity == 0)
        return;
    std::size_t length = 0;
    while (length + 1 < capacity && source[length] != '\0')
        ++length;
    std::memcpy(field, source, length);
    field[length] = '\0';
}

template <std::size_t capacity>
void copyText(char (&field)[capacity], const char* source)
{
    copyText(field, capacity, source);
}

// The length of the text in field[0..capacity): up to its terminator, or
// the whole field when a driver left it unterminated.
inline std::size_t fieldLength(const char* field, std::size_t capacity)
{
    const void* end = std::memchr(field, '\0', capacity);
    return end == nullptr ? capacity : static_cast<std::size_t>(static_cast<const char*>(end) - field);
}
