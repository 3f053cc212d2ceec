// Guards against a program that counts anything but the driver's own time against it, waits on a driver's child too
// long or not at all, says the wrong thing of how its report ended, or loses the report when no child makes it.
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
    memory::ChildScript child; // no operations and no end: no child starts
    std::string errors;
    // Each wait: L for the operation limit, F for none, E for the end's
    // limit. The program's own thread's waits, when it reports, follow.
    std::string waits;
    int left; // children let go of before they ended
    bool inProcess; // the program reported the driver on a thread of its own
    std::vector<memory::ChildScript> threads = {};
};

constexpr std::uint32_t limit = hangSeconds * 1000;
const std::vector<std::string> reportCalls = {"CoCreateInstance", "init", "getBufferSize"};
const std::string hung =
    "!!! Error: Driver hung in getBufferSize (no answer in " + std::to_string(hangSeconds) + " s).\n";

std::string waitLetters(const std::vector<std::uint32_t>& waits)
{
    std::string letters;
    for (std::uint32_t wait : waits)
        letters += wait == limit ? 'L' : wait == platform::waitForever ? 'F' : wait == 5000 ? 'E' : '?';
    return letters;
}

TEST(ChildReportTest, HowTheChildEndsDecidesWhatIsSaid)
{
    const std::vector<ChildCase> cases = {
        {"finishes", {reportCalls, End::finishes, 0, false}, "", "LLFLFLFE", 0, false},
        {"finishes, stays", {reportCalls, End::finishes, 0, true}, "", "LLFLFLFE", 1, false},
        {"hangs", {reportCalls, End::hangs, 0, false}, hung, "LLFLFL", 1, false},
        {"crashes",
         {reportCalls, End::ends, 0xC0000005, false},
         "!!! Error: Driver crashed in getBufferSize (exception 0xC0000005).\n",
         "LLFLFL",
         0,
         false},
        {"lowest exception code",
         {reportCalls, End::ends, 0xC0000000, false},
         "!!! Error: Driver crashed in getBufferSize (exception 0xC0000000).\n",
         "LLFLFL",
         0,
         false},
        {"ends the process",
         {reportCalls, End::ends, 0xBFFFFFFF, false},
         "!!! Error: Driver ended the process in getBufferSize (exit code 3221225471).\n",
         "LLFLFL",
         0,
         false},
        {"ends with 0",
         {{"CoCreateInstance"}, End::ends, 0, false},
         "!!! Error: Driver ended the process in CoCreateInstance (exit code 0).\n",
         "LL",
         0,
         false},
        {"wait fails",
         {reportCalls, End::waitFails, 0, false},
         "!!! Error: Report cut short in getBufferSize: waiting for the driver failed.\n",
         "LLFLFL",
         1,
         false},
        {"ends before the driver", {{}, End::ends, 1, false}, "", "L", 0, true},
        {"hangs before the driver", {{}, End::hangs, 0, false}, "", "L", 1, true},
        {"wait fails before the driver", {{}, End::waitFails, 0, false}, "", "L", 1, true},
        {"no child", {}, "", "", 0, true},
        {"no child, the thread hangs", {}, hung, "LLFLFL", 1, false, {{reportCalls, End::hangs, 0, false}}},
        {"no child, the driver ends the thread",
         {},
         "!!! Error: Driver ended its thread in getBufferSize (exit code 3).\n",
         "LLFLFL",
         0,
         false,
         {{reportCalls, End::ends, 3, false}}},
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
            platform::startCom();
            reportDriverInProcess("Driver");
            platform::endCom();
            inProcess = "\n---------------------------------------------------------\nDriver\n" + capture.out();
        }
        if (!c.child.operations.empty() || c.child.end != End::finishes)
            memory::scriptChild(c.child);
        for (const memory::ChildScript& thread : c.threads)
            memory::scriptReportThread(thread);
        StreamCapture capture;
        reportDriver("Driver");
        driverManager = nullptr;

        const std::string header = inProcess.substr(0, inProcess.find("Driver\n") + 7);
        EXPECT_EQ(capture.out(), c.inProcess ? inProcess : header);
        EXPECT_EQ(capture.err(), c.errors);
        const std::string waits = waitLetters(memory::childWaits());
        if (c.inProcess) {
            // Then the thread's: each call is timed, and nothing between.
            EXPECT_EQ(waits.substr(0, c.waits.size() + 2), c.waits + "LL");
            EXPECT_EQ(waits.substr(c.waits.size() + 2).find("LL"), std::string::npos) << waits;
            EXPECT_EQ(waits.back(), 'E');
        } else {
            EXPECT_EQ(waits, c.waits);
        }
        EXPECT_EQ(memory::childrenLeft(), c.left);
        EXPECT_EQ(log.open, 0);
        EXPECT_EQ(activeDriver, nullptr);
        EXPECT_EQ(manager.currentDriverIndex(), -1);
    }
    memory::reset();
}

} // namespace
