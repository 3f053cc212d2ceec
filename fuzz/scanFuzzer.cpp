// Guards against a registry scan that crashes, reads or writes out of bounds, leaks, leaves a key open, lists
// other drivers than each driver's own class lookup would, or a driver manager that opens the wrong driver or keeps
// more than one: whatever an installer wrote. Each input is .reg text (see testing/standIn.h), seeded with the
// end-to-end scenarios; classes with a fake driver script can be created.
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "driver/asioCalls.h"
#include "driver/driverGuard.h"
#include "driver/driverManager.h"
#include "fuzzCheck.h"
#include "platform/memory/memoryPlatform.h"
#include "testing/literalClassLookup.h"
#include "testing/standIn.h"

namespace {

// The list holds count entries numbered 0, 1, ... in order, each with its
// name ended within its field and no object yet.
void checkList(const DriverManager& manager)
{
    std::int32_t expectedIndex = 0;
    for (const DriverEntry* entry = manager.firstEntry(); entry != nullptr; entry = entry->next) {
        require(entry->index == expectedIndex, "indices run 0, 1, ... in list order");
        require(std::memchr(entry->name, '\0', sizeof entry->name) != nullptr, "name ended within its field");
        require(entry->instance == nullptr, "no driver object after the scan");
        ++expectedIndex;
    }
    require(manager.driverCount() == expectedIndex, "count equals the list's length");
}

// The class lookup shared across the scan finds what a lookup of its own
// per driver finds: the same entries, in the same order.
void checkAgainstLiteralLookup(const DriverManager& manager)
{
    DriverEntry* literalList = readInstalledDrivers(literalFindServerPath);
    const DriverEntry* entry = manager.firstEntry();
    for (const DriverEntry* literal = literalList; literal != nullptr; literal = literal->next) {
        require(entry != nullptr && entry->index == literal->index && sameGuid(entry->clsid, literal->clsid) &&
                    std::strcmp(entry->name, literal->name) == 0,
                "the scan lists what the literal class lookup lists");
        entry = entry->next;
    }
    require(entry == nullptr, "the scan lists no more than the literal class lookup");
    while (literalList != nullptr)
        delete std::exchange(literalList, literalList->next);
}

// Opens every listed driver by its short name, one after the other
// without closing in between, as a host switching drivers would: the one
// opened is the first of that name, and a failed open leaves the one
// before it current. A driver that faults is let go.
void openEachByName(DriverManager& manager, const fake::Log& log)
{
    driverManager = &manager;
    for (std::int32_t index = 0; index < manager.driverCount(); ++index) {
        char name[shortNameCapacity];
        manager.driverName(index, name, shortNameCapacity);
        std::int32_t first = 0;
        char other[shortNameCapacity];
        do
            manager.driverName(first++, other, shortNameCapacity);
        while (std::strcmp(other, name) != 0);
        --first;
        const std::int32_t before = manager.currentDriverIndex();
        try {
            if (manager.openDriver(name))
                require(manager.currentDriverIndex() == first && activeDriver != nullptr,
                        "opened the first of that name");
            else
                require(manager.currentDriverIndex() == before, "a failed open leaves the driver before it current");
        } catch (const DriverCrash&) {
            require(manager.currentDriverIndex() == -1 && activeDriver == nullptr, "a driver that faulted is let go");
        }
        require(log.open == (manager.currentDriverIndex() >= 0 ? 1 : 0), "only the current driver is open");
    }
    try {
        ASIOExit();
    } catch (const DriverCrash&) {
    }
    require(manager.currentDriverIndex() == -1 && log.open == 0, "closing releases the current driver");
    driverManager = nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    memory::reset();
    activeDriver = nullptr;
    fake::Log log;
    standIn::importRegistry(std::string(reinterpret_cast<const char*>(data), size));
    standIn::registerScriptedDrivers(log);
    {
        DriverManager manager;
        require(memory::openKeyCount() == 0, "the scan closes every key it opens");
        checkList(manager);
        checkAgainstLiteralLookup(manager);
        require(memory::openKeyCount() == 0, "the literal lookup closes every key it opens");
        platform::startCom();
        openEachByName(manager, log);
        platform::endCom();
        require(memory::openKeyCount() == 0, "opening drivers leaves no key open");
    }
    require(memory::comDepth() == 0, "COM ended");
    for (const std::string& mistake : fake::hostMistakes(log.events))
        require(false, mistake.c_str());
    memory::reset();
    return 0;
}
