// Guards against any fault of the logic that changes what the program prints, its exit status, or how it treats
// drivers: the end-to-end scenarios, run on the in-memory stand-in.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/programRun.h"
#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "platform/memory/memoryPlatform.h"
#include "testing/standIn.h"
#include "testing/streamCapture.h"

namespace {

namespace fs = std::filesystem;

std::string fileText(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// One run of the program over the scenario's registry, as the end-to-end
// suite runs it, with a console window and two characters of input.
void runScenario(const fs::path& directory, bool combined)
{
    memory::reset();
    activeDriver = nullptr;
    fake::Log log;
    standIn::importRegistry(fileText(SCENARIO_PROFILES));
    standIn::importRegistry(fileText(directory / "registry.reg"));
    standIn::registerScriptedDrivers(log);
    int window = 0;
    memory::setConsoleWindow(&window);

    StreamCapture capture("xy", combined);
    const int status = runProgram();
    if (combined) {
        EXPECT_EQ(capture.out(), fileText(directory / "combined.txt"));
    } else {
        EXPECT_EQ(capture.out(), fileText(directory / "stdout.txt"));
        EXPECT_EQ(capture.err(), fileText(directory / "stderr.txt"));
    }
    EXPECT_EQ(std::to_string(status) + "\n", fileText(directory / "exitStatus.txt"));
    std::string objects;
    for (const std::string& event : log.events) {
        const std::size_t source = event.find(": ");
        if (event.compare(source, std::string::npos, ": created") == 0)
            objects += event.substr(0, source) + "\n";
        EXPECT_EQ(event.find(": init(null)"), std::string::npos) << "the console window is given to init";
    }
    EXPECT_EQ(objects, fileText(directory / "objects.txt"));
    EXPECT_EQ(fake::hostMistakes(log), std::vector<std::string>{});

    EXPECT_EQ(capture.unread(), "y") << "one character read before the exit";
    EXPECT_EQ(memory::consoleCodePage(), 65001u);
    EXPECT_EQ(memory::openKeyCount(), 0);
    EXPECT_EQ(memory::comDepth(), 0);
    EXPECT_EQ(driverManager, nullptr);
    EXPECT_EQ(activeDriver, nullptr);
    memory::reset();
}

TEST(ScenarioTest, EveryScenarioRunsAsItsGoldenFilesSay)
{
    int scenarios = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(SCENARIO_DIRECTORY)) {
        // Troubles other than faults happen only for real, under Wine.
        if (fs::exists(entry.path() / "wine-only"))
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        if (fs::exists(entry.path() / "stdout.txt"))
            runScenario(entry.path(), false);
        if (fs::exists(entry.path() / "combined.txt"))
            runScenario(entry.path(), true);
        ++scenarios;
    }
    EXPECT_GT(scenarios, 0);
}

} // namespace
