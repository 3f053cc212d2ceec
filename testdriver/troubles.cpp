#include "testdriver/troubles.h"

#include <windows.h>

#include <malloc.h>

#include "testing/win32/hardwareFault.h"

namespace {

DWORD WINAPI faultingThread(void* code)
{
    raiseHardwareFault(*static_cast<std::uint32_t*>(code));
}

// Recurses for good, in frames large enough that each probes its pages:
// Wine then raises the overflow with room for a handler, as Windows does
// (small frames end the process with status 0 under Wine).
int recurse(volatile int depth)
{
    volatile char frame[16384];
    frame[0] = static_cast<char>(depth);
    if (depth < 0)
        return frame[0];
    return recurse(depth + 1) + frame[0];
}

// Takes the loader's lock for good, as a DLL hanging while it loads does:
// no thread can start after it, nor any DLL load.
void holdLoader()
{
    using LockLoader = LONG(NTAPI*)(ULONG, ULONG*, ULONG_PTR*);
    const auto lockLoader = reinterpret_cast<LockLoader>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrLockLoaderLock")));
    ULONG_PTR cookie = 0;
    if (lockLoader != nullptr)
        lockLoader(0, nullptr, &cookie);
}

// Takes the lock of the heap that the host's allocations use, for good.
DWORD WINAPI holdHeap(void* locked)
{
    HeapLock(reinterpret_cast<HANDLE>(_get_heap_handle()));
    SetEvent(static_cast<HANDLE>(locked));
    for (;;)
        Sleep(INFINITE);
}

} // namespace

void makeTrouble(fake::Trouble trouble, std::uint32_t code)
{
    switch (trouble) {
    case fake::Trouble::fault:
        raiseHardwareFault(code);
    case fake::Trouble::hangLoading:
        holdLoader();
        [[fallthrough]];
    case fake::Trouble::hang:
        for (;;)
            Sleep(INFINITE);
    case fake::Trouble::exitProcess:
        ExitProcess(code);
    case fake::Trouble::faultOnThread:
        if (HANDLE thread = CreateThread(nullptr, 0, faultingThread, &code, 0, nullptr)) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
        break;
    case fake::Trouble::overflowStack:
        recurse(0);
        break;
    case fake::Trouble::slow:
        Sleep(code);
        break;
    case fake::Trouble::lockHeap:
        // The driver answers once the lock is taken, allocating nothing
        // more: the host is held up only after the call.
        if (HANDLE locked = CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
            if (HANDLE thread = CreateThread(nullptr, 0, holdHeap, locked, 0, nullptr)) {
                WaitForSingleObject(locked, INFINITE);
                CloseHandle(thread);
            }
            CloseHandle(locked);
        }
        break;
    default:
        break;
    }
}
