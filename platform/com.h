// The COM basics that driver objects are built on: GUID, HRESULT and
// IUnknown. On Windows these are the system's own; elsewhere they are
// declared here with the same shape, so the driver interface has one
// definition on every platform.
#pragma once

#include <cstdint>
#include <cstring>

#ifdef _WIN32

#include <objbase.h>

#else

// COM's calling convention matters only to 32-bit Windows.
#define STDMETHODCALLTYPE

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using CLSID = GUID;
using IID = GUID;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(const IID& iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

#endif

inline bool sameGuid(const GUID& a, const GUID& b)
{
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
