// A driver's report in the process and on the thread that call it: the
// driver opened by name, initialised, asked for each section, and closed.
#include <cstdio>
#include <iostream>

#include "app/channelReport.h"
#include "app/inProcessReport.h"
#include "app/rateProbe.h"
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

    reportBufferSizes();
    reportLatencies();
    reportChannels();
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
        driverManager->abandonCurrent();
        std::cerr << crashLine(std::string("in ") + crash.operation, crash.code) << std::endl;
    }
}
