// Guards against a run that does not switch the console to UTF-8 and back, give the console window to each init, read
// one key press from a console or else one character of its input, close every key or end COM, or that costs other
// registry calls than its scenario's registryCalls.txt says: the scenarios run in-process, on the in-memory
// stand-in, with a console window and two characters of input; a run with both streams in one, as a console shows
// them, has a console as its input too.
#include "app/programRun.h"
#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "platform/memory/memoryPlatform.h"
#include "scenarioRun.h"
#include "testing/standIn.h"
#include "testing/streamCapture.h"

// Drivers that hang or end the process do so only for real.
bool runsScenario(const std::filesystem::path& directory)
{
    return !std::filesystem::exists(directory / "needs-processes");
}

ScenarioRun runScenario(const std::filesystem::path& directory, bool combined)
{
    memory::reset();
    activeDriver = nullptr;
    fake::Log log;
    std::vector<RegistryItem> items = readRegistryText(fileText(SCENARIO_PROFILES));
    const std::vector<RegistryItem> scenario = readRegistryText(fileText(directory / "registry.reg"));
    items.insert(items.end(), scenario.begin(), scenario.end());
    standIn::fill(items, log);
    int window = 0;
    memory::setConsoleWindow(&window);
    memory::setConsoleInput(combined);

    ScenarioRun run;
    {
        StreamCapture capture("xy", combined);
        const std::uint64_t callsBefore = platform::registryCallCount();
        run.status = runProgram();
        const std::string calls = std::to_string(platform::registryCallCount() - callsBefore) + "\n";
        const std::filesystem::path expected = directory / "registryCalls.txt";
        if (std::filesystem::exists(expected) && fileText(expected) != calls)
            run.problems.push_back("registry calls: " + calls);
        run.out = capture.out();
        run.err = capture.err();
        if (combined ? capture.unread() != "xy" || memory::consoleKeysRead() != 1 : capture.unread() != "y")
            run.problems.push_back(combined ? "not one key press read, or input read" : "not one character read");
    }
    run.events = log.events;
    for (const std::string& event : log.events)
        if (event.find(": init(null)") != std::string::npos)
            run.problems.push_back("no console window given: " + event);
    if (memory::consoleCodePagesSet() != std::vector<unsigned>{65001, 437})
        run.problems.push_back("console not switched to UTF-8 and back");
    if (memory::openKeyCount() != 0 || memory::comDepth() != 0)
        run.problems.push_back("a key left open or COM not ended");
    if (driverManager != nullptr || activeDriver != nullptr)
        run.problems.push_back("a manager or driver left behind");
    memory::reset();
    return run;
}
