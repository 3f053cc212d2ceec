// The fake driver as a class of the stand-in's class table. Kept apart
// from the driver itself so that the test driver DLL can build the driver
// without the stand-in.
#include <vector>

#include "platform/memory/fakeDriver.h"
#include "platform/memory/memoryPlatform.h"

namespace memory {

void raiseDriverFault(std::uint32_t code)
{
    throw DriverFault{code};
}

std::shared_ptr<FakeDriverLog> registerFakeDriver(const CLSID& clsid, const FakeScript& script)
{
    auto log = std::make_shared<FakeDriverLog>();
    auto objects = std::make_shared<std::vector<std::unique_ptr<FakeDriver>>>();
    registerClass(clsid, [clsid, script, log, objects](const IID& iid, void** object) {
        // The driver's class id doubles as the id of its interface.
        if (!sameGuid(iid, clsid))
            return E_NOINTERFACE;
        objects->push_back(std::make_unique<FakeDriver>(script, log));
        *object = static_cast<IASIO*>(objects->back().get());
        return S_OK;
    });
    return log;
}

} // namespace memory
