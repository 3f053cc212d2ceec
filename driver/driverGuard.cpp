#include "driver/driverGuard.h"

#include "driver/asioCalls.h"
#include "driver/driverManager.h"

void abandonFaultedDriver(const char* operation, std::uint32_t code)
{
    activeDriver = nullptr;
    driverManager->abandonCurrent();
    throw DriverCrash{operation, code};
}
