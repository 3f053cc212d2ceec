// Guards against a program that counts a write of the report against a driver, waits on a driver's child without a
// limit anywhere else, says the wrong thing of how its report ended, or loses the report when no child makes it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/childReport.h"
#include "app/inProcessReport.h"
#include "app/reportDriver.h"
#include "driver/driverManager.h"
#include "platform/memory/memoryPlatform.h"
#include "testing/standIn.h"
#include "testing/streamCapture.h"

namespace {

using End = memory::ChildScript::End;

memory::ChildScript child(End end, std::uint32_t exitStatus = 0, bool stays = false)
{
    return {{"CoCreateInstance", "init", "getBufferSize"}, end, exitStatus, stays};
}

struct ChildCase {
    const char* label;
    std::vector<memory::ChildScript> children; // none: no child starts
    std::string error; // the line after "!!! Error: ", if any
    int left = 0; // children let go of before they ended
    bool inProcess = false; // the program reported the driver on a thread of its own
    std::vector<memory::ChildScript> threads = {};
};

TEST(ChildReportTest, HowTheChildEndsDecidesWhatIsSaid)
{
    memory::ChildScript crashesAfter = child(End::ends, 0xC0000005);
    crashesAfter.stopsAfterLastCall = true;
    const std::vector<ChildCase> cases = {
        {"finishes", {child(End::finishes)}, ""},
        {"finishes, stays", {child(End::finishes, 0, true)}, "", 1},
        {"first call told by its return", {{{"+CoCreateInstance", "init"}, End::finishes}}, ""},
        {"crashes between calls", {crashesAfter}, "Driver crashed after getBufferSize (exception 0xC0000005)."},
        {"lowest code", {child(End::ends, 0xC0000000)}, "Driver crashed in getBufferSize (exception 0xC0000000)."},
        {"ends the process",
         {child(End::ends, 0xBFFFFFFF)},
         "Driver ended the process in getBufferSize (exit code 3221225471)."},
        {"ends with 0",
         {{{"CoCreateInstance"}, End::ends}},
         "Driver ended the process in CoCreateInstance (exit code 0)."},
        {"wait fails", {child(End::waitFails)}, "Report cut short in getBufferSize: waiting for the driver failed.", 1},
        {"ends before the driver", {{{}, End::ends, 1}}, "", 0, true},
        {"hangs before the driver", {{{}, End::hangs}}, "", 1, true},
        {"wait fails before the driver", {{{}, End::waitFails}}, "", 1, true},
        {"no child", {}, "", 0, true},
        {"no child, the driver ends the thread",
         {},
         "Driver ended its thread in getBufferSize (exit code 3).",
         0,
         false,
         {child(End::ends, 3)}},
    };

    fake::Log log;
    std::string inProcess;
    for (const ChildCase& c : cases) {
        SCOPED_TRACE(c.label);
        memory::reset();
        activeDriver = nullptr;
        standIn::fill(readRegistryText(R"(
[HKEY_LOCAL_MACHINE\Software\ASIO\Driver]
"clsid"="{00000001-0000-0000-0000-000000000000}"
[HKEY_CLASSES_ROOT\CLSID\{00000001-0000-0000-0000-000000000000}\InprocServer32]
@="driver.dll"
[HKEY_LOCAL_MACHINE\Software\asio-testdriver\{00000001-0000-0000-0000-000000000000}]
)"),
                      log);
        DriverManager manager;
        driverManager = &manager;
        if (inProcess.empty()) {
            StreamCapture capture;
            platform::startCom();
            reportDriverInProcess("Driver");
            platform::endCom();
            inProcess = "\n---------------------------------------------------------\nDriver\n" + capture.out();
        }
        for (const memory::ChildScript& script : c.children)
            memory::scriptChild(script);
        for (const memory::ChildScript& script : c.threads)
            memory::scriptReportThread(script);
        StreamCapture capture;
        reportDriver("Driver");
        driverManager = nullptr;

        EXPECT_EQ(capture.out(), c.inProcess ? inProcess : inProcess.substr(0, inProcess.find("Driver\n") + 7));
        EXPECT_EQ(capture.err(), c.error.empty() ? "" : "!!! Error: " + c.error + "\n");
        EXPECT_EQ(memory::childWaitMistakes(), std::vector<std::string>{});
        EXPECT_EQ(memory::childrenLeft(), c.left);
        EXPECT_EQ(log.open, 0);
        EXPECT_EQ(activeDriver, nullptr);
        EXPECT_EQ(manager.currentDriverIndex(), -1);
    }
    memory::reset();
}

} // namespace
