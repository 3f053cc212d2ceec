// An in-process COM server (entry points exported by name, exports.def)
// serving every class whose script the registry holds; its driver objects
// log into the log beside the DLL.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "testdriver/eventLog.h"
#include "testdriver/troubles.h"
#include "testing/fakeScript.h"

namespace {

// One log for the process: objects are numbered across classes, after
// those of the run's earlier processes. Released driver objects stay (see
// fake::Driver), as the DLL never unloads.
fake::Log& processLog()
{
    static fake::Log log{{}, objectsLogged(), 0, appendEvent};
    return log;
}

std::vector<std::unique_ptr<fake::Driver>>& driverObjects()
{
    static std::vector<std::unique_ptr<fake::Driver>> objects;
    return objects;
}

class ClassFactory final : public IClassFactory {
public:
    ClassFactory(const CLSID& clsid, fake::Script script)
        : clsid(clsid)
        , script(std::move(script))
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        const bool known = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory);
        *object = known ? static_cast<IClassFactory*>(this) : nullptr;
        return known ? S_OK : E_NOINTERFACE;
    }

    // The DLL never unloads: a class object, one of a few per run, stays
    // for the process's life, and locks need no count.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        *object = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        // The driver's class id doubles as the id of its interface.
        if (!IsEqualIID(iid, clsid))
            return E_NOINTERFACE;
        driverObjects().push_back(std::make_unique<fake::Driver>(script, processLog(), makeTrouble));
        *object = static_cast<IASIO*>(driverObjects().back().get());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    const CLSID clsid;
    const fake::Script script;
};

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
    return (new ClassFactory(clsid, fake::readScript(readScriptValue, classId)))->QueryInterface(iid, object);
}

// Never: a released driver object must stay answerable (see fake::Driver).
STDAPI DllCanUnloadNow()
{
    return S_FALSE;
}
