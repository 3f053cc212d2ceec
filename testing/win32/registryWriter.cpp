#include "testing/win32/registryWriter.h"

#include <stdexcept>
#include <vector>

namespace {

void check(LONG status, const std::string& action)
{
    if (status != ERROR_SUCCESS)
        throw std::runtime_error(action + " failed with " + std::to_string(status));
}

HKEY createKey(HKEY root, const std::string& path)
{
    HKEY key;
    check(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), "creating " + path);
    return key;
}

} // namespace

void createRegistryKey(HKEY root, const std::string& path)
{
    RegCloseKey(createKey(root, path));
}

void writeRegistryValue(HKEY root, const std::string& path, const std::string& valueName, const std::string& data)
{
    // RegSetValueExA counts a string's terminator that the size leaves out
    // when a zero follows the data in memory; a non-zero byte there keeps
    // the data as given.
    std::vector<BYTE> bytes(data.begin(), data.end());
    bytes.push_back('#');
    const HKEY key = createKey(root, path);
    const LONG status =
        RegSetValueExA(key, valueName.c_str(), 0, REG_SZ, bytes.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    check(status, "setting " + valueName + " of " + path);
}
