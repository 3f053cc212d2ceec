#include "testing/win32/registryWriter.h"

#include <stdexcept>

namespace {

void check(LONG status, const std::string& action)
{
    if (status != ERROR_SUCCESS)
        throw std::runtime_error(action + " failed with " + std::to_string(status));
}

std::wstring wide(const std::string& utf8)
{
    std::wstring text(utf8.size(), L'\0');
    text.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                             text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace

void writeRegistryItem(const RegistryItem& item, REGSAM view)
{
    HKEY key;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide(machinePath(item.root, item.path)).c_str(), 0, nullptr, 0,
                                  KEY_WRITE | view, nullptr, &key, nullptr);
    check(status, "creating " + item.path);
    if (item.isValue) {
        const std::wstring name = wide(item.name);
        const std::wstring text = wide(item.data);
        status = item.isText
            ? RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() * sizeof(wchar_t)))
            : RegSetValueExW(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(item.data.data()),
                             static_cast<DWORD>(item.data.size()));
    }
    RegCloseKey(key);
    check(status, "setting " + item.name + " of " + item.path);
}

void removeMachineKey(const std::string& path, REGSAM view)
{
    const std::size_t last = path.rfind('\\');
    HKEY parent;
    LONG status =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(path.substr(0, last)).c_str(), 0, KEY_ALL_ACCESS | view, &parent);
    if (status == ERROR_SUCCESS) {
        status = RegDeleteTreeW(parent, wide(path.substr(last + 1)).c_str());
        RegCloseKey(parent);
    }
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        check(status, "removing " + path);
}

std::string machinePath(platform::RootKey root, const std::string& path)
{
    return root == platform::RootKey::localMachine ? path : "Software\\Classes\\" + path;
}
