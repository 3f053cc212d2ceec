#include "driver/driverManager.h"

#include <cstring>
#include <utility>
#include <vector>

#include "driver/boundedText.h"
#include "driver/driverGuard.h"

DriverManager* driverManager = nullptr;
IASIO* activeDriver = nullptr;

DriverManager::DriverManager()
{
    scanInstalledDrivers();
}

DriverManager::DriverManager(const CLSID& clsid, const char* name)
{
    // The one driver is listed as a scan that found it would list it.
    entries = new DriverEntry{};
    entries->clsid = clsid;
    copyText(entries->name, name);
    count = 1;
}

DriverManager::~DriverManager()
{
    freeEntries(entries);
}

DriverEntry* DriverManager::entryAt(std::int32_t index) const
{
    for (DriverEntry* entry = entries; entry != nullptr; entry = entry->next)
        if (entry->index == index)
            return entry;
    return nullptr;
}

namespace {

// The entry's short name in buffer[0..capacity), capacity > 0.
void copyShortName(const DriverEntry& entry, char* buffer, std::int32_t capacity)
{
    const std::size_t length = std::strlen(entry.name);
    if (length < static_cast<std::size_t>(capacity)) {
        std::memcpy(buffer, entry.name, length + 1);
    } else if (capacity >= 4) {
        const std::size_t kept = static_cast<std::size_t>(capacity) - 4;
        std::memcpy(buffer, entry.name, kept);
        std::memcpy(buffer + kept, "...", 4);
    } else {
        // Too small for the shortened form: as much of "..." as fits.
        std::memcpy(buffer, "...", static_cast<std::size_t>(capacity) - 1);
        buffer[capacity - 1] = '\0';
    }
}

} // namespace

void DriverManager::driverName(std::int32_t index, char* buffer, std::int32_t capacity) const
{
    const DriverEntry* entry = entryAt(index);
    if (buffer != nullptr && entry != nullptr && capacity > 0)
        copyShortName(*entry, buffer, capacity);
}

void DriverManager::currentDriverName(char* buffer) const
{
    buffer[0] = '\0';
    if (currentIndex >= 0)
        driverName(currentIndex, buffer, shortNameCapacity);
}

std::int32_t DriverManager::firstIndexNamed(const char* name) const
{
    // The entries are numbered in list order: one walk finds the first.
    char shortName[shortNameCapacity];
    for (const DriverEntry* entry = entries; entry != nullptr; entry = entry->next) {
        copyShortName(*entry, shortName, shortNameCapacity);
        if (std::strcmp(shortName, name) == 0)
            return entry->index;
    }
    return -1;
}

const DriverEntry* DriverManager::entryNamed(const char* name) const
{
    return entryAt(firstIndexNamed(name));
}

bool DriverManager::openDriver(const char* name)
{
    if (count <= 0)
        return false;
    const std::int32_t match = firstIndexNamed(name);
    if (match < 0)
        return false;

    // Told by the index: a current driver's name may be empty.
    const bool hadCurrent = currentIndex >= 0;
    char previousName[shortNameCapacity];
    currentDriverName(previousName);
    closeCurrent();
    if (openEntry(match))
        return true;

    activeDriver = nullptr;
    // Reopen the driver that was current; in this nested call none is
    // current any more, so the restore goes no deeper.
    if (hadCurrent && std::strcmp(previousName, name) != 0)
        openDriver(previousName);
    return false;
}

void DriverManager::closeCurrent()
{
    if (currentIndex != -1)
        closeEntry(currentIndex);
    currentIndex = -1;
}

void DriverManager::abandonCurrent()
{
    if (DriverEntry* entry = entryAt(currentIndex))
        entry->instance = nullptr;
    currentIndex = -1;
    activeDriver = nullptr;
}

bool DriverManager::openEntry(std::int32_t index)
{
    DriverEntry* entry = entryAt(index);
    if (entry == nullptr || entry->instance != nullptr)
        return false;
    // The driver's class id doubles as the id of its interface.
    void* object = nullptr;
    const HRESULT result = callDriver(
        "CoCreateInstance", [entry, &object] { return platform::createInstance(entry->clsid, entry->clsid, &object); });
    activeDriver = static_cast<IASIO*>(object);
    if (result != S_OK)
        return false;
    entry->instance = activeDriver;
    currentIndex = index;
    return true;
}

void DriverManager::closeEntry(std::int32_t index)
{
    DriverEntry* entry = entryAt(index);
    if (entry == nullptr || entry->instance == nullptr)
        return;
    // The entry lets go first, so that a driver faulting in Release is not
    // held, nor released, again.
    IASIO* instance = std::exchange(entry->instance, nullptr);
    callDriver("Release", [instance] { instance->Release(); });
}

void DriverManager::freeEntries(DriverEntry* entry)
{
    // Tail first, without recursion, so that a long list cannot exhaust
    // the stack.
    std::vector<DriverEntry*> list;
    for (; entry != nullptr; entry = entry->next)
        list.push_back(entry);
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        // Every report closes its driver, so nothing is normally held here;
        // with no report left to end, a fault in Release is only survived.
        if (IASIO* instance = (*it)->instance) {
            auto release = [instance] { instance->Release(); };
            std::uint32_t faultCode;
            runGuardedCall(release, &faultCode);
        }
        delete *it;
    }
}
