// The console the program runs in belongs to the console, not to the
// program: what the program changes in it outlives the program unless it
// is put back. So the program notes how it found the console and puts it
// back on every way out, an interrupt's included.
#include "platform/platform.h"

#include <windows.h>

namespace {

bool taken;
UINT codePageBefore; // 0 without a console
HANDLE consoleInput;
DWORD modesBefore;
bool inputIsConsole;

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
    putConsoleBack();
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

} // namespace

namespace platform {

void takeConsole()
{
    codePageBefore = GetConsoleOutputCP();
    consoleInput = GetStdHandle(STD_INPUT_HANDLE);
    inputIsConsole = GetConsoleMode(consoleInput, &modesBefore) != FALSE;
    SetConsoleCtrlHandler(endOnControl, TRUE);
    taken = true;
    SetConsoleOutputCP(65001);
}

void releaseConsole()
{
    if (!taken)
        return;
    SetConsoleCtrlHandler(endOnControl, FALSE);
    putConsoleBack();
    taken = false;
}

} // namespace platform
