// The seam over the real Windows calls: each function is one system call,
// with the arguments the contract in platform.h names.
#include "platform/platform.h"

#include <windows.h>

#include <mutex>

namespace {

HKEY handleOf(platform::RegKey key)
{
    return reinterpret_cast<HKEY>(key);
}

// Hands out an opened key; a failed open leaves *key as it was.
std::int32_t handOut(LONG status, HKEY opened, platform::RegKey* key)
{
    if (status == ERROR_SUCCESS)
        *key = reinterpret_cast<platform::RegKey>(opened);
    return static_cast<std::int32_t>(status);
}

std::uint64_t registryCalls = 0;

// The guard's state, each thread's own: a report thread left hung in a
// guarded call stays guarded while another thread reports. A driver may
// have threads of its own, which are never guarded.
struct Guard {
    CONTEXT resumeContext;
    bool faulted;
    DWORD faultCode;
    bool guarding;
#if defined(_M_IX86) || defined(__i386__)
    void* frameHandlers;
#endif
};
thread_local Guard guard;

// The filter is the process's: it is installed while any thread guards a
// call, and the one in place before it comes back once none does.
std::mutex filterLock;
int guardedCalls;
LPTOP_LEVEL_EXCEPTION_FILTER filterBefore;

// Reached only when no handler along the stack took the exception: the
// driver did not handle its own fault. Execution resumes where runGuarded
// captured its context, with the fault recorded.
LONG WINAPI resumeAfterFault(EXCEPTION_POINTERS* exception)
{
    // Resuming a thread that is not in a guarded call has nowhere to go,
    // and a thread whose stack overflowed has no room left to go on: such
    // faults go where they would have gone.
    if (!guard.guarding || exception->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW)
        return filterBefore != nullptr ? filterBefore(exception) : EXCEPTION_CONTINUE_SEARCH;
    guard.guarding = false;
    guard.faulted = true;
    guard.faultCode = exception->ExceptionRecord->ExceptionCode;
    // Resuming elsewhere is what makes even a noncontinuable exception, an
    // escaped C++ exception for one, survivable.
    exception->ExceptionRecord->ExceptionFlags &= ~static_cast<DWORD>(EXCEPTION_NONCONTINUABLE);
    *exception->ContextRecord = guard.resumeContext;
    return EXCEPTION_CONTINUE_EXECUTION;
}

#if defined(_M_IX86) || defined(__i386__)
// On 32-bit Windows RtlCaptureContext records the state of its caller's
// caller, so runGuarded calls it through this helper to record itself.
__declspec(noinline) void captureCallerContext(CONTEXT* context)
{
    RtlCaptureContext(context);
}

// The head of the thread's chain of frame handlers, at fs:[0].
void* frameHandlerHead()
{
#ifdef _MSC_VER
    return reinterpret_cast<void*>(__readfsdword(0));
#else
    void* head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
#endif
}

void setFrameHandlerHead(void* head)
{
#ifdef _MSC_VER
    __writefsdword(0, reinterpret_cast<DWORD>(head));
#else
    asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
#endif
}
#endif

} // namespace

namespace platform {

std::int32_t openRootKey(RootKey root, const char* path, RegKey* key)
{
    ++registryCalls;
    const HKEY rootKey = root == RootKey::localMachine ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyA(rootKey, path, &opened);
    return handOut(status, opened, key);
}

std::int32_t openSubkey(RegKey parent, const char* name, RegKey* key)
{
    ++registryCalls;
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyExA(handleOf(parent), name, 0, KEY_READ, &opened);
    return handOut(status, opened, key);
}

std::int32_t enumSubkey(RegKey key, std::uint32_t index, char* name, std::uint32_t size)
{
    ++registryCalls;
    return static_cast<std::int32_t>(RegEnumKeyA(handleOf(key), index, name, size));
}

std::int32_t maxSubkeyNameSize(RegKey key, std::uint32_t* size)
{
    ++registryCalls;
    // The longest name is counted in characters; in the ANSI code page each
    // may take up to MaxCharSize bytes.
    DWORD longest = 0;
    const LONG status = RegQueryInfoKeyA(handleOf(key), nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        return static_cast<std::int32_t>(status);
    CPINFO codePage;
    const UINT bytesPerCharacter = GetCPInfo(CP_ACP, &codePage) ? codePage.MaxCharSize : 4;
    *size = longest * bytesPerCharacter + 1;
    return registryOk;
}

std::int32_t queryValue(RegKey key, const char* valueName, char* buffer, std::uint32_t* size)
{
    ++registryCalls;
    // DWORD is unsigned long, a type distinct from std::uint32_t.
    DWORD byteCount = *size;
    const LONG status =
        RegQueryValueExA(handleOf(key), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &byteCount);
    *size = byteCount;
    return static_cast<std::int32_t>(status);
}

std::uint64_t registryCallCount()
{
    return registryCalls;
}

void closeKey(RegKey key)
{
    RegCloseKey(handleOf(key));
}

void lowerText(char* text, std::uint32_t length)
{
    CharLowerBuffA(text, length);
}

std::int32_t testFile(const char* path)
{
    OFSTRUCT fileInfo{};
    fileInfo.cBytes = static_cast<BYTE>(sizeof fileInfo);
    return OpenFile(path, &fileInfo, OF_EXIST);
}

bool parseClassId(const char* text, CLSID* clsid)
{
    constexpr int wideCapacity = 100;
    wchar_t wide[wideCapacity];
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, wideCapacity) == 0)
        return false;
    // CLSIDFromString may write part of a class id before it fails, so it
    // writes into a copy.
    CLSID parsed;
    if (CLSIDFromString(wide, &parsed) != S_OK)
        return false;
    *clsid = parsed;
    return true;
}

void startCom()
{
    // S_FALSE (already started on this thread) also needs its endCom, so
    // the result changes nothing here.
    CoInitialize(NULL);
}

void endCom()
{
    CoUninitialize();
}

HRESULT createInstance(const CLSID& clsid, const IID& iid, void** object)
{
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object);
}

bool runGuarded(void (*call)(void* context), void* context, std::uint32_t* faultCode)
{
    // The last-chance filter sees only what no handler of the driver's
    // took, so exceptions a driver raises and handles itself pass as usual.
    {
        const std::lock_guard<std::mutex> lock(filterLock);
        if (guardedCalls++ == 0)
            filterBefore = SetUnhandledExceptionFilter(resumeAfterFault);
    }
    guard.faulted = false;
#if defined(_M_IX86) || defined(__i386__)
    guard.frameHandlers = frameHandlerHead();
    captureCallerContext(&guard.resumeContext);
#else
    RtlCaptureContext(&guard.resumeContext);
#endif
    // A fault resumes here a second time, with faulted set.
    if (!guard.faulted) {
        guard.guarding = true;
        call(context);
        guard.guarding = false;
    }
#if defined(_M_IX86) || defined(__i386__)
    // The abandoned frames' handlers are gone with them.
    setFrameHandlerHead(guard.frameHandlers);
#endif
    {
        const std::lock_guard<std::mutex> lock(filterLock);
        if (--guardedCalls == 0)
            SetUnhandledExceptionFilter(filterBefore);
    }
    if (guard.faulted)
        *faultCode = guard.faultCode;
    return !guard.faulted;
}

void* consoleWindow()
{
    return GetConsoleWindow();
}

} // namespace platform
