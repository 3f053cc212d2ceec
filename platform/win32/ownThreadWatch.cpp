#include "platform/win32/ownThreadWatch.h"

#include <cstring>

#include "platform/platform.h"
#include "platform/win32/askingWindows.h"

namespace {

struct Watch {
    DWORD limit = 0;
    DWORD thread = 0; // the program's own; 0 while there is no watch
    HANDLE wake = nullptr;
    HANDLE errors = nullptr;
    volatile LONG armed = 0;
    // When the program's thread began its own work; 0 while it waits.
    volatile LONG64 since = 0;
    int waits = 0; // nested, counted by the program's thread alone
    volatile LONG faulted = 0;
    volatile LONG faultCode = 0;
};
Watch watch;

// The line, made and written without the heap, which the driver may hold.
void sayCutShort()
{
    char line[128] = "!!! Error: Report cut short: a driver left behind holds up the program (no answer in ";
    std::size_t length = std::strlen(line);
    char digits[10];
    int count = 0;
    DWORD seconds = watch.limit / 1000;
    do
        digits[count++] = static_cast<char>('0' + seconds % 10);
    while ((seconds /= 10) != 0);
    while (count > 0)
        line[length++] = digits[--count];
    for (const char* end = " s).\r\n"; *end != '\0'; ++end)
        line[length++] = *end;
    DWORD written = 0;
    WriteFile(watch.errors, line, static_cast<DWORD>(length), &written, nullptr);
}

void endProcess(DWORD status)
{
    platform::releaseConsole();
    TerminateProcess(GetCurrentProcess(), status);
}

DWORD WINAPI watchOwnThread(void*)
{
    for (ULONGLONG lastLook = GetTickCount64();;) {
        WaitForSingleObject(watch.wake, 250);
        if (watch.faulted != 0)
            endProcess(static_cast<DWORD>(watch.faultCode));
        const ULONGLONG now = GetTickCount64();
        LONG64 since = InterlockedCompareExchange64(&watch.since, 0, 0);
        // A driver the program's thread reports itself, as the last resort,
        // may ask its user too: that time is the user's.
        if (watch.armed != 0 && since != 0 && asksUser(0, watch.thread))
            InterlockedCompareExchange64(&watch.since, since + static_cast<LONG64>(now - lastLook), since);
        lastLook = now;
        since = InterlockedCompareExchange64(&watch.since, 0, 0);
        if (watch.armed != 0 && since != 0 && now - static_cast<ULONGLONG>(since) > watch.limit) {
            sayCutShort();
            endProcess(0);
        }
    }
}

} // namespace

void startOwnThreadWatch(DWORD limitMilliseconds)
{
    watch.limit = limitMilliseconds;
    watch.errors = GetStdHandle(STD_ERROR_HANDLE);
    watch.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (watch.wake != nullptr && CreateThread(nullptr, 0, watchOwnThread, nullptr, 0, nullptr) != nullptr)
        watch.thread = GetCurrentThreadId();
}

void armOwnThreadWatch()
{
    if (watch.armed == 0) {
        ownThreadMoves();
        watch.armed = 1;
    }
}

void ownThreadMoves()
{
    if (GetCurrentThreadId() == watch.thread && watch.waits == 0)
        InterlockedExchange64(&watch.since, static_cast<LONG64>(GetTickCount64()));
}

OwnThreadWaits::OwnThreadWaits()
    : own(GetCurrentThreadId() == watch.thread)
{
    if (own && watch.waits++ == 0)
        InterlockedExchange64(&watch.since, 0);
}

OwnThreadWaits::~OwnThreadWaits()
{
    if (own && --watch.waits == 0)
        InterlockedExchange64(&watch.since, static_cast<LONG64>(GetTickCount64()));
}

bool endOnWatchThread(DWORD code)
{
    if (watch.thread == 0)
        return false;
    watch.faultCode = static_cast<LONG>(code);
    watch.faulted = 1;
    SetEvent(watch.wake);
    for (;;)
        Sleep(INFINITE);
}
