// Guards against a wait for a key that takes a modifier, a key going up or more than one key press, that keeps line
// input or echo on while it reads, or that leaves the console's input modes changed after the key or after Ctrl+C.
// The console is a pseudo console, with this program in it: main acts as the test asks.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace {

// The exit status of this program in the console.
enum Outcome : DWORD { passed, notOneKeyTaken, modesChanged, notRawWhileReading, ctrlCChangedModes, waitOutlivedCtrlC };

HANDLE console;
DWORD modesBefore;

DWORD consoleModes()
{
    DWORD modes = 0;
    GetConsoleMode(console, &modes);
    return modes;
}

// Registered before the wait's own handler, so Ctrl+C reaches it after that.
BOOL WINAPI afterTheWaitsHandler(DWORD)
{
    ExitProcess(consoleModes() == modesBefore ? passed : ctrlCChangedModes);
}

DWORD WINAPI pressCtrlCWhileWaiting(void*)
{
    while (consoleModes() == modesBefore)
        Sleep(10);
    const DWORD modes = consoleModes();
    if ((modes & (ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) != 0 || (modes & ENABLE_PROCESSED_INPUT) == 0)
        ExitProcess(notRawWhileReading);
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    return 0;
}

INPUT_RECORD keyEvent(WORD key, bool down)
{
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = down;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.wVirtualKeyCode = key;
    return record;
}

// Waits for a key with Ctrl+C pressed meanwhile, or with keys typed ahead.
DWORD actInConsole(const std::string& act)
{
    console = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    SetStdHandle(STD_INPUT_HANDLE, console);
    modesBefore = consoleModes();
    if (act == "ctrlC") {
        SetConsoleCtrlHandler(afterTheWaitsHandler, TRUE);
        CreateThread(nullptr, 0, pressCtrlCWhileWaiting, nullptr, 0, nullptr);
        platform::readConsoleKey();
        return waitOutlivedCtrlC;
    }
    const INPUT_RECORD typed[] = {keyEvent('A', false), keyEvent(VK_SHIFT, true), keyEvent(VK_CONTROL, true),
                                  keyEvent('B', true), keyEvent('C', true)};
    DWORD count = 0;
    WriteConsoleInputW(console, typed, 5, &count);
    INPUT_RECORD next{};
    if (!platform::readConsoleKey() || !GetNumberOfConsoleInputEvents(console, &count) || count != 1 ||
        !PeekConsoleInputW(console, &next, 1, &count) || next.Event.KeyEvent.wVirtualKeyCode != 'C')
        return notOneKeyTaken;
    return consoleModes() == modesBefore ? passed : modesChanged;
}

// Runs this program in a pseudo console of its own, acting as act says,
// and returns its exit status.
DWORD runInConsole(const std::wstring& act)
{
    HANDLE input, typing, output, shown;
    CreatePipe(&input, &typing, nullptr, 0);
    CreatePipe(&shown, &output, nullptr, 0);
    HPCON pseudoConsole = nullptr;
    if (CreatePseudoConsole({80, 25}, input, output, 0, &pseudoConsole) != S_OK)
        return ~0u;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::string attributes(size, '\0');
    const auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    InitializeProcThreadAttributeList(list, 1, 0, &size);
    UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, pseudoConsole, sizeof pseudoConsole,
                              nullptr, nullptr);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = list;
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\" " + act;
    PROCESS_INFORMATION started{};
    DWORD status = ~0u;
    if (CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, EXTENDED_STARTUPINFO_PRESENT, nullptr,
                       nullptr, &startup.StartupInfo, &started)) {
        if (WaitForSingleObject(started.hProcess, 10000) != WAIT_OBJECT_0)
            TerminateProcess(started.hProcess, status);
        GetExitCodeProcess(started.hProcess, &status);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
    DeleteProcThreadAttributeList(list);
    // Nothing reads what the console shows: with the reading end gone, the
    // console cannot wait for it to be read as it closes.
    CloseHandle(shown);
    ClosePseudoConsole(pseudoConsole);
    for (HANDLE pipe : {input, typing, output})
        CloseHandle(pipe);
    return status;
}

TEST(Win32Console, WaitTakesOneKeyPressAndLeavesTheModesAsTheyWere)
{
    EXPECT_EQ(runInConsole(L"keys"), passed);
    EXPECT_EQ(runInConsole(L"ctrlC"), passed);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && argv[1][0] != '-')
        return static_cast<int>(actInConsole(argv[1]));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
