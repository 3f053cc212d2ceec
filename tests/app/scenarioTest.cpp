// Guards against any fault that changes what the program prints, its exit status, or how it treats drivers (an
// object released twice or never, called after its release or its fault, left in DSD, two open at once): every
// scenario of tests/scenarios, run as the build can run it (see scenarioRun.h).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>

#include "app/childReport.h"
#include "scenarioRun.h"
#include "testing/fakeDriver.h"

std::string fileText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

int programLimit()
{
    const char* limit = std::getenv("ASIO_REPORT_HANG_SECONDS");
    return limit != nullptr ? std::atoi(limit) : static_cast<int>(hangSeconds);
}

namespace {

namespace fs = std::filesystem;

// The golden files say how long the shipped program waits for a driver.
std::string withLimit(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// A golden file missing or differing fails, named first, with GoogleTest's line diff (EXPECT_EQ's), its sides named.
void expectGolden(const fs::path& path, const std::string& actual)
{
    const std::string shipped = "(no answer in 30 s)";
    const std::string built = "(no answer in " + std::to_string(programLimit()) + " s)";
    if (std::getenv("ASIO_REPORT_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(path, std::ios::binary) << withLimit(actual, built, shipped);
        return;
    }
    std::vector<std::string> expectedLines, actualLines;
    testing::internal::SplitString(withLimit(fileText(path), shipped, built), '\n', &expectedLines);
    testing::internal::SplitString(actual, '\n', &actualLines);
    for (std::vector<std::string>* lines : {&expectedLines, &actualLines})
        for (std::string& line : *lines)
            line = testing::PrintToString(line); // quoted and escaped: no byte a terminal takes for a command
    if (!fs::exists(path) || actualLines != expectedLines)
        ADD_FAILURE() << (path.parent_path().filename() / path.filename()).generic_string()
                      << (fs::exists(path) ? " differs" : " is missing (write it with ASIO_REPORT_UPDATE_GOLDEN=1)")
                      << ":\n--- expected (golden file)\n+++ actual (program output)\n"
                      << testing::internal::edit_distance::CreateUnifiedDiff(expectedLines, actualLines);
}

void checkRun(const fs::path& directory, const ScenarioRun& run, bool combined)
{
    expectGolden(directory / (combined ? "combined.txt" : "stdout.txt"), run.out);
    if (!combined)
        expectGolden(directory / "stderr.txt", run.err);
    // Only a scenario whose program ends with another status than 0 has an exitStatus.txt.
    const fs::path status = directory / "exitStatus.txt";
    if (run.status == 0 && std::getenv("ASIO_REPORT_UPDATE_GOLDEN") != nullptr)
        fs::remove(status);
    else if (run.status != 0 || fs::exists(status))
        expectGolden(status, std::to_string(run.status) + "\n");
    std::string objects;
    for (const std::string& event : run.events)
        if (event.size() > event.find(": ") && event.substr(event.find(": ")) == ": created")
            objects += event.substr(0, event.find(": ")) + "\n";
    expectGolden(directory / "objects.txt", objects);
    EXPECT_EQ(fake::hostMistakes(run.events), std::vector<std::string>{});
    EXPECT_EQ(run.problems, std::vector<std::string>{});
}

// Every folder, by name: the test skips those this build cannot run.
std::vector<std::string> scenarioNames()
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(SCENARIO_DIRECTORY))
        if (entry.is_directory())
            names.insert(entry.path().filename().string());
    return {names.begin(), names.end()};
}

class ScenarioTest : public testing::TestWithParam<std::string> { };

TEST_P(ScenarioTest, RunsAsItsGoldenFilesSay)
{
    const fs::path directory = fs::path(SCENARIO_DIRECTORY) / GetParam();
    if (!runsScenario(directory))
        GTEST_SKIP() << GetParam() << " is not run by this build";
    // Each stream in a file of its own, unless the scenario has only both in one.
    if (!fs::exists(directory / "combined.txt") || fs::exists(directory / "stdout.txt"))
        checkRun(directory, runScenario(directory, false), false);
    if (fs::exists(directory / "combined.txt"))
        checkRun(directory, runScenario(directory, true), true);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ScenarioTest, testing::ValuesIn(scenarioNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

} // namespace
