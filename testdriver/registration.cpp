#include "testdriver/registration.h"

#include <initializer_list>
#include <string>
#include <utility>

#include "testdriver/modulePath.h"
#include "testdriver/profiles.h"

namespace {

// Sample names are ASCII, so widening each byte is exact.
std::wstring widen(const char* text)
{
    const std::string narrow(text);
    return std::wstring(narrow.begin(), narrow.end());
}

std::wstring classIdText(const CLSID& clsid)
{
    wchar_t text[39];
    StringFromGUID2(clsid, text, 39);
    return text;
}

std::wstring classKeyPath(const Profile& profile)
{
    return L"CLSID\\" + classIdText(profile.clsid);
}

std::wstring driverKeyPath(const Profile& profile)
{
    return L"SOFTWARE\\ASIO\\" + widen(profile.sampleName);
}

// Creates the key at path with any missing parents and sets its text
// values, the default value for a null name.
LSTATUS writeKey(HKEY root, const std::wstring& path,
                 std::initializer_list<std::pair<const wchar_t*, std::wstring>> values)
{
    HKEY key;
    LSTATUS status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    for (const auto& [name, text] : values) {
        const auto size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), size);
        if (status != ERROR_SUCCESS)
            break;
    }
    RegCloseKey(key);
    return status;
}

LSTATUS registerSample(const Profile& profile, const std::wstring& serverPath)
{
    const std::wstring name = widen(profile.sampleName);
    LSTATUS status = writeKey(HKEY_CLASSES_ROOT, classKeyPath(profile), {{nullptr, name}});
    if (status == ERROR_SUCCESS)
        status = writeKey(HKEY_CLASSES_ROOT, classKeyPath(profile) + L"\\InprocServer32",
                          {{nullptr, serverPath}, {L"ThreadingModel", L"Apartment"}});
    if (status == ERROR_SUCCESS)
        status = writeKey(HKEY_LOCAL_MACHINE, driverKeyPath(profile),
                          {{L"clsid", classIdText(profile.clsid)}, {L"description", name}});
    return status;
}

// A key that is already gone counts as removed.
LSTATUS removeKey(HKEY root, const std::wstring& path)
{
    const LSTATUS status = RegDeleteTreeW(root, path.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LSTATUS unregisterSample(const Profile& profile)
{
    const LSTATUS status = removeKey(HKEY_LOCAL_MACHINE, driverKeyPath(profile));
    if (status != ERROR_SUCCESS)
        return status;
    return removeKey(HKEY_CLASSES_ROOT, classKeyPath(profile));
}

} // namespace

HRESULT registerSampleDrivers()
{
    const std::wstring serverPath = modulePath();
    for (const Profile& profile : profiles()) {
        if (profile.sampleName == nullptr)
            continue;
        const LSTATUS status = registerSample(profile, serverPath);
        if (status != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

HRESULT unregisterSampleDrivers()
{
    for (const Profile& profile : profiles()) {
        if (profile.sampleName == nullptr)
            continue;
        const LSTATUS status = unregisterSample(profile);
        if (status != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}
