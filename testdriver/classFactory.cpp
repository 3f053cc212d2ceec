#include "testdriver/classFactory.h"

#include <memory>
#include <vector>

#include "testdriver/eventLog.h"

namespace {

// Driver objects are not freed by their last Release (see FakeDriver), and
// the DLL never unloads, so they stay here until the process ends.
std::vector<std::unique_ptr<memory::FakeDriver>>& driverObjects()
{
    static std::vector<std::unique_ptr<memory::FakeDriver>> objects;
    return objects;
}

} // namespace

ClassFactory::ClassFactory(const Profile& profile)
    : profile(profile)
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
    if (!IsEqualIID(iid, profile.clsid))
        return E_NOINTERFACE;
    auto log = std::make_shared<memory::FakeDriverLog>();
    const std::string source = std::string(profile.label) + "#" + std::to_string(driverObjects().size() + 1) + ": ";
    log->echo = [source](const std::string& event) { appendEvent(source + event); };
    driverObjects().push_back(std::make_unique<memory::FakeDriver>(profile.script, log));
    *object = static_cast<IASIO*>(driverObjects().back().get());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL)
{
    // The DLL never unloads, so locks need no count.
    return S_OK;
}
