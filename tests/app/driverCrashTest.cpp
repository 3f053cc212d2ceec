#include <string>
#include <vector>

#include "app/programRun.h"
#include "app/report.h"
#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "support/reportLines.h"
#include "support/standIn.h"

using memory::FakeChannel;
using memory::FakeScript;

namespace {

// One input, two outputs, one PCM rate, and DSD accepted with two outputs
// and one clock: every step of the report is reached.
FakeScript fullScript()
{
    FakeScript script;
    script.pcm.inputCount = 1;
    script.pcm.outputCount = 2;
    script.pcm.inputs = {FakeChannel{}};
    script.pcm.outputs = {FakeChannel{}, FakeChannel{}};
    script.pcm.rates = {48000};
    script.toDsdResult = ASE_SUCCESS;
    script.dsd.outputCount = 2;
    script.dsd.outputs = {FakeChannel{}};
    script.dsd.rates = {2822400};
    return script;
}

struct CrashCase {
    const char* faultOn;
    const char* operation;
    const char* cutBefore; // the first line the crash leaves out, or null for none
};

class DriverCrashTest : public StandInTest { };

TEST_F(DriverCrashTest, FaultingDriverEndsItsReportAndTheRunGoesOn)
{
    const std::vector<CrashCase> cases = {
        {"init", "init", "    ASIO Driver Version:"},
        {"getChannels", "getChannels", "    Channel Layout:"},
        {"getChannelInfo(1,out)", "getChannelInfo", "        Out 1:"},
        {"canSampleRate(48000)", "canSampleRate", "        * 48000 Hz"},
        {"future(kAsioSetIoFormat,1)", "future", "        * [SUCCESS]"},
        {"future(kAsioSetIoFormat,0)", "future", nullptr},
        {"Release", "Release", nullptr},
    };
    for (const CrashCase& c : cases) {
        SCOPED_TRACE(c.faultOn);
        memory::reset();
        installFakeDriver(1, "Crashing", std::nullopt, fullScript());
        const std::string full = reportDriverNamed("Crashing").out;

        memory::reset();
        auto before = installFakeDriver(1, "a", "Before", fullScript());
        FakeScript crashing = fullScript();
        crashing.faultOn = c.faultOn;
        crashing.faultCode = 0xC000001D;
        auto crashed = installFakeDriver(2, "b", "Crashing", crashing);
        auto after = installFakeDriver(3, "c", "After", fullScript());

        StreamCapture capture;
        EXPECT_EQ(runProgram(), 0);
        const std::string out = capture.out();
        const std::string crashedReport = c.cutBefore ? full.substr(0, full.find(c.cutBefore)) : full;
        ASSERT_NE(out.find(crashedReport), std::string::npos) << out;
        const std::string afterCrash = out.substr(out.find(crashedReport) + crashedReport.size());
        EXPECT_EQ(afterCrash.rfind(reportLines::rule + "After\n", 0), 0u);
        EXPECT_EQ(capture.err(),
                  std::string("!!! Error: Driver crashed in ") + c.operation + " (exception 0xC000001D).\n");

        // The faulted object is never called again, not even released.
        EXPECT_EQ(crashed->calls.back().rfind(c.faultOn, 0), 0u) << crashed->calls.back();
        EXPECT_EQ(crashed->created, 1);
        EXPECT_EQ(crashed->callsAfterRelease, 0);
        EXPECT_EQ(crashed->live, 1);
        for (const auto& log : {before, after}) {
            EXPECT_EQ(log->live, 0);
            EXPECT_EQ(log->callsAfterRelease, 0);
            EXPECT_FALSE(log->inDsd);
        }
        EXPECT_EQ(activeDriver, nullptr);
        EXPECT_EQ(memory::comDepth(), 0);
    }
}

TEST_F(DriverCrashTest, FaultWhileCreatingTheDriver)
{
    registerDriverKey("a", classIdText(testClassId(1)), "Faults On Load");
    memory::registerClass(testClassId(1), [](const IID&, void**) -> HRESULT { memory::raiseDriverFault(0xC0000094); });
    auto after = installFakeDriver(2, "b", "After", fullScript());

    StreamCapture capture;
    EXPECT_EQ(runProgram(), 0);
    const std::string expectedStart =
        "Found 2 ASIO Driver(s)\n" + reportLines::rule + "Faults On Load\n" + reportLines::rule + "After\n";
    EXPECT_EQ(capture.out().substr(0, expectedStart.size()), expectedStart);
    EXPECT_EQ(capture.err(), "!!! Error: Driver crashed in CoCreateInstance (exception 0xC0000094).\n");
    EXPECT_EQ(after->live, 0);
    EXPECT_EQ(after->created, 1);
}

TEST_F(DriverCrashTest, FaultAfterAFailedInit)
{
    FakeScript script;
    script.initResult = 0;
    script.faultOn = "getErrorMessage";
    auto log = installFakeDriver(1, "a", "Init Fails Badly", script);
    StreamCapture capture;
    EXPECT_EQ(runProgram(), 0);
    EXPECT_EQ(capture.err(), "!!! Error: Driver crashed in getErrorMessage (exception 0xC0000005).\n");
    EXPECT_EQ(log->calls.back(), "getErrorMessage");
    EXPECT_EQ(log->live, 1);
}

} // namespace
