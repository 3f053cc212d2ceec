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

std::string crashLine(const char* operation, std::uint32_t code)
{
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(code));
    return std::string("!!! Error: Driver crashed in ") + operation + " (exception 0x" + hex + ").";
}

std::string childOutcomeLine(const ChildOutcome& outcome)
{
    switch (outcome.end) {
    case ChildOutcome::End::hung:
        return "!!! Error: Driver hung in " + outcome.operation + " (no answer in " + std::to_string(hangSeconds) +
            " s).";
    case ChildOutcome::End::ended:
        if (outcome.onThread)
            return "!!! Error: Driver ended its thread in " + outcome.operation + " (exit code " +
                std::to_string(outcome.exitStatus) + ").";
        // A status from 0xC0000000 up is an exception's code.
        if (outcome.exitStatus >= 0xC0000000u)
            return crashLine(outcome.operation.c_str(), outcome.exitStatus);
        return "!!! Error: Driver ended the process in " + outcome.operation + " (exit code " +
            std::to_string(outcome.exitStatus) + ").";
    case ChildOutcome::End::lost:
        return "!!! Error: Report cut short in " + outcome.operation + ": waiting for the driver failed.";
    default:
        return "";
    }
}

void reportDriverInProcess(const char* name)
{
    try {
        reportOpenedDriver(name);
    } catch (const DriverCrash& crash) {
        // The faulted driver is abandoned; its report ends here.
        std::cerr << crashLine(crash.operation, crash.code) << std::endl;
    }
}

void reportDriver(const char* name, const char* nextName)
{
    std::cout << "\n---------------------------------------------------------" << std::endl;
    // Printed as the report prints every registry text; the driver is still
    // opened by the name as the registry holds it.
    std::cout << printableText(name) << std::endl;
    std::optional<ChildOutcome> outcome = reportInChild(name, nextName);
    if (!outcome)
        outcome = reportOnThread(name);
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
