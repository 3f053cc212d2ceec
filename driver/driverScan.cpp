// Building the driver list from the registry: one entry per registration
// under HKEY_LOCAL_MACHINE\software\asio whose class is registered with an
// in-process server, in the order the registry enumerates them.
#include <cstring>

#include "driver/boundedText.h"
#include "driver/classLookup.h"
#include "driver/driverScan.h"
#include "driver/registryText.h"

using platform::registryOk;
using platform::RegKey;

namespace {

// Registry key names have at most 255 characters.
constexpr std::uint32_t keyNameCapacity = 256;
constexpr std::uint32_t valueCapacity = 256;

DriverEntry* readDriverEntry(RegKey parentKey, const char* subkeyName, std::int32_t index,
                             const ServerLookup& findServerPath)
{
    RegKey driverKey;
    if (platform::openSubkey(parentKey, subkeyName, &driverKey) != registryOk)
        return nullptr;

    char text[valueCapacity];
    if (!readRegistryText(driverKey, "clsid", text, sizeof text)) {
        platform::closeKey(driverKey);
        return nullptr;
    }
    platform::lowerText(text, static_cast<std::uint32_t>(std::strlen(text)));
    if (!findServerPath(text)) {
        platform::closeKey(driverKey);
        return nullptr;
    }

    auto* entry = new DriverEntry{};
    entry->index = index;
    CLSID clsid;
    if (platform::parseClassId(text, &clsid))
        entry->clsid = clsid;
    copyText(entry->name, readRegistryText(driverKey, "description", text, sizeof text) ? text : subkeyName);
    platform::closeKey(driverKey);
    return entry;
}

// Appends an entry for the driver registered under parentKey\subkeyName to
// list when the registration is usable, and returns the list. index is the
// position of list's first entry.
DriverEntry* makeDriverEntry(RegKey parentKey, const char* subkeyName, std::int32_t index, DriverEntry* list,
                             const ServerLookup& findServerPath)
{
    // The new entry goes at the tail, numbered after the entries before it.
    DriverEntry** tail = &list;
    for (; *tail != nullptr; tail = &(*tail)->next)
        ++index;
    *tail = readDriverEntry(parentKey, subkeyName, index, findServerPath);
    return list;
}

} // namespace

DriverEntry* readInstalledDrivers(const ServerLookup& findServerPath)
{
    DriverEntry* entries = nullptr;
    RegKey asioKey;
    if (platform::openRootKey(platform::RootKey::localMachine, "software\\asio", &asioKey) == registryOk) {
        char name[keyNameCapacity];
        for (std::uint32_t i = 0; platform::enumSubkey(asioKey, i, name, sizeof name) == registryOk; ++i)
            entries = makeDriverEntry(asioKey, name, 0, entries, findServerPath);
        platform::closeKey(asioKey);
    }
    return entries;
}

void DriverManager::scanInstalledDrivers()
{
    // One lookup for the whole scan, so that the class registry is
    // enumerated at most once however many drivers there are.
    ClassLookup classes;
    entries = readInstalledDrivers([&classes](const char* clsidText) { return classes.findServerPath(clsidText); });
    count = 0;
    for (const DriverEntry* entry = entries; entry != nullptr; entry = entry->next)
        ++count;
    currentIndex = -1;
}
