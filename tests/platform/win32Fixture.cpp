// The fixture on Windows: registry content written with the registry's own
// calls, files created in the temporary directory. Writing below
// HKEY_LOCAL_MACHINE takes an administrator on Windows; a Wine prefix
// always allows it.
#include "platformFixture.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

namespace {

void check(LONG status, const std::string& action)
{
    if (status != ERROR_SUCCESS)
        throw std::runtime_error(action + " failed with " + std::to_string(status));
}

// The classes root shows the machine's classes, kept below the local
// machine in Software\Classes: keys written there are seen in both.
std::string machinePath(platform::RootKey root, const std::string& path)
{
    return root == platform::RootKey::localMachine ? path : "Software\\Classes\\" + path;
}

HKEY createMachineKey(platform::RootKey root, const std::string& path)
{
    HKEY key;
    check(RegCreateKeyExA(HKEY_LOCAL_MACHINE, machinePath(root, path).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                          nullptr),
          "creating key " + path);
    return key;
}

void deleteMachineTree(const std::string& path)
{
    const LONG status = RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
    if (status != ERROR_FILE_NOT_FOUND)
        check(status, "deleting key " + path);
}

// The names of the classes root's sandbox keys.
std::vector<std::string> classesSandboxKeys()
{
    HKEY classes;
    check(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes", 0, KEY_READ, &classes), "opening the classes");
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
        RegCloseKey(createMachineKey(root, path));
    }

    void setValue(platform::RootKey root, const std::string& path, const std::string& valueName,
                  const std::string& data) override
    {
        // RegSetValueExA counts a string's terminator that the size leaves
        // out when a zero follows the data in memory; a non-zero byte there
        // keeps the data as given.
        std::vector<BYTE> bytes(data.begin(), data.end());
        bytes.push_back('#');
        const HKEY key = createMachineKey(root, path);
        const LONG status =
            RegSetValueExA(key, valueName.c_str(), 0, REG_SZ, bytes.data(), static_cast<DWORD>(data.size()));
        RegCloseKey(key);
        check(status, "setting value " + valueName + " of " + path);
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
        deleteMachineTree(localSandbox);
        for (const std::string& name : classesSandboxKeys())
            deleteMachineTree(machinePath(platform::RootKey::classesRoot, name));
        for (const std::string& path : files)
            DeleteFileA(path.c_str());
        files.clear();
        RemoveDirectoryA(directory.c_str());
    }

private:
    const std::string directory = fileDirectory();
    std::vector<std::string> files;
};

} // namespace

std::unique_ptr<PlatformFixture> makePlatformFixture()
{
    return std::make_unique<Win32Fixture>();
}
