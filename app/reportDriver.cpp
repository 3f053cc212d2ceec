#include <cstdio>
#include <iostream>

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

void reportDriver(const char* name)
{
    std::cout << "\n---------------------------------------------------------" << std::endl;
    std::cout << name << std::endl;
    try {
        reportOpenedDriver(name);
    } catch (const DriverCrash& crash) {
        // The faulted driver is abandoned; its report ends here.
        char code[9];
        std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(crash.code));
        std::cerr << "!!! Error: Driver crashed in " << crash.operation << " (exception 0x" << code << ")."
                  << std::endl;
    }
}
