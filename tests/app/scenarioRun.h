// One run of the program over a scenario of tests/scenarios: the test
// driver's scripts and the scenario's registry.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ScenarioRun {
    std::string out; // standard output, or both streams when they are combined
    std::string err;
    int status;
    std::vector<std::string> events; // the driver objects' log
    std::vector<std::string> problems;
};

bool runsScenario(const std::filesystem::path& directory);

ScenarioRun runScenario(const std::filesystem::path& directory, bool combined);

// The program's limit for a driver operation in seconds (as built, or ASIO_REPORT_HANG_SECONDS).
int programLimit();

std::string fileText(const std::filesystem::path& path);
