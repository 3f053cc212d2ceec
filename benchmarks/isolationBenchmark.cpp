// Measures what reporting each driver in a child process of its own costs:
// the run's time per driver, isolated (each child started while the driver
// before it reports, as the program does) and in-process, beside the time
// a bare process of this program takes to start and end. Run it in a private Wine prefix
// (scripts/benchmark-isolation.sh) with its standard output discarded: the
// reports go there, the figures to standard error. This program is its own
// children, the reporting ones and the bare one.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/childReport.h"
#include "app/report.h"
#include "driver/driverManager.h"
#include "platform/platform.h"

namespace {

constexpr int runs = 5;

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

// Starts this program as a bare process, which ends at once, and waits for
// it.
void startBareProcess()
{
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\" bare";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return;
    WaitForSingleObject(started.hProcess, INFINITE);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
}

} // namespace

int main(int argc, char**)
{
    char childName[shortNameCapacity];
    CLSID childClass;
    if (platform::becomeReportChild(childName, sizeof childName, &childClass))
        return reportAsChild(childName, childClass);
    if (argc > 1)
        return 0;

    driverManager = new DriverManager();
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < driverManager->driverCount(); ++i) {
        char name[shortNameCapacity];
        driverManager->driverName(i, name, sizeof name);
        names.emplace_back(name);
    }
    if (names.empty()) {
        std::fprintf(stderr, "no drivers registered\n");
        return 1;
    }
    std::vector<double> bare, inProcess, isolated;
    for (int run = 0; run < runs; ++run) {
        bare.push_back(milliseconds([&names] {
                           for (std::size_t i = 0; i < names.size(); ++i)
                               startBareProcess();
                       }) /
                       static_cast<double>(names.size()));
        inProcess.push_back(milliseconds([&names] {
                                for (const std::string& name : names)
                                    reportDriverInProcess(name.c_str());
                            }) /
                            static_cast<double>(names.size()));
        isolated.push_back(milliseconds([&names] {
                               for (std::size_t i = 0; i < names.size(); ++i)
                                   reportInChild(names[i].c_str(),
                                                 i + 1 < names.size() ? names[i + 1].c_str() : nullptr);
                           }) /
                           static_cast<double>(names.size()));
    }
    const double cost = median(isolated) - median(inProcess);
    std::fprintf(stderr, "%zu drivers, median of %d runs, ms per driver\n\n", names.size(), runs);
    std::fprintf(stderr, "in-process  isolated  isolation  bare process  isolation / bare process\n");
    std::fprintf(stderr, "%10.2f  %8.2f  %9.2f  %12.2f  %24.2f\n", median(inProcess), median(isolated), cost,
                 median(bare), cost / median(bare));
    delete driverManager;
    return 0;
}
