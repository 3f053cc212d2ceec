#include "testdriver/eventLog.h"

#include <windows.h>

#include <filesystem>
#include <fstream>

namespace {

// Beside this DLL, named like it.
const std::wstring& logPath()
{
    static const std::wstring path = [] {
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&logPath), &module);
        std::wstring name(32768, L'\0'); // the longest path there is
        name.resize(GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size())));
        return name + L".log";
    }();
    return path;
}

} // namespace

void appendEvent(const std::string& line)
{
    HANDLE file = CreateFileW(logPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

int objectsLogged()
{
    std::ifstream log{std::filesystem::path(logPath())};
    int objects = 0;
    for (std::string line; std::getline(log, line);)
        objects += line.find(": ") != std::string::npos && line.substr(line.find(": ")) == ": created";
    return objects;
}
