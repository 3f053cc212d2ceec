// The entry points of an in-process COM server, exported by name through
// exports.def. Every class whose script the registry holds is served.
#include <windows.h>

#include <string>
#include <vector>

#include "testdriver/classFactory.h"
#include "testing/fakeScript.h"

namespace {

bool readScriptValue(const std::string& classId, const char* name, std::string* text)
{
    const std::string key = std::string(fake::scriptsKey) + "\\" + classId;
    std::vector<char> buffer(1 << 16);
    DWORD size = static_cast<DWORD>(buffer.size() - 1);
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_ANY, nullptr, buffer.data(), &size) != ERROR_SUCCESS)
        return false;
    *text = std::string(buffer.data(), size).c_str();
    return true;
}

} // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object)
{
    *object = nullptr;
    wchar_t wide[39];
    StringFromGUID2(clsid, wide, 39);
    const std::string classId(wide, wide + 38);
    std::string label;
    // A class without a script is not served.
    if (!readScriptValue(classId, "label", &label))
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new ClassFactory(clsid, fake::readScript(readScriptValue, classId));
    const HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}

// Never: a released driver object must stay answerable, so that a call
// the host makes after its last Release is logged rather than a crash.
STDAPI DllCanUnloadNow()
{
    return S_FALSE;
}
