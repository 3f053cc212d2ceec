// Guards against a program that counts anything but the driver's own time against it, waits on a driver's child too
// long or not at all, says the wrong thing of how its report ended, or loses the report when no child makes it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/childReport.h"
#include "app/report.h"
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
    // Each wait: L for the operation limit, F for none, E for the end's
    // limit. The program's own thread's waits, when it reports, follow.
    std::string waits;
    int left = 0; // children let go of before they ended
    bool inProcess = false; // the program reported the driver on a thread of its own
    std::vector<memory::ChildScript> threads = {};
};

constexpr std::uint32_t limit = hangSeconds * 1000;
const std::string hung = "Driver hung in getBufferSize (no answer in " + std::to_string(hangSeconds) + " s).";

TEST(ChildReportTest, HowTheChildEndsDecidesWhatIsSaid)
{
    const std::vector<ChildCase> cases = {
        {"finishes", {child(End::finishes)}, "", "LLFLFLFE"},
        {"finishes, stays", {child(End::finishes, 0, true)}, "", "LLFLFLFE", 1},
        {"first call told by its return", {{{"+CoCreateInstance", "init"}, End::finishes}}, "", "LFLFE"},
        {"hangs", {child(End::hangs)}, hung, "LLFLFL", 1},
        {"crashes",
         {child(End::ends, 0xC0000005)},
         "Driver crashed in getBufferSize (exception 0xC0000005).",
         "LLFLFL"},
        {"lowest code",
         {child(End::ends, 0xC0000000)},
         "Driver crashed in getBufferSize (exception 0xC0000000).",
         "LLFLFL"},
        {"ends the process",
         {child(End::ends, 0xBFFFFFFF)},
         "Driver ended the process in getBufferSize (exit code 3221225471).",
         "LLFLFL"},
        {"ends with 0",
         {{{"CoCreateInstance"}, End::ends}},
         "Driver ended the process in CoCreateInstance (exit code 0).",
         "LL"},
        {"wait fails",
         {child(End::waitFails)},
         "Report cut short in getBufferSize: waiting for the driver failed.",
         "LLFLFL",
         1},
        {"ends before the driver", {{{}, End::ends, 1}}, "", "L", 0, true},
        {"hangs before the driver", {{{}, End::hangs}}, "", "L", 1, true},
        {"wait fails before the driver", {{{}, End::waitFails}}, "", "L", 1, true},
        {"no child", {}, "", "", 0, true},
        {"no child, the thread hangs", {}, hung, "LLFLFL", 1, false, {child(End::hangs)}},
        {"no child, the driver ends the thread",
         {},
         "Driver ended its thread in getBufferSize (exit code 3).",
         "LLFLFL",
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
        for (const memory::ChildScript& script : c.children)
            memory::scriptChild(script);
        for (const memory::ChildScript& script : c.threads)
            memory::scriptReportThread(script);
        StreamCapture capture;
        reportDriver("Driver");
        driverManager = nullptr;

        EXPECT_EQ(capture.out(), c.inProcess ? inProcess : inProcess.substr(0, inProcess.find("Driver\n") + 7));
        EXPECT_EQ(capture.err(), c.error.empty() ? "" : "!!! Error: " + c.error + "\n");
        std::string waits;
        for (std::uint32_t wait : memory::childWaits())
            waits += wait == limit ? 'L' : wait == platform::waitForever ? 'F' : wait == 5000 ? 'E' : '?';
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
