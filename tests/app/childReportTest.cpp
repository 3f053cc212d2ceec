// Guards against a program that waits on a driver's child too long or not at all, says the wrong thing of how its
// report ended, or loses the report when no child makes it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/childReport.h"
#include "app/report.h"
#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "platform/memory/memoryPlatform.h"
#include "testing/standIn.h"
#include "testing/streamCapture.h"

namespace {

using End = memory::ChildScript::End;

struct ChildCase {
    const char* label;
    memory::ChildScript script;
    std::string errors;
    std::vector<std::uint32_t> waits; // in units of the operation limit, or the end limit when noted
    bool ended; // the program had to end the child
    bool inProcess; // the program reported the driver itself
};

constexpr std::uint32_t limit = hangSeconds * 1000;
constexpr std::uint32_t endLimit = 5000;
const std::vector<std::string> reportCalls = {"CoCreateInstance", "init", "getBufferSize"};

TEST(ChildReportTest, HowTheChildEndsDecidesWhatIsSaid)
{
    const std::string hung =
        "!!! Error: Driver hung in getBufferSize (no answer in " + std::to_string(hangSeconds) + " s).\n";
    const std::vector<ChildCase> cases = {
        {"finishes", {reportCalls, End::finishes, 0, false}, "", {limit, limit, limit, limit, endLimit}, false, false},
        {"finishes, stays",
         {reportCalls, End::finishes, 0, true},
         "",
         {limit, limit, limit, limit, endLimit},
         true,
         false},
        {"hangs", {reportCalls, End::hangs, 0, false}, hung, {limit, limit, limit, limit}, true, false},
        {"crashes",
         {reportCalls, End::ends, 0xC0000005, false},
         "!!! Error: Driver crashed in getBufferSize (exception 0xC0000005).\n",
         {limit, limit, limit, limit},
         false,
         false},
        {"lowest exception code",
         {reportCalls, End::ends, 0xC0000000, false},
         "!!! Error: Driver crashed in getBufferSize (exception 0xC0000000).\n",
         {limit, limit, limit, limit},
         false,
         false},
        {"ends the process",
         {reportCalls, End::ends, 0xBFFFFFFF, false},
         "!!! Error: Driver ended the process in getBufferSize (exit code 3221225471).\n",
         {limit, limit, limit, limit},
         false,
         false},
        {"ends with 0",
         {{"CoCreateInstance"}, End::ends, 0, false},
         "!!! Error: Driver ended the process in CoCreateInstance (exit code 0).\n",
         {limit, limit},
         false,
         false},
        {"ends before the driver", {{}, End::ends, 1, false}, "", {limit}, false, true},
        {"hangs before the driver", {{}, End::hangs, 0, false}, "", {limit}, true, true},
    };

    fake::Log log;
    std::string inProcess;
    for (const ChildCase& c : cases) {
        SCOPED_TRACE(c.label);
        memory::reset();
        activeDriver = nullptr;
        standIn::importRegistry(R"(
[HKEY_LOCAL_MACHINE\Software\ASIO\Driver]
"clsid"="{00000001-0000-0000-0000-000000000000}"
[HKEY_CLASSES_ROOT\CLSID\{00000001-0000-0000-0000-000000000000}\InprocServer32]
@="driver.dll"
[HKEY_LOCAL_MACHINE\Software\asio-testdriver\{00000001-0000-0000-0000-000000000000}]
)");
        standIn::registerScriptedDrivers(log);
        DriverManager manager;
        driverManager = &manager;
        if (inProcess.empty()) {
            StreamCapture capture;
            reportDriver("Driver");
            inProcess = capture.out();
        }
        memory::scriptChild(c.script);
        StreamCapture capture;
        reportDriver("Driver");
        driverManager = nullptr;

        const std::string header = inProcess.substr(0, inProcess.find("Driver\n") + 7);
        EXPECT_EQ(capture.out(), c.inProcess ? inProcess : header);
        EXPECT_EQ(capture.err(), c.errors);
        EXPECT_EQ(memory::childWaits(), c.waits);
        EXPECT_EQ(memory::childrenEnded(), c.ended ? 1 : 0);
        EXPECT_EQ(log.open, 0);
    }
    memory::reset();
}

} // namespace
