// The fixture on Windows: registry content written with the registry's own
// calls, real hardware faults.
#include "platformFixture.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

#include "testing/win32/hardwareFault.h"
#include "testing/win32/registryWriter.h"

namespace {

// The names of the classes root's sandbox keys.
std::vector<std::string> classesSandboxKeys()
{
    HKEY classes;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes", 0, KEY_READ, &classes) != ERROR_SUCCESS)
        throw std::runtime_error("opening the classes failed");
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(classes, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        if (std::string(name).rfind(classesSandbox, 0) == 0)
            names.emplace_back(name);
    RegCloseKey(classes);
    return names;
}

class Win32Fixture : public PlatformFixture {
public:
    void createKey(platform::RootKey root, const std::string& path) override
    {
        createRegistryKey(HKEY_LOCAL_MACHINE, machinePath(root, path));
    }

    void setValue(platform::RootKey root, const std::string& path, const std::string& valueName,
                  const std::string& data) override
    {
        writeRegistryValue(HKEY_LOCAL_MACHINE, machinePath(root, path), valueName, data);
    }

    void clear() override
    {
        removeMachineKey(localSandbox);
        for (const std::string& name : classesSandboxKeys())
            removeMachineKey(machinePath(platform::RootKey::classesRoot, name));
    }

    [[noreturn]] void raiseFault(std::uint32_t code) override { raiseHardwareFault(code); }
};

} // namespace

std::unique_ptr<PlatformFixture> makePlatformFixture()
{
    return std::make_unique<Win32Fixture>();
}
