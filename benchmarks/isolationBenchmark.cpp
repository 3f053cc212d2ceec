// Measures what reporting each driver in a child process of its own costs,
// beside the time a bare process of this program takes to start and end:
// - per driver, in this process: the run's time per driver over the first
//   20 drivers registered and over all of them, isolated (each child
//   started while the driver before it reports, as the program does) and
//   on a thread of this process, as the program reports when it can start
//   no child;
// - the whole program, given as the one argument, over every driver
//   registered: as it runs, and moved away as it starts, so that it can
//   start no child and reports every driver on a thread of its own.
// Run it in a private Wine prefix (scripts/benchmark-isolation.sh) with its
// standard output discarded: the reports go there, the figures to standard
// error. This program is its own children, the reporting ones and the bare
// one.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/childReport.h"
#include "app/reportDriver.h"
#include "driver/driverManager.h"
#include "platform/platform.h"

namespace {

constexpr int runs = 5;
constexpr std::size_t fewDrivers = 20;

double milliseconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Starts program with the one argument given and its output discarded,
// moved away to elsewhere as it starts when elsewhere is given, and waits
// for it.
void runProgram(const std::wstring& program, const std::wstring& argument, const std::wstring& elsewhere = L"")
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inheritable, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nothing;
    std::wstring commandLine = L"\"" + program + L"\" " + argument;
    PROCESS_INFORMATION started{};
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       elsewhere.empty() ? 0 : CREATE_SUSPENDED, nullptr, nullptr, &startup, &started)) {
        if (!elsewhere.empty()) {
            MoveFileExW(program.c_str(), elsewhere.c_str(), MOVEFILE_REPLACE_EXISTING);
            ResumeThread(started.hThread);
        }
        WaitForSingleObject(started.hProcess, INFINITE);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        if (!elsewhere.empty())
            MoveFileExW(elsewhere.c_str(), program.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    CloseHandle(nothing);
}

std::wstring thisProgram()
{
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    return program;
}

void reportEach(const std::vector<std::string>& names, bool isolated)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (isolated)
            reportInChild(names[i].c_str(), i + 1 < names.size() ? names[i + 1].c_str() : nullptr);
        else
            reportOnThread(names[i].c_str());
    }
}

struct Figures {
    double inProcess;
    double isolated;
};

void printCost(const char* what, std::size_t drivers, const Figures& perDriver, double bare)
{
    const double cost = perDriver.isolated - perDriver.inProcess;
    std::fprintf(stderr, "%-16s %7zu  %10.2f  %8.2f  %9.2f  %24.2f\n", what, drivers, perDriver.inProcess,
                 perDriver.isolated, cost, cost / bare);
}

} // namespace

int main(int argc, char** argv)
{
    char childName[shortNameCapacity];
    CLSID childClass;
    if (platform::becomeReportChild(childName, sizeof childName, &childClass))
        return reportAsChild(childName, childClass);
    if (argc == 2 && std::string(argv[1]) == "bare")
        return 0;
    if (argc != 2) {
        std::fprintf(stderr, "usage: isolation-benchmark PROGRAM\n");
        return 2;
    }

    driverManager = new DriverManager();
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < driverManager->driverCount(); ++i) {
        char name[shortNameCapacity];
        driverManager->driverName(i, name, sizeof name);
        names.emplace_back(name);
    }
    if (names.size() < fewDrivers) {
        std::fprintf(stderr, "fewer than %zu drivers registered\n", fewDrivers);
        return 1;
    }
    const std::vector<std::string> few(names.begin(), names.begin() + fewDrivers);
    const std::wstring program = std::filesystem::path(argv[1]).wstring();
    const std::wstring moved = program + L".moved";
    const double count = static_cast<double>(names.size());
    std::vector<double> bare, fewIn, fewIsolated, allIn, allIsolated, wholeIn, wholeIsolated;
    for (int run = 0; run < runs; ++run) {
        bare.push_back(milliseconds([] {
                           for (std::size_t i = 0; i < fewDrivers; ++i)
                               runProgram(thisProgram(), L"bare");
                       }) /
                       fewDrivers);
        fewIn.push_back(milliseconds([&few] { reportEach(few, false); }) / fewDrivers);
        fewIsolated.push_back(milliseconds([&few] { reportEach(few, true); }) / fewDrivers);
        allIn.push_back(milliseconds([&names] { reportEach(names, false); }) / count);
        allIsolated.push_back(milliseconds([&names] { reportEach(names, true); }) / count);
        wholeIn.push_back(milliseconds([&] { runProgram(program, L"", moved); }) / count);
        wholeIsolated.push_back(milliseconds([&] { runProgram(program, L""); }) / count);
    }
    const double barePerStart = median(bare);
    std::fprintf(stderr, "median of %d runs, ms per driver; a bare process takes %.2f ms to start and end\n\n", runs,
                 barePerStart);
    std::fprintf(stderr, "what             drivers  in-process  isolated  isolation  isolation / bare process\n");
    printCost("each, in here", fewDrivers, {median(fewIn), median(fewIsolated)}, barePerStart);
    printCost("each, in here", names.size(), {median(allIn), median(allIsolated)}, barePerStart);
    printCost("whole program", names.size(), {median(wholeIn), median(wholeIsolated)}, barePerStart);
    delete driverManager;
    return 0;
}
