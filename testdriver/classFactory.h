// The class object of one profile: creates its driver objects, each logging
// its events as "label#n: event", n counting the objects of every profile
// from 1 in the order they were created.
#pragma once

#include <windows.h>

#include "testdriver/profiles.h"

class ClassFactory final : public IClassFactory {
public:
    // Starts with one reference.
    explicit ClassFactory(const Profile& profile);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    const Profile& profile;
    ULONG references = 1;
};
