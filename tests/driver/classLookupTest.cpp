// Guards against a shared class lookup that lists other drivers than each driver's own lookup would, or that pays
// for the class registry more than once.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "driver/classLookup.h"
#include "driver/driverManager.h"
#include "platform/memory/memoryPlatform.h"
#include "testing/literalClassLookup.h"

using platform::RootKey;

namespace {

std::string describe(DriverEntry* entries)
{
    std::string text;
    while (entries != nullptr) {
        char clsid[40];
        std::snprintf(clsid, sizeof clsid, "%08x", static_cast<unsigned>(entries->clsid.Data1));
        text += std::to_string(entries->index) + " " + clsid + " " + entries->name + "\n";
        delete std::exchange(entries, entries->next);
    }
    return text;
}

// Scans with the literal lookup and with the shared one, expects the same
// list, and returns the registry calls each made.
std::pair<std::uint64_t, std::uint64_t> expectSameScan()
{
    const std::uint64_t before = platform::registryCallCount();
    const std::string literal = describe(readInstalledDrivers(literalFindServerPath));
    const std::uint64_t between = platform::registryCallCount();
    ClassLookup classes;
    const std::string shared =
        describe(readInstalledDrivers([&classes](const char* text) { return classes.findServerPath(text); }));
    EXPECT_EQ(shared, literal);
    EXPECT_EQ(memory::openKeyCount(), 0);
    return {between - before, platform::registryCallCount() - between};
}

void addClass(const std::string& name)
{
    memory::setText(RootKey::classesRoot, "CLSID\\" + name + "\\InprocServer32", "", "server.dll");
}

void addDriver(const std::string& subkey, const std::string& clsidText)
{
    memory::setText(RootKey::localMachine, "SOFTWARE\\ASIO\\" + subkey, "CLSID", clsidText);
}

// Random registries drawn from a small pool of names, so that drivers and
// classes meet often: class ids in any case, stale ones, odd names and
// paths, class keys without a usable server, and now and then a name at
// the edge of the enumeration's buffer: one too long ends the enumeration
// for both lookups, even for a class a direct open would find.
TEST(ClassLookupTest, AgreesWithTheLiteralLookupOnRandomRegistries)
{
    std::mt19937 random(20261206);
    const auto chance = [&random](int percent) { return static_cast<int>(random() % 100) < percent; };
    const auto randomCase = [&random](std::string text) {
        for (char& c : text)
            if (random() % 2 != 0 && c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return text;
    };
    std::vector<std::string> pool = {"", "odd", "{}", "{0000}", "x\\y", "{00000000-abcd-ef01-2345-000000000000}\\"};
    for (int n = 0; n < 40; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "{%08x-abcd-ef01-2345-%012x}", n * 7919, n);
        pool.push_back(name);
    }
    for (int round = 0; round < 300; ++round) {
        memory::reset();
        const int classCount = static_cast<int>(random() % 30);
        for (int n = 0; n < classCount; ++n) {
            const std::string name = randomCase(pool[random() % pool.size()]);
            if (name.empty() || name.find('\\') != std::string::npos)
                continue;
            if (chance(10))
                memory::addKey(RootKey::classesRoot, "CLSID\\" + name);
            else if (chance(10))
                memory::setValue(RootKey::classesRoot, "CLSID\\" + name + "\\InprocServer32", "",
                                 std::string(513, 's'));
            else
                addClass(name);
            // A name of 510 to 513 bytes: up to 511 fit the buffer.
            if (chance(3))
                memory::addKey(RootKey::classesRoot,
                               "CLSID\\" + name + std::string(510 + random() % 4 - name.size(), 'l'));
        }
        const int driverCount = static_cast<int>(random() % 20);
        for (int n = 0; n < driverCount; ++n)
            addDriver("driver" + std::to_string(n), randomCase(pool[random() % pool.size()]));
        SCOPED_TRACE("round " + std::to_string(round));
        expectSameScan();
        if (HasFailure())
            break;
    }
    memory::reset();
}

// Canonical class ids are opened directly, so that even a registration
// whose class is gone costs no enumeration of the class registry.
TEST(ClassLookupTest, CanonicalClassIdsCostNoEnumeration)
{
    memory::reset();
    const int classes = 2000;
    const int drivers = 100;
    char name[64];
    for (int n = 0; n < classes; ++n) {
        std::snprintf(name, sizeof name, "{%08x-0000-0000-0000-000000000000}", n);
        addClass(name);
    }
    // A name as long as the enumeration's buffer holds keeps the direct
    // open exact.
    memory::addKey(RootKey::classesRoot, "CLSID\\" + std::string(511, 'x'));
    // Every tenth driver is stale.
    for (int n = 0; n < drivers; ++n) {
        std::snprintf(name, sizeof name, "{%08x-0000-0000-0000-000000000000}", n % 10 == 0 ? classes + n : n * 19);
        addDriver("d" + std::to_string(1000 + n), name);
    }
    const auto [literalCalls, sharedCalls] = expectSameScan();
    EXPECT_LT(sharedCalls, static_cast<std::uint64_t>(10 * drivers));
    EXPECT_GT(literalCalls, static_cast<std::uint64_t>(10 * classes));
    memory::reset();
}

} // namespace
