#include "app/programRun.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "app/childReport.h"
#include "app/reportDriver.h"
#include "driver/driverManager.h"
#include "platform/platform.h"

namespace {

constexpr int nameListSize = 100;

// The console is put back as it was found on every way out of the run.
struct ConsoleTaken {
    ConsoleTaken() { platform::takeConsole(); }
    ~ConsoleTaken() { platform::releaseConsole(); }
    ConsoleTaken(const ConsoleTaken&) = delete;
    ConsoleTaken& operator=(const ConsoleTaken&) = delete;
};

} // namespace

int runProgram()
{
    char childName[shortNameCapacity];
    CLSID childClass;
    if (platform::becomeReportChild(childName, sizeof childName, &childClass))
        return reportAsChild(childName, childClass);

    const ConsoleTaken console;
    platform::prepareBeforeReportThreads(hangSeconds * 1000);

    // Storage for the manager or for the list its scan builds may run out.
    try {
        driverManager = new DriverManager();
    } catch (const std::bad_alloc&) {
        driverManager = nullptr;
    }
    if (driverManager == nullptr) {
        std::cerr << "!!! Failed to initialize ASIO driver manager." << std::endl;
        return 1;
    }

    // Every buffer starts empty.
    std::vector<std::array<char, shortNameCapacity>> driverNameList(nameListSize);
    const std::int32_t named = std::min<std::int32_t>(driverManager->driverCount(), nameListSize);
    for (std::int32_t i = 0; i < named; ++i)
        driverManager->driverName(i, driverNameList[i].data(), shortNameCapacity);

    // Every name handed out is reported, an empty one included: stopping at
    // an empty name would hide that driver and every driver after it.
    std::vector<std::string> reportList;
    for (std::int32_t i = 0; i < named; ++i)
        reportList.emplace_back(driverNameList[i].data());

    std::cout << "Found " << reportList.size() << " ASIO Driver(s)" << std::endl;
    if (reportList.empty())
        std::cout << "!!! Error: No ASIO drivers found on this operating system." << std::endl;
    for (std::size_t i = 0; i < reportList.size(); ++i)
        reportDriver(reportList[i].c_str(), i + 1 < reportList.size() ? reportList[i + 1].c_str() : nullptr);

    driverNameList.clear();
    delete driverManager;
    driverManager = nullptr;

    std::cout << "Press any key to exit..." << std::endl;
    platform::waitForKey();
    platform::endIfThreadsLeft(0);
    return 0;
}
