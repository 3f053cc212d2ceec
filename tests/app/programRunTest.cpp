#include <string>

#include "app/programRun.h"
#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "support/reportLines.h"
#include "support/standIn.h"

using namespace reportLines;

namespace {

const std::string prompt = "Press any key to exit...\n";

// The report of a fake driver on its default script.
std::string plainReport(int version)
{
    return "    ASIO Driver Version: " + std::to_string(version) +
        "\n"
        "    Driver Message:      No ASIO Driver Error\n"
        "    Buffer Size Limits:  Min=64 | Max=2048 | Preferred=256 | Granularity=64\n"
        "    Hardware Latency:    Input=0 samples | Output=0 samples\n"
        "    Channel Layout:      Total Inputs=0 | Total Outputs=0\n" +
        inputHeading + outputHeading + pcmHeading + dsdHeading + dsdRejected + noDop;
}

class ProgramRunTest : public StandInTest {
protected:
    int run()
    {
        const int status = runProgram();
        EXPECT_EQ(driverManager, nullptr);
        EXPECT_EQ(activeDriver, nullptr);
        EXPECT_EQ(memory::comDepth(), 0);
        return status;
    }
};

TEST_F(ProgramRunTest, NoDriversRegistered)
{
    StreamCapture capture;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(capture.out(),
              "Found 0 ASIO Driver(s)\n"
              "!!! Error: No ASIO drivers found on this operating system.\n" +
                  prompt);
    EXPECT_EQ(capture.err(), "");
    EXPECT_EQ(memory::consoleCodePage(), 65001u);
    EXPECT_EQ(memory::comStartCount(), 0);
}

TEST_F(ProgramRunTest, FailuresAreReportedAndTheRunGoesOn)
{
    registerDriverKey("a", classIdText(testClassId(1)), "Unloadable"); // no class behind it
    memory::FakeScript failing;
    failing.initResult = 0;
    auto failed = installFakeDriver(2, "b", "Init Fails", failing);
    memory::FakeScript good;
    good.driverVersion = -3;
    auto working = installFakeDriver(3, "c", "Works", good);

    StreamCapture capture;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(capture.out(),
              "Found 3 ASIO Driver(s)\n" + rule + "Unloadable\n" + rule + "Init Fails\n" + rule + "Works\n" +
                  plainReport(-3) + prompt);
    EXPECT_EQ(capture.err(),
              "!!! Error: Could not load driver into memory.\n"
              "!!! Error: ASIOInit failed.\n");
    for (const auto& log : {failed, working}) {
        EXPECT_EQ(log->created, 1);
        EXPECT_EQ(log->live, 0);
        EXPECT_EQ(log->callsAfterRelease, 0);
    }
    EXPECT_EQ(failed->calls, (std::vector<std::string>{"created", "init(null)", "getErrorMessage", "Release -> 0"}));
}

TEST_F(ProgramRunTest, ConsoleWindowIsGivenToInit)
{
    int window = 0;
    memory::setConsoleWindow(&window);
    auto log = installFakeDriver(1, "a", "Driver");
    StreamCapture capture;
    run();
    EXPECT_EQ(log->calls.at(1), "init(window)");
}

TEST_F(ProgramRunTest, EmptyAndLongNamesAreReported)
{
    auto empty = installFakeDriver(1, "a", "");
    auto longer = installFakeDriver(2, "b", "An interface with a very long name indeed");
    StreamCapture capture;
    run();
    EXPECT_EQ(capture.out(),
              "Found 2 ASIO Driver(s)\n" + rule + "\n" + plainReport(1) + rule + "An interface with a very lon...\n" +
                  plainReport(1) + prompt);
    EXPECT_EQ(capture.err(), "");
    EXPECT_EQ(empty->created, 1);
    EXPECT_EQ(longer->created, 1);
}

TEST_F(ProgramRunTest, AtMostOneHundredDriversAreReported)
{
    for (int n = 0; n < 102; ++n) {
        char subkey[16];
        std::snprintf(subkey, sizeof subkey, "d%03d", n);
        registerDriverKey(subkey, classIdText(testClassId(n)), std::nullopt);
    }
    StreamCapture capture;
    run();
    const std::string out = capture.out();
    EXPECT_EQ(out.substr(0, 25), "Found 100 ASIO Driver(s)\n");
    EXPECT_NE(out.find(rule + "d099\n"), std::string::npos);
    EXPECT_EQ(out.find("d100"), std::string::npos);
}

} // namespace
