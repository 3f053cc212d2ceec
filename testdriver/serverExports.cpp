// The four entry points of an in-process COM server, exported by name
// through exports.def.
#include <olectl.h>
#include <windows.h>

#include "testdriver/classFactory.h"
#include "testdriver/registration.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object)
{
    *object = nullptr;
    const Profile* profile = findProfile(clsid);
    if (profile == nullptr)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new ClassFactory(*profile);
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

STDAPI DllRegisterServer()
{
    return registerSampleDrivers();
}

STDAPI DllUnregisterServer()
{
    return unregisterSampleDrivers();
}
