// Guards against a driver manager that writes past a short name's buffer, forgets to reopen the driver that was
// current when another cannot be opened, or keeps a driver object when it ends: paths the program itself never takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "platform/memory/memoryPlatform.h"
#include "testing/standIn.h"

namespace {

// Drivers "Good" (class 1, named by its description, which may be empty),
// "Missing" (class 2, not registered) and "Other" (class 3).
void installDrivers(fake::Log& log, const std::string& goodName)
{
    memory::reset();
    activeDriver = nullptr;
    standIn::importRegistry(R"(
[HKEY_LOCAL_MACHINE\Software\ASIO\Good]
"clsid"="{00000001-0000-0000-0000-000000000000}"
"description"=")" + goodName +
                            R"("
[HKEY_LOCAL_MACHINE\Software\ASIO\Missing]
"clsid"="{00000002-0000-0000-0000-000000000000}"
[HKEY_LOCAL_MACHINE\Software\ASIO\Other]
"clsid"="{00000003-0000-0000-0000-000000000000}"
[HKEY_CLASSES_ROOT\CLSID\{00000001-0000-0000-0000-000000000000}\InprocServer32]
@="good.dll"
[HKEY_CLASSES_ROOT\CLSID\{00000002-0000-0000-0000-000000000000}\InprocServer32]
@="missing.dll"
[HKEY_CLASSES_ROOT\CLSID\{00000003-0000-0000-0000-000000000000}\InprocServer32]
@="other.dll"
[HKEY_LOCAL_MACHINE\Software\asio-testdriver\{00000001-0000-0000-0000-000000000000}]
"label"="good"
[HKEY_LOCAL_MACHINE\Software\asio-testdriver\{00000003-0000-0000-0000-000000000000}]
"label"="other"
)");
    standIn::registerScriptedDrivers(log);
    platform::startCom();
}

TEST(DriverManagerTest, ShortNamesFitTheirBuffers)
{
    fake::Log log;
    installDrivers(log, "abcdefgh");
    DriverManager manager;
    for (const auto& [capacity, name] :
         std::vector<std::pair<int, std::string>>{{9, "abcdefgh"}, {8, "abcd..."}, {4, "..."}, {3, ".."}, {1, ""}}) {
        std::vector<char> buffer(static_cast<std::size_t>(capacity) + 1, '#');
        manager.driverName(0, buffer.data(), capacity);
        EXPECT_EQ(std::string(buffer.data()), name) << capacity;
        EXPECT_EQ(buffer.back(), '#') << "nothing written past the capacity";
    }
    char untouched[4] = "##";
    manager.driverName(3, untouched, 4);
    manager.driverName(-1, untouched, 4);
    EXPECT_STREQ(untouched, "##");
    manager.driverName(0, nullptr, 32);
    memory::reset();
}

TEST(DriverManagerTest, FailedOpenReopensThePreviousDriver)
{
    // An empty name is a name like any other: its driver is reopened too.
    for (const std::string previous : {"Good", ""}) {
        SCOPED_TRACE("previous driver \"" + previous + "\"");
        fake::Log log;
        installDrivers(log, previous);
        DriverManager manager;
        ASSERT_TRUE(manager.openDriver(previous.c_str()));
        EXPECT_FALSE(manager.openDriver("Nobody"));
        EXPECT_EQ(manager.currentDriverIndex(), 0) << "no match changes nothing";

        EXPECT_FALSE(manager.openDriver("Missing"));
        EXPECT_EQ(manager.currentDriverIndex(), 0);
        ASSERT_NE(activeDriver, nullptr);
        EXPECT_EQ(log.created, 2);
        EXPECT_EQ(log.open, 1);
        manager.closeCurrent();
        manager.closeCurrent();
        EXPECT_EQ(log.open, 0);
        EXPECT_EQ(fake::hostMistakes(log.events), std::vector<std::string>{});
    }
    memory::reset();
}

TEST(DriverManagerTest, FailedReopenOfTheCurrentDriverLeavesNoneCurrent)
{
    fake::Log log;
    installDrivers(log, "Good");
    // The class of "Missing" now creates its first object and refuses
    // every later one.
    int creations = 0;
    memory::registerClass(CLSID{2, 0, 0, {}}, [&creations](const IID&, void** object) {
        *object = nullptr;
        return ++creations > 1 ? REGDB_E_CLASSNOTREG
                               : platform::createInstance(CLSID{1, 0, 0, {}}, CLSID{1, 0, 0, {}}, object);
    });
    DriverManager manager;
    ASSERT_TRUE(manager.openDriver("Missing"));
    EXPECT_FALSE(manager.openDriver("Missing"));
    EXPECT_EQ(creations, 2);
    EXPECT_EQ(manager.currentDriverIndex(), -1);
    EXPECT_EQ(activeDriver, nullptr);
    EXPECT_EQ(log.open, 0);
    memory::reset();
}

TEST(DriverManagerTest, DestructionReleasesWhatIsStillHeld)
{
    fake::Log log;
    installDrivers(log, "Good");
    {
        DriverManager manager;
        ASSERT_TRUE(manager.openDriver("Good"));
        activeDriver = nullptr; // as after a failed init: the manager still holds it
    }
    EXPECT_EQ(log.events.back(), "good#1: Release -> 0");

    memory::reset();
    memory::addKey(platform::RootKey::localMachine, "software\\asio");
    {
        DriverManager empty;
        EXPECT_FALSE(empty.openDriver(""));
    }
    memory::reset();
}

} // namespace
