#pragma once

#include <cstdint>

#include "platform/platform.h"

// Reads a registry value as text into buffer[0..capacity). The registry
// adds no terminator to a value stored without one, so the text is ended
// within the buffer here; a value that fills the whole buffer loses its
// last byte. False when the value is missing or larger than the buffer.
inline bool readRegistryText(platform::RegKey key, const char* valueName, char* buffer, std::uint32_t capacity)
{
    std::uint32_t size = capacity;
    if (platform::queryValue(key, valueName, buffer, &size) != platform::registryOk)
        return false;
    buffer[size < capacity ? size : capacity - 1] = '\0';
    return true;
}
