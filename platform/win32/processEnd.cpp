// ExitProcess stops every other thread, then runs the fiber-local storage
// callbacks of the thread that called it, whoever that is. So every thread
// carries a value in one slot, given to it as it starts by the program's
// thread callback, and the slot's callback says the last words.
#include "platform/win32/processEnd.h"

#include <windows.h>

namespace {

DWORD endSlot = FLS_OUT_OF_INDEXES;
void (*lastWordsToSay)();
using ShutdownInProgress = BOOLEAN(NTAPI*)();
ShutdownInProgress shutdownInProgress;

void NTAPI onSlotFreed(void*)
{
    // A thread's own end frees its value too: only the process's end counts.
    if (shutdownInProgress())
        lastWordsToSay();
}

void NTAPI onThreadStart(void*, DWORD reason, void*)
{
    if (reason == DLL_THREAD_ATTACH && endSlot != FLS_OUT_OF_INDEXES)
        FlsSetValue(endSlot, &endSlot);
}

} // namespace

// The system calls the program's thread callbacks from this section for
// every thread that starts.
#ifdef _MSC_VER
#pragma comment(linker, "/INCLUDE:_tls_used")
#ifdef _M_IX86
#pragma comment(linker, "/INCLUDE:_threadStartCallback")
#else
#pragma comment(linker, "/INCLUDE:threadStartCallback")
#endif
#pragma const_seg(".CRT$XLY")
extern "C" const PIMAGE_TLS_CALLBACK threadStartCallback = onThreadStart;
#pragma const_seg()
#else
extern "C" __attribute__((section(".CRT$XLY"), used)) const PIMAGE_TLS_CALLBACK threadStartCallback = onThreadStart;
#endif

void atProcessEnd(void (*lastWords)())
{
    shutdownInProgress = reinterpret_cast<ShutdownInProgress>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
    if (shutdownInProgress == nullptr)
        return;
    lastWordsToSay = lastWords;
    endSlot = FlsAlloc(onSlotFreed);
    // This thread gets its value here, every thread started later its own.
    if (endSlot != FLS_OUT_OF_INDEXES)
        FlsSetValue(endSlot, &endSlot);
}
