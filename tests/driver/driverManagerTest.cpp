#include <cstring>
#include <string>
#include <vector>

#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "support/standIn.h"

namespace {

class DriverManagerTest : public StandInTest { };

std::string nameOf(const DriverManager& manager, std::int32_t index, std::int32_t capacity = shortNameCapacity)
{
    std::vector<char> buffer(static_cast<std::size_t>(capacity) + 1, '#');
    buffer[static_cast<std::size_t>(capacity)] = '\0';
    manager.driverName(index, buffer.data(), capacity);
    return buffer.data();
}

const DriverEntry* entryAt(const DriverManager& manager, std::int32_t index)
{
    for (const DriverEntry* entry = manager.firstEntry(); entry != nullptr; entry = entry->next)
        if (entry->index == index)
            return entry;
    return nullptr;
}

TEST_F(DriverManagerTest, ShortNamesKeepUpTo31Characters)
{
    const std::string name31(31, 'a');
    const std::string name32 = "0123456789012345678901234567890X";
    installFakeDriver(1, "a", name31);
    installFakeDriver(2, "b", name32);
    installFakeDriver(3, "c", "abcdefgh");
    DriverManager manager;

    EXPECT_EQ(nameOf(manager, 0), name31);
    EXPECT_EQ(nameOf(manager, 1), "0123456789012345678901234567...");
    EXPECT_EQ(nameOf(manager, 1).size(), 31u);
    EXPECT_EQ(nameOf(manager, 2, 8), "abcd...");
    EXPECT_EQ(nameOf(manager, 2, 9), "abcdefgh");
    EXPECT_EQ(nameOf(manager, 2, 2), ".");
    // No entry: the buffer keeps what it held.
    EXPECT_EQ(nameOf(manager, 3), std::string(32, '#'));
    EXPECT_EQ(nameOf(manager, -1), std::string(32, '#'));
    manager.driverName(0, nullptr, 32);
}

TEST_F(DriverManagerTest, OpenAndCloseReleaseEachObjectOnce)
{
    auto log = installFakeDriver(1, "One", std::nullopt);
    {
        DriverManager manager;
        ASSERT_TRUE(manager.openDriver("One"));
        EXPECT_EQ(manager.currentDriverIndex(), 0);
        EXPECT_NE(activeDriver, nullptr);
        EXPECT_EQ(entryAt(manager, 0)->instance, activeDriver);

        manager.closeCurrent();
        EXPECT_EQ(manager.currentDriverIndex(), -1);
        EXPECT_EQ(entryAt(manager, 0)->instance, nullptr);
        EXPECT_EQ(log->live, 0);
        manager.closeCurrent();
    }
    EXPECT_EQ(log->created, 1);
    EXPECT_EQ(log->callsAfterRelease, 0);
    EXPECT_EQ(log->calls, (std::vector<std::string>{"created", "Release -> 0"}));
}

TEST_F(DriverManagerTest, OpenWithoutDriversOrMatchChangesNothing)
{
    memory::addKey(platform::RootKey::localMachine, "software\\asio");
    {
        DriverManager empty;
        EXPECT_FALSE(empty.openDriver(""));
        EXPECT_EQ(empty.currentDriverIndex(), -1);
    }
    EXPECT_EQ(memory::comDepth(), 0);

    auto log = installFakeDriver(1, "One", std::nullopt);
    DriverManager manager;
    ASSERT_TRUE(manager.openDriver("One"));
    IASIO* opened = activeDriver;
    EXPECT_FALSE(manager.openDriver("one"));
    EXPECT_FALSE(manager.openDriver("Other"));
    EXPECT_EQ(manager.currentDriverIndex(), 0);
    EXPECT_EQ(activeDriver, opened);
    EXPECT_EQ(log->live, 1);
    manager.closeCurrent();
}

TEST_F(DriverManagerTest, LongNamesOpenOnlyByTheirShortForm)
{
    const std::string longName = "A driver name that is rather too long";
    auto log = installFakeDriver(1, "Long", longName);
    DriverManager manager;
    EXPECT_FALSE(manager.openDriver(longName.c_str()));
    EXPECT_TRUE(manager.openDriver("A driver name that is rather..."));
    manager.closeCurrent();
    EXPECT_EQ(log->created, 1);
}

TEST_F(DriverManagerTest, FailedOpenReopensThePreviousDriver)
{
    // An empty name is a name like any other: its driver is reopened too.
    for (const std::string previous : {"Good", ""}) {
        SCOPED_TRACE("previous driver \"" + previous + "\"");
        memory::reset();
        auto good = installFakeDriver(1, "Good", previous);
        registerDriverKey("Missing", classIdText(testClassId(2)), std::nullopt); // no class behind it
        DriverManager manager;
        ASSERT_TRUE(manager.openDriver(previous.c_str()));
        IASIO* first = activeDriver;

        EXPECT_FALSE(manager.openDriver("Missing"));
        EXPECT_EQ(manager.currentDriverIndex(), 0);
        ASSERT_NE(activeDriver, nullptr);
        EXPECT_NE(activeDriver, first);
        EXPECT_EQ(entryAt(manager, 0)->instance, activeDriver);
        EXPECT_EQ(good->created, 2);
        EXPECT_EQ(good->live, 1);
        manager.closeCurrent();
        EXPECT_EQ(good->live, 0);
    }
}

TEST_F(DriverManagerTest, FailedReopenOfTheCurrentDriverLeavesNoneCurrent)
{
    // A class whose first object is created and every later one refused.
    registerDriverKey("Once", classIdText(testClassId(1)), std::nullopt);
    auto log = memory::registerFakeDriver(testClassId(9), {});
    int creations = 0;
    memory::registerClass(testClassId(1), [&creations](const IID&, void** object) {
        if (++creations > 1) {
            *object = nullptr;
            return REGDB_E_CLASSNOTREG;
        }
        return platform::createInstance(testClassId(9), testClassId(9), object);
    });
    DriverManager manager;
    ASSERT_TRUE(manager.openDriver("Once"));
    EXPECT_FALSE(manager.openDriver("Once"));
    EXPECT_EQ(creations, 2);
    EXPECT_EQ(manager.currentDriverIndex(), -1);
    EXPECT_EQ(activeDriver, nullptr);
    EXPECT_EQ(log->live, 0);
}

TEST_F(DriverManagerTest, ZeroClassIdCannotBeOpened)
{
    registerDriverKey("Odd", "not a class id", std::nullopt);
    DriverManager manager;
    ASSERT_EQ(manager.driverCount(), 1);
    EXPECT_FALSE(manager.openDriver("Odd"));
    EXPECT_EQ(activeDriver, nullptr);
}

TEST_F(DriverManagerTest, DuplicateShortNamesReachTheLowerIndex)
{
    auto first = installFakeDriver(1, "a", "Twin");
    auto second = installFakeDriver(2, "b", "Twin");
    DriverManager manager;
    ASSERT_TRUE(manager.openDriver("Twin"));
    EXPECT_EQ(manager.currentDriverIndex(), 0);
    manager.closeCurrent();
    EXPECT_EQ(first->created, 1);
    EXPECT_EQ(second->created, 0);
}

TEST_F(DriverManagerTest, DestructionReleasesWhatIsStillHeldAndEndsCom)
{
    auto first = installFakeDriver(1, "a", std::nullopt);
    auto second = installFakeDriver(2, "b", std::nullopt);
    {
        DriverManager manager;
        ASSERT_TRUE(manager.openDriver("a"));
        ASSERT_TRUE(manager.openDriver("b"));
        EXPECT_EQ(first->live, 0);
        EXPECT_EQ(memory::comDepth(), 1);
    }
    EXPECT_EQ(second->live, 0);
    EXPECT_EQ(second->calls.back(), "Release -> 0");
    EXPECT_EQ(memory::comDepth(), 0);
    EXPECT_EQ(memory::comStartCount(), 1);
}

} // namespace
