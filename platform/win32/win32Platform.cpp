// The seam over the real Windows calls: each function is one system call,
// with the arguments the contract in platform.h names.
#include "platform/platform.h"

#include <windows.h>

namespace {

HKEY handleOf(platform::RegKey key)
{
    return reinterpret_cast<HKEY>(key);
}

// Hands out an opened key; a failed open leaves *key as it was.
std::int32_t handOut(LONG status, HKEY opened, platform::RegKey* key)
{
    if (status == ERROR_SUCCESS)
        *key = reinterpret_cast<platform::RegKey>(opened);
    return static_cast<std::int32_t>(status);
}

} // namespace

namespace platform {

std::int32_t openRootKey(RootKey root, const char* path, RegKey* key)
{
    const HKEY rootKey = root == RootKey::localMachine ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyA(rootKey, path, &opened);
    return handOut(status, opened, key);
}

std::int32_t openSubkey(RegKey parent, const char* name, RegKey* key)
{
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyExA(handleOf(parent), name, 0, KEY_READ, &opened);
    return handOut(status, opened, key);
}

std::int32_t enumSubkey(RegKey key, std::uint32_t index, char* name, std::uint32_t size)
{
    return static_cast<std::int32_t>(RegEnumKeyA(handleOf(key), index, name, size));
}

std::int32_t queryValue(RegKey key, const char* valueName, char* buffer, std::uint32_t* size)
{
    // DWORD is unsigned long, a type distinct from std::uint32_t.
    DWORD byteCount = *size;
    const LONG status =
        RegQueryValueExA(handleOf(key), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &byteCount);
    *size = byteCount;
    return static_cast<std::int32_t>(status);
}

void closeKey(RegKey key)
{
    RegCloseKey(handleOf(key));
}

void lowerText(char* text, std::uint32_t length)
{
    CharLowerBuffA(text, length);
}

std::int32_t testFile(const char* path)
{
    OFSTRUCT fileInfo{};
    fileInfo.cBytes = static_cast<BYTE>(sizeof fileInfo);
    return OpenFile(path, &fileInfo, OF_EXIST);
}

bool parseClassId(const char* text, CLSID* clsid)
{
    constexpr int wideCapacity = 100;
    wchar_t wide[wideCapacity];
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, wideCapacity) == 0)
        return false;
    // CLSIDFromString may write part of a class id before it fails, so it
    // writes into a copy.
    CLSID parsed;
    if (CLSIDFromString(wide, &parsed) != S_OK)
        return false;
    *clsid = parsed;
    return true;
}

void startCom()
{
    // S_FALSE (already started on this thread) also needs its endCom, so
    // the result changes nothing here.
    CoInitialize(NULL);
}

void endCom()
{
    CoUninitialize();
}

HRESULT createInstance(const CLSID& clsid, const IID& iid, void** object)
{
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object);
}

void setConsoleUtf8()
{
    SetConsoleOutputCP(65001);
}

void* consoleWindow()
{
    return GetConsoleWindow();
}

} // namespace platform
