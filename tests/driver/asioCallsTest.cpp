#include <cstring>
#include <string>
#include <vector>

#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "support/standIn.h"

namespace {

class AsioCallsTest : public StandInTest {
protected:
    void TearDown() override
    {
        delete driverManager;
        driverManager = nullptr;
        StandInTest::TearDown();
    }

    void openFake(const memory::FakeScript& script)
    {
        log = installFakeDriver(1, "Fake", std::nullopt, script);
        driverManager = new DriverManager;
        ASSERT_TRUE(driverManager->openDriver("Fake"));
    }

    std::shared_ptr<memory::FakeDriverLog> log;
};

TEST_F(AsioCallsTest, WithoutActiveDriverEveryCallAnswersNotPresent)
{
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

TEST_F(AsioCallsTest, InitFillsTheIdentity)
{
    memory::FakeScript script;
    script.driverName = "Reported Name";
    script.driverVersion = -7;
    openFake(script);

    ASIODriverInfo info{};
    EXPECT_EQ(ASIOInit(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Reported Name");
    EXPECT_EQ(info.driverVersion, -7);
    EXPECT_STREQ(info.errorMessage, "No ASIO Driver Error");
    EXPECT_EQ(info.asioVersion, 0);
    EXPECT_EQ(log->calls, (std::vector<std::string>{"created", "init(null)", "getDriverName", "getDriverVersion"}));

    ASIOExit();
    EXPECT_EQ(activeDriver, nullptr);
    EXPECT_EQ(driverManager->currentDriverIndex(), -1);
    EXPECT_EQ(log->live, 0);
}

TEST_F(AsioCallsTest, FailedInitKeepsTheMessageAndLeavesTheObjectToTheManager)
{
    memory::FakeScript script;
    script.initResult = 0;
    script.errorMessage = std::string(200, 'm'); // longer than the record's field
    openFake(script);

    ASIODriverInfo info{};
    EXPECT_EQ(ASIOInit(&info), ASE_NotPresent);
    EXPECT_EQ(std::string(info.errorMessage), std::string(123, 'm'));
    EXPECT_STREQ(info.name, "No ASIO Driver");
    EXPECT_EQ(activeDriver, nullptr);
    EXPECT_EQ(log->live, 1);

    ASIOExit(); // nothing active: releases nothing
    EXPECT_EQ(log->live, 1);
    driverManager->closeCurrent();
    EXPECT_EQ(log->live, 0);
    EXPECT_EQ(log->callsAfterRelease, 0);
}

TEST_F(AsioCallsTest, UnterminatedDriverNameIsCutToItsField)
{
    memory::FakeScript script;
    script.driverName = std::string(40, 'n');
    openFake(script);
    ASIODriverInfo info{};
    ASSERT_EQ(ASIOInit(&info), ASE_OK);
    EXPECT_EQ(std::string(info.name), std::string(31, 'n'));
    ASIOExit();
}

TEST_F(AsioCallsTest, QueriesPassTheDriversAnswersThrough)
{
    memory::FakeScript script;
    script.granularity = -1;
    script.latenciesResult = -997;
    script.pcm.rates = {48000};
    script.toDsdResult = ASE_SUCCESS;
    openFake(script);

    std::int32_t minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    EXPECT_EQ(ASIOGetBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(granularity, -1);
    std::int32_t input = 0, output = 0;
    EXPECT_EQ(ASIOGetLatencies(&input, &output), -997);
    EXPECT_EQ(ASIOCanSampleRate(48000), ASE_OK);
    EXPECT_NE(ASIOCanSampleRate(44100), ASE_OK);
    ASIOIoFormat format{};
    format.FormatType = kASIODSDFormat;
    EXPECT_EQ(ASIOFuture(kAsioSetIoFormat, &format), ASE_SUCCESS);
    format.FormatType = kASIOPCMFormat;
    EXPECT_EQ(ASIOFuture(kAsioSetIoFormat, &format), ASE_SUCCESS);
    ASIOExit();
}

} // namespace
