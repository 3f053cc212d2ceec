#include <iostream>

#include "app/report.h"
#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "platform/platform.h"

void reportDriver(const char* name)
{
    std::cout << "\n---------------------------------------------------------" << std::endl;
    std::cout << name << std::endl;

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
