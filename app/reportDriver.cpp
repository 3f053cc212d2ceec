#include <cstdio>
#include <iostream>
#include <new>

#include "app/childReport.h"
#include "app/printableText.h"
#include "app/report.h"
#include "driver/asioCalls.h"
#include "driver/driverGuard.h"
#include "driver/driverManager.h"
#include "platform/platform.h"

namespace {

void reportOpenedDriver(const char* name)
{
    if (!driverManager->openDriver(name)) {
        std::cerr << "!!! Error: Could not load driver into memory." << std::endl;
        return;
    }

    ASIODriverInfo info{};
    info.sysRef = platform::consoleWindow();
    if (ASIOInit(&info) != ASE_OK) {
        std::cerr << "!!! Error: ASIOInit failed." << std::endl;
        // The failed init let go of activeDriver; the manager still holds
        // the object.
        driverManager->closeCurrent();
        return;
    }

    std::cout << "    ASIO Driver Version: " << info.driverVersion << std::endl;
    std::cout << "    Driver Message:      " << info.errorMessage << std::endl;

    reportBuffersAndChannels();
    probePcmRates();
    probeDsd();

    ASIOExit();
    driverManager->closeCurrent();
}

} // namespace

std::string crashLine(const std::string& where, std::uint32_t code)
{
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(code));
    return "!!! Error: Driver crashed " + where + " (exception 0x" + hex + ").";
}

void reportDriverInProcess(const char* name)
{
    try {
        reportOpenedDriver(name);
    } catch (const DriverCrash& crash) {
        // The faulted driver is abandoned; its report ends here.
        std::cerr << crashLine(std::string("in ") + crash.operation, crash.code) << std::endl;
    }
}

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
