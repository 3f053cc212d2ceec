// The console the program runs in belongs to the console, not to the
// program: what the program changes in it outlives the program unless it
// is put back. So the program notes how it found the console and puts it
// back on every way out: its own end, an interrupt, a fault no guard
// takes, the process ended by whichever thread, and std::terminate.
#include "platform/platform.h"

#include <windows.h>

#include <cstdlib>
#include <exception>

#include "platform/win32/console.h"
#include "platform/win32/ownThreadWatch.h"
#include "platform/win32/processEnd.h"

namespace {

volatile LONG taken;
UINT codePageBefore; // 0 without a console
HANDLE consoleInput;
DWORD modesBefore;
bool inputIsConsole;
// Held while the input modes change, and by an interrupt from the moment
// it puts the console back until the process ends.
SRWLOCK modesLock = SRWLOCK_INIT;

void putConsoleBack()
{
    if (codePageBefore != 0)
        SetConsoleOutputCP(codePageBefore);
    if (inputIsConsole)
        SetConsoleMode(consoleInput, modesBefore);
}

// Ctrl+C, Ctrl+Break, the console closing: the program ends as the system
// would end it, after putting the console back, and at once, so that no
// line follows the interrupt. Report children leave the events to it, and
// end with it.
BOOL WINAPI endOnControl(DWORD)
{
    AcquireSRWLockExclusive(&modesLock);
    putConsoleBack();
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

// A fault that no guard takes ends the program at once with its code, as
// it ends a report child, so that no debugger or error report writes into
// the report or waits.
LONG WINAPI endOnFault(EXCEPTION_POINTERS* exception)
{
    const DWORD code = exception->ExceptionRecord->ExceptionCode;
    // A thread whose stack overflowed has little room left to do it itself.
    endOnWatchThread(code);
    platform::releaseConsole();
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_CONTINUE_SEARCH;
}

[[noreturn]] void endOnTerminate()
{
    platform::releaseConsole();
    std::abort();
}

} // namespace

void setInputModes(HANDLE input, DWORD modes)
{
    AcquireSRWLockExclusive(&modesLock);
    SetConsoleMode(input, modes);
    ReleaseSRWLockExclusive(&modesLock);
}

namespace platform {

void takeConsole()
{
    codePageBefore = GetConsoleOutputCP();
    consoleInput = GetStdHandle(STD_INPUT_HANDLE);
    inputIsConsole = GetConsoleMode(consoleInput, &modesBefore) != FALSE;
    SetConsoleCtrlHandler(endOnControl, TRUE);
    SetUnhandledExceptionFilter(endOnFault);
    std::set_terminate(endOnTerminate);
    atProcessEnd(releaseConsole);
    taken = 1;
    SetConsoleOutputCP(65001);
}

void releaseConsole()
{
    // Once, from whichever way out comes first. The handler goes last, so
    // that an interrupt meanwhile still finds the console put back.
    if (InterlockedExchange(&taken, 0) == 0)
        return;
    putConsoleBack();
    SetConsoleCtrlHandler(endOnControl, FALSE);
}

} // namespace platform
