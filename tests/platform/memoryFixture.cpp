// The fixture on the in-memory stand-in, filled through its own controls.
#include "platformFixture.h"

#include "platform/memory/memoryPlatform.h"

namespace {

class MemoryFixture : public PlatformFixture {
public:
    void createKey(platform::RootKey root, const std::string& path) override { memory::addKey(root, path); }

    void setValue(platform::RootKey root, const std::string& path, const std::string& valueName,
                  const std::string& data) override
    {
        memory::setValue(root, path, valueName, data);
    }

    void clear() override { memory::reset(); }

    [[noreturn]] void raiseFault(std::uint32_t code) override { throw memory::DriverFault{code}; }
};

} // namespace

std::unique_ptr<PlatformFixture> makePlatformFixture()
{
    return std::make_unique<MemoryFixture>();
}
