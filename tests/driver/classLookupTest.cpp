#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "driver/classLookup.h"
#include "driver/driverManager.h"
#include "support/literalClassLookup.h"
#include "support/standIn.h"

using platform::RootKey;

namespace {

std::string describe(const DriverEntry* entries)
{
    std::string text;
    for (const DriverEntry* entry = entries; entry != nullptr; entry = entry->next)
        text += std::to_string(entry->index) + " " + classIdText(entry->clsid) + " \"" + entry->name + "\"\n";
    return text;
}

void freeList(DriverEntry* entry)
{
    while (entry != nullptr)
        delete std::exchange(entry, entry->next);
}

struct Scans {
    std::string literal;
    std::string shared;
    std::uint64_t literalCalls;
    std::uint64_t sharedCalls;
};

Scans scanBothWays()
{
    const std::uint64_t before = platform::registryCallCount();
    DriverEntry* literal = readInstalledDrivers(literalFindServerPath);
    const std::uint64_t between = platform::registryCallCount();
    ClassLookup classes;
    DriverEntry* shared = readInstalledDrivers([&classes](const char* text) { return classes.findServerPath(text); });
    const Scans scans{describe(literal), describe(shared), between - before, platform::registryCallCount() - between};
    freeList(literal);
    freeList(shared);
    EXPECT_EQ(memory::openKeyCount(), 0);
    return scans;
}

void addClass(const std::string& name, const std::string& server)
{
    memory::setText(RootKey::classesRoot, "CLSID\\" + name + "\\InprocServer32", "", server);
    memory::addFile(server);
}

void addDriver(const std::string& subkey, const std::string& clsidText)
{
    memory::setText(RootKey::localMachine, "SOFTWARE\\ASIO\\" + subkey, "CLSID", clsidText);
}

class ClassLookupTest : public StandInTest { };

TEST_F(ClassLookupTest, AgreesWithTheLiteralLookupOnAwkwardRegistries)
{
    const std::string a = "{0000000a-0000-0000-0000-0000000000aa}";
    const std::string b = "{0000000B-0000-0000-0000-0000000000BB}";
    addClass(a, "a.dll");
    addClass(b, "b.dll");
    addClass("not a class id", "odd.dll");
    addClass("{ÄÖ}", "umlaut.dll");
    memory::addKey(RootKey::classesRoot, "CLSID\\{0000000c-0000-0000-0000-0000000000cc}");
    memory::setValue(RootKey::classesRoot, "CLSID\\{0000000d-0000-0000-0000-0000000000dd}\\InprocServer32", "",
                     std::string(513, 'p'));
    addDriver("01 lower", a);
    addDriver("02 upper", "{0000000A-0000-0000-0000-0000000000AA}");
    addDriver("03 mixed", "{0000000b-0000-0000-0000-0000000000Bb}");
    addDriver("04 backslash", a + "\\InprocServer32");
    addDriver("05 trailing backslash", a + "\\");
    addDriver("06 empty", "");
    addDriver("07 stale", "{0000000e-0000-0000-0000-0000000000ee}");
    addDriver("08 not a class id", "NOT A CLASS ID");
    addDriver("09 umlaut", "{ÄÖ}");
    addDriver("10 no server key", "{0000000c-0000-0000-0000-0000000000cc}");
    addDriver("11 server too long", "{0000000d-0000-0000-0000-0000000000dd}");
    addDriver("12 braces only", "{}");

    const Scans scans = scanBothWays();
    EXPECT_EQ(scans.shared, scans.literal);
    EXPECT_NE(scans.literal.find("\"02 upper\""), std::string::npos) << scans.literal;
}

TEST_F(ClassLookupTest, NameTooLongForTheBufferEndsTheEnumerationForBoth)
{
    // Sorted after the first class and before the second: the literal
    // lookup never reaches the second, so neither may the shared one, not
    // even by opening it directly.
    addClass("{00000001-0000-0000-0000-000000000000}", "first.dll");
    memory::addKey(RootKey::classesRoot, "CLSID\\{00000002" + std::string(600, 'x'));
    addClass("{00000003-0000-0000-0000-000000000000}", "second.dll");
    addDriver("first", "{00000001-0000-0000-0000-000000000000}");
    addDriver("second", "{00000003-0000-0000-0000-000000000000}");

    const Scans scans = scanBothWays();
    EXPECT_EQ(scans.shared, scans.literal);
    EXPECT_EQ(scans.literal, "0 {00000001-0000-0000-0000-000000000000} \"first\"\n");
}

TEST_F(ClassLookupTest, ClassRegistryIsEnumeratedAtMostOnce)
{
    const int classes = 2000;
    const int drivers = 100;
    char name[64];
    for (int n = 0; n < classes; ++n) {
        std::snprintf(name, sizeof name, "{%08x-0000-0000-0000-000000000000}", n);
        addClass(name, "server.dll");
    }
    // Every tenth driver is stale, so the shared lookup has to enumerate
    // the whole class registry once.
    for (int n = 0; n < drivers; ++n) {
        std::snprintf(name, sizeof name, "{%08x-0000-0000-0000-000000000000}", n % 10 == 0 ? classes + n : n * 19);
        char subkey[16];
        std::snprintf(subkey, sizeof subkey, "d%03d", n);
        addDriver(subkey, name);
    }
    const Scans scans = scanBothWays();
    EXPECT_EQ(scans.shared, scans.literal);
    EXPECT_LT(scans.sharedCalls, static_cast<std::uint64_t>(classes + 20 * drivers));
    EXPECT_GT(scans.literalCalls, static_cast<std::uint64_t>(10 * classes));
}

// Random registries drawn from a small pool of names, so that drivers and
// classes meet often: class ids in any case, stale ones, odd names, class
// keys without a usable server, and now and then a name too long for the
// enumeration buffer.
TEST_F(ClassLookupTest, AgreesWithTheLiteralLookupOnRandomRegistries)
{
    std::mt19937 random(20261206);
    const auto chance = [&random](int percent) { return static_cast<int>(random() % 100) < percent; };
    const auto randomCase = [&random](std::string text) {
        for (char& c : text)
            if (random() % 2 != 0 && c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return text;
    };
    std::vector<std::string> pool;
    for (int n = 0; n < 40; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "{%08x-abcd-ef01-2345-%012x}", n * 7919, n);
        pool.push_back(name);
    }
    pool.insert(pool.end(), {"odd", "{}", "{0000}", "x\\y"});

    for (int round = 0; round < 300; ++round) {
        memory::reset();
        const int classCount = static_cast<int>(random() % 30);
        for (int n = 0; n < classCount; ++n) {
            const std::string& name = pool[random() % pool.size()];
            if (name.find('\\') != std::string::npos)
                continue;
            const std::string key = "CLSID\\" + randomCase(name);
            if (chance(10))
                memory::addKey(RootKey::classesRoot, key);
            else if (chance(10))
                memory::setValue(RootKey::classesRoot, key + "\\InprocServer32", "", std::string(513, 's'));
            else
                addClass(randomCase(name), "server.dll");
            if (chance(3))
                memory::addKey(RootKey::classesRoot, "CLSID\\" + randomCase(name) + std::string(520, 'l'));
        }
        const int driverCount = static_cast<int>(random() % 20);
        for (int n = 0; n < driverCount; ++n)
            addDriver("driver" + std::to_string(n), randomCase(pool[random() % pool.size()]));

        const Scans scans = scanBothWays();
        ASSERT_EQ(scans.shared, scans.literal) << "round " << round;
    }
}

} // namespace
