#include "testdriver/troubles.h"

#include <windows.h>

#include <malloc.h>

#include <cstdio>
#include <string>

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

// Shows a window, lets it be drawn, and never serves it again.
void freezeWindow()
{
    if (CreateWindowExW(0, L"STATIC", L"Test driver", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                        320, 120, nullptr, nullptr, nullptr, nullptr) != nullptr) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
}

// Writes lines of 64 bytes to standard output, the first half straight to
// its handle, the other through the C runtime's stream, as drivers do.
void writeOwnOutput(std::uint32_t lines)
{
    for (std::uint32_t line = 1; line <= lines; ++line) {
        char text[80];
        const int length = std::snprintf(
            text, sizeof text, "    The driver's own output, line %04u of %04u, says hello.\r\n", line, lines);
        if (line <= lines / 2) {
            DWORD written = 0;
            WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(length), &written, nullptr);
        } else {
            text[length - 2] = '\n';
            std::fwrite(text, 1, static_cast<std::size_t>(length - 1), stdout);
        }
    }
    std::fflush(stdout);
}

// Starts a process that lingers for a while, inheriting every handle it
// can, as a driver starting a helper of its own might.
void startLingeringProcess()
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&startLingeringProcess), &self);
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring command = L"rundll32.exe \"" + std::wstring(path) + L"\",Linger";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
}

BOOL WINAPI endAsInterrupted(DWORD)
{
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

} // namespace

// rundll32's entry into the lingering process.
extern "C" void CALLBACK Linger(HWND, HINSTANCE, LPSTR, int)
{
    Sleep(20000);
}

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
    case fake::Trouble::slowEndsOnInterrupt:
        SetConsoleCtrlHandler(endAsInterrupted, TRUE);
        [[fallthrough]];
    case fake::Trouble::slow:
        Sleep(code);
        break;
    case fake::Trouble::ask:
        MessageBoxW(nullptr, L"No device found. Connect it, then choose OK.", L"Test driver", MB_OK);
        break;
    case fake::Trouble::freezeWindow:
        freezeWindow();
        for (;;)
            Sleep(INFINITE);
    case fake::Trouble::write:
        writeOwnOutput(code);
        break;
    case fake::Trouble::endThreadLoading:
        holdLoader();
        ExitThread(code);
    case fake::Trouble::startProcess:
        startLingeringProcess();
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
