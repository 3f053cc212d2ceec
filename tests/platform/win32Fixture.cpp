// The fixture on Windows: registry content written with the registry's own
// calls, files created in the temporary directory, real hardware faults.
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

std::string fileDirectory()
{
    char temp[MAX_PATH + 1];
    if (GetTempPathA(sizeof temp, temp) == 0)
        throw std::runtime_error("no temporary directory");
    return std::string(temp) + "asio-report-contract";
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

    std::string addFile(const std::string& name) override
    {
        CreateDirectoryA(directory.c_str(), nullptr);
        const std::string path = directory + "\\" + name;
        const HANDLE file =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            throw std::runtime_error("creating file " + path + " failed");
        CloseHandle(file);
        files.push_back(path);
        return path;
    }

    void clear() override
    {
        removeMachineKey(localSandbox);
        for (const std::string& name : classesSandboxKeys())
            removeMachineKey(machinePath(platform::RootKey::classesRoot, name));
        for (const std::string& path : files)
            DeleteFileA(path.c_str());
        files.clear();
        RemoveDirectoryA(directory.c_str());
    }

    [[noreturn]] void raiseFault(std::uint32_t code) override { raiseHardwareFault(code); }

private:
    const std::string directory = fileDirectory();
    std::vector<std::string> files;
};

} // namespace

std::unique_ptr<PlatformFixture> makePlatformFixture()
{
    return std::make_unique<Win32Fixture>();
}
