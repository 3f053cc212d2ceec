// Where a driver's report runs: in a child process of its own, on a thread
// of the program's when no child can report it, and, as the last resort,
// on the program's own thread; and a child's whole run.
#include <iostream>
#include <new>

#include "app/childReport.h"
#include "app/inProcessReport.h"
#include "app/printableText.h"
#include "app/reportDriver.h"
#include "driver/driverManager.h"
#include "platform/platform.h"

void reportDriver(const char* name, const char* nextName)
{
    std::cout << "\n---------------------------------------------------------" << std::endl;
    // Printed as the report prints every registry text; the driver is still
    // opened by the name as the registry holds it.
    std::cout << printableText(name) << std::endl;
    std::optional<ChildOutcome> outcome = reportInChild(name, nextName);
    if (!outcome) {
        // A driver left behind may keep every other from the process.
        const std::string blocked = inProcessBlockLine(name);
        if (!blocked.empty()) {
            std::cerr << blocked << std::endl;
            return;
        }
        outcome = reportOnThread(name);
    }
    if (!outcome) {
        platform::startCom();
        reportDriverInProcess(name);
        platform::endCom();
        return;
    }
    const std::string line = childOutcomeLine(*outcome);
    if (!line.empty())
        std::cerr << line << std::endl;
}

int reportAsChild(const char* name, const CLSID& clsid)
{
    try {
        driverManager = new DriverManager(clsid, name);
    } catch (const std::bad_alloc&) {
        return 1;
    }
    // COM is made ready before the turn comes, while the driver before
    // reports.
    platform::startCom();
    platform::awaitTurn();
    reportDriverInProcess(name);
    platform::announceReportFinished();
    delete driverManager;
    driverManager = nullptr;
    platform::endCom();
    return 0;
}
