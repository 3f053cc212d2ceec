// The class object of one scripted driver class: creates its driver
// objects, each logging its events into the log beside the DLL.
#pragma once

#include <windows.h>

#include "testing/fakeDriver.h"

class ClassFactory final : public IClassFactory {
public:
    // Starts with one reference.
    ClassFactory(const CLSID& clsid, fake::Script script);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    const CLSID clsid;
    const fake::Script script;
    ULONG references = 1;
};
