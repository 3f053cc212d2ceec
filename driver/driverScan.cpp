// Building the driver list from the registry: one entry per registration
// under HKEY_LOCAL_MACHINE\software\asio whose class is registered with an
// in-process server, in the order the registry enumerates them.
#include <cstring>

#include "driver/boundedText.h"
#include "driver/driverManager.h"

using platform::registryOk;
using platform::RegKey;

namespace {

// Registry key names have at most 255 characters.
constexpr std::uint32_t keyNameCapacity = 256;
constexpr std::uint32_t valueCapacity = 256;
constexpr std::uint32_t classNameCapacity = 512;
constexpr std::uint32_t serverPathCapacity = 512;

// Reads a value as text. The registry adds no terminator to a value stored
// without one, so the text is ended within the buffer here; a value that
// fills the whole buffer loses its last byte.
bool readText(RegKey key, const char* valueName, char* buffer, std::uint32_t capacity)
{
    std::uint32_t size = capacity;
    if (platform::queryValue(key, valueName, buffer, &size) != registryOk)
        return false;
    buffer[size < capacity ? size : capacity - 1] = '\0';
    return true;
}

void lowerInPlace(char* text)
{
    platform::lowerText(text, static_cast<std::uint32_t>(std::strlen(text)));
}

// The server test for the class key clsidKey\className: its InprocServer32
// default value is readable and names a file the file test accepts.
bool classHasServer(RegKey clsidKey, const char* className)
{
    RegKey classKey;
    if (platform::openSubkey(clsidKey, className, &classKey) != registryOk)
        return false;
    RegKey serverKey;
    if (platform::openSubkey(classKey, "InprocServer32", &serverKey) != registryOk) {
        platform::closeKey(classKey);
        return false;
    }
    char path[serverPathCapacity];
    const bool found = readText(serverKey, nullptr, path, sizeof path) && platform::testFile(path) != 0;
    platform::closeKey(serverKey);
    platform::closeKey(classKey);
    return found;
}

DriverEntry* readDriverEntry(RegKey parentKey, const char* subkeyName, std::int32_t index)
{
    RegKey driverKey;
    if (platform::openSubkey(parentKey, subkeyName, &driverKey) != registryOk)
        return nullptr;

    char text[valueCapacity];
    if (!readText(driverKey, "clsid", text, sizeof text)) {
        platform::closeKey(driverKey);
        return nullptr;
    }
    lowerInPlace(text);
    if (!findServerPath(text)) {
        platform::closeKey(driverKey);
        return nullptr;
    }

    auto* entry = new DriverEntry{};
    entry->index = index;
    CLSID clsid;
    if (platform::parseClassId(text, &clsid))
        entry->clsid = clsid;
    copyText(entry->name, readText(driverKey, "description", text, sizeof text) ? text : subkeyName);
    platform::closeKey(driverKey);
    return entry;
}

} // namespace

bool findServerPath(const char* clsidText)
{
    RegKey clsidKey;
    if (platform::openRootKey(platform::RootKey::classesRoot, "clsid", &clsidKey) != registryOk)
        return false;
    bool found = false;
    char name[classNameCapacity];
    char lowered[classNameCapacity];
    for (std::uint32_t j = 0; platform::enumSubkey(clsidKey, j, name, sizeof name) == registryOk; ++j) {
        copyText(lowered, name);
        lowerInPlace(lowered);
        if (std::strcmp(lowered, clsidText) == 0) {
            found = classHasServer(clsidKey, name);
            break;
        }
    }
    platform::closeKey(clsidKey);
    return found;
}

DriverEntry* makeDriverEntry(RegKey parentKey, const char* subkeyName, std::int32_t index, DriverEntry* list)
{
    // The new entry goes at the tail, numbered after the entries before it.
    DriverEntry** tail = &list;
    for (; *tail != nullptr; tail = &(*tail)->next)
        ++index;
    *tail = readDriverEntry(parentKey, subkeyName, index);
    return list;
}

void DriverManager::scanInstalledDrivers()
{
    entries = nullptr;
    count = 0;
    RegKey asioKey;
    if (platform::openRootKey(platform::RootKey::localMachine, "software\\asio", &asioKey) == registryOk) {
        char name[keyNameCapacity];
        for (std::uint32_t i = 0; platform::enumSubkey(asioKey, i, name, sizeof name) == registryOk; ++i)
            entries = makeDriverEntry(asioKey, name, 0, entries);
        platform::closeKey(asioKey);
    }
    for (const DriverEntry* entry = entries; entry != nullptr; entry = entry->next)
        ++count;
    if (count != 0)
        platform::startCom();
    currentIndex = -1;
}
