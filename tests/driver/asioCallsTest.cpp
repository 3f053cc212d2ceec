// Guards against a call layer that touches a driver when none is active, sets the wrong defaults, loses a failed
// driver's message, or lets go of a driver without the driver manager releasing it.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "platform/memory/memoryPlatform.h"
#include "testing/standIn.h"

namespace {

TEST(AsioCallsTest, WithoutActiveDriverEveryCallAnswersNotPresent)
{
    activeDriver = nullptr;
    ASIODriverInfo info{};
    std::memcpy(info.errorMessage, "untouched", 10);
    EXPECT_EQ(ASIOInit(&info), ASE_NotPresent);
    EXPECT_STREQ(info.name, "No ASIO Driver");
    EXPECT_EQ(info.driverVersion, 0);
    EXPECT_STREQ(info.errorMessage, "untouched");

    std::int32_t a = 7, b = 7, c = 7, d = 7;
    EXPECT_EQ(ASIOGetBufferSize(&a, &b, &c, &d), ASE_NotPresent);
    EXPECT_EQ(a | b | c | d, 0);
    a = b = 7;
    EXPECT_EQ(ASIOGetLatencies(&a, &b), ASE_NotPresent);
    EXPECT_EQ(a | b, 0);
    a = b = 7;
    EXPECT_EQ(ASIOGetChannels(&a, &b), ASE_NotPresent);
    EXPECT_EQ(a | b, 0);

    ASIOChannelInfo channel{};
    channel.type = ASIOSTFloat32LSB;
    EXPECT_EQ(ASIOGetChannelInfo(&channel), ASE_NotPresent);
    EXPECT_EQ(channel.channelGroup, -1);
    EXPECT_EQ(channel.type, ASIOSTInt16MSB);
    EXPECT_STREQ(channel.name, "None");

    EXPECT_EQ(ASIOCanSampleRate(44100), ASE_NotPresent);
    ASIOIoFormat format{};
    EXPECT_EQ(ASIOFuture(kAsioSetIoFormat, &format), ASE_NotPresent);
    EXPECT_EQ(ASIOExit(), ASE_OK);
    EXPECT_EQ(activeDriver, nullptr);
}

// Each driver's init answers as its script says; the second fails with a
// message longer than the record's field.
TEST(AsioCallsTest, InitFillsTheRecordAndExitHasTheManagerRelease)
{
    memory::reset();
    fake::Log log;
    standIn::importRegistry(R"(
[HKEY_LOCAL_MACHINE\Software\ASIO\Ready]
"clsid"="{00000001-0000-0000-0000-000000000000}"
[HKEY_LOCAL_MACHINE\Software\ASIO\Unplugged]
"clsid"="{00000002-0000-0000-0000-000000000000}"
[HKEY_CLASSES_ROOT\CLSID\{00000001-0000-0000-0000-000000000000}\InprocServer32]
@="ready.dll"
[HKEY_CLASSES_ROOT\CLSID\{00000002-0000-0000-0000-000000000000}\InprocServer32]
@="unplugged.dll"
[HKEY_LOCAL_MACHINE\Software\asio-testdriver\{00000001-0000-0000-0000-000000000000}]
"name"="Reported Name"
"version"="-7"
[HKEY_LOCAL_MACHINE\Software\asio-testdriver\{00000002-0000-0000-0000-000000000000}]
"init"="0"
"message"="Unplugged: a message well past the hundred and twenty-four bytes of the record's field, which the call layer cuts to fit it, and no further"
)");
    standIn::registerScriptedDrivers(log);
    platform::startCom();
    driverManager = new DriverManager;

    ASSERT_TRUE(driverManager->openDriver("Ready"));
    ASIODriverInfo info{};
    EXPECT_EQ(ASIOInit(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Reported Name");
    EXPECT_EQ(info.driverVersion, -7);
    EXPECT_STREQ(info.errorMessage, "No ASIO Driver Error");
    EXPECT_EQ(info.asioVersion, 0);
    ASIOExit();
    EXPECT_EQ(activeDriver, nullptr);
    EXPECT_EQ(driverManager->currentDriverIndex(), -1);
    EXPECT_EQ(log.open, 0);

    ASSERT_TRUE(driverManager->openDriver("Unplugged"));
    info = ASIODriverInfo{};
    EXPECT_EQ(ASIOInit(&info), ASE_NotPresent);
    EXPECT_EQ(std::string(info.errorMessage),
              std::string("Unplugged: a message well past the hundred and twenty-four "
                          "bytes of the record's field, which the call layer cuts to fit it"));
    EXPECT_STREQ(info.name, "No ASIO Driver");
    EXPECT_EQ(activeDriver, nullptr);
    EXPECT_EQ(log.open, 1);
    ASIOExit(); // nothing active: releases nothing
    EXPECT_EQ(log.open, 1);
    driverManager->closeCurrent();
    EXPECT_EQ(log.open, 0);

    delete driverManager;
    driverManager = nullptr;
    EXPECT_EQ(fake::hostMistakes(log.events), std::vector<std::string>{});
    memory::reset();
}

} // namespace
