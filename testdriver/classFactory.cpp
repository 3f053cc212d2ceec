#include "testdriver/classFactory.h"

#include <memory>
#include <vector>

#include "testdriver/eventLog.h"
#include "testdriver/troubles.h"

namespace {

// One log for the process, so that objects are numbered across classes,
// and after those of the run's processes before. Driver objects are not
// freed by their last Release (see fake::Driver), and the DLL never
// unloads, so they stay until the process ends.
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

} // namespace

ClassFactory::ClassFactory(const CLSID& clsid, fake::Script script)
    : clsid(clsid)
    , script(std::move(script))
{
}

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID iid, void** object)
{
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
}

ULONG STDMETHODCALLTYPE ClassFactory::AddRef()
{
    return ++references;
}

ULONG STDMETHODCALLTYPE ClassFactory::Release()
{
    const ULONG left = --references;
    if (left == 0)
        delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
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

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL)
{
    // The DLL never unloads, so locks need no count.
    return S_OK;
}
