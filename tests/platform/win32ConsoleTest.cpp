// Guards against a wait for a key that takes a modifier, a key going up or more than one key press, that keeps line
// input or echo on while it reads, or that leaves the console's input modes changed after the key; against a program
// that, interrupted by Ctrl+C or Ctrl+Break while a driver answers or at the prompt, blames a driver (one whose own
// handler ends its child as the interrupt does among them), goes on, ends otherwise than the system ends it, leaves the
// console's code page or modes changed, or leaves a child behind; and against a program moved away as it starts, so
// that it reports its driver on a thread of its own, that leaves the console changed when that driver ends the process,
// faults on a thread of its own or is left behind. The console is a pseudo console, with this program in it: main acts
// as the test asks.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/platform.h"
#include "testing/win32/registryWriter.h"

namespace {

// The exit status of this program in the console.
enum Outcome : DWORD {
    passed,
    notOneKeyTaken,
    notRawWhileReading,
    consoleChanged, // its code page or input modes
    outlivedInterrupt,
    programNotStarted,
    notEndedAsTheSystemEnds,
    driverBlamed,
    childLeft,
    eventNotDelivered,
    endedOtherwise,
};

HANDLE console;
DWORD modesBefore;

DWORD consoleModes()
{
    DWORD modes = 0;
    GetConsoleMode(console, &modes);
    return modes;
}

INPUT_RECORD keyEvent(WORD key, bool down)
{
    INPUT_RECORD record{KEY_EVENT, {}};
    record.Event.KeyEvent = {down, 1, key, 0, {}, 0};
    return record;
}

std::string fileText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The control events this process saw.
volatile LONG eventsSeen;

BOOL WINAPI stayThroughInterrupts(DWORD event)
{
    InterlockedOr(&eventsSeen, 1 << event);
    return TRUE;
}

std::string testDriver()
{
    std::string server = TEST_DRIVER;
    std::replace(server.begin(), server.end(), '/', '\\');
    return server;
}

const std::wstring& outputFile()
{
    static const std::wstring path = [] {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        return std::wstring(temp) + L"asio-report-in-console";
    }();
    return path;
}

// Registers the drivers of registry and starts the program in this console,
// its output to outputFile(); with moved, a copy of it moved away as it
// starts, so that it can start no child.
bool startProgram(const std::string& registry, bool moved, PROCESS_INFORMATION* started)
{
    for (const RegistryItem& item : readRegistryText(registry, testDriver()))
        writeRegistryItem(item);
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const HANDLE file = CreateFileW(outputFile().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = console;
    startup.hStdOutput = file;
    startup.hStdError = file;
    std::filesystem::path program = TEST_PROGRAM;
    const std::filesystem::path copy = std::filesystem::temp_directory_path() / program.filename();
    if (moved) {
        std::filesystem::copy_file(program, copy, std::filesystem::copy_options::overwrite_existing);
        program = copy;
    }
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    const bool ok = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                   moved ? CREATE_SUSPENDED : 0, nullptr, nullptr, &startup, started) != FALSE;
    CloseHandle(file);
    if (ok && moved) {
        MoveFileExW(copy.c_str(), (copy.wstring() + L".moved").c_str(), MOVEFILE_REPLACE_EXISTING);
        ResumeThread(started->hThread);
    }
    return ok;
}

void removeDrivers()
{
    DeleteFileW(outputFile().c_str());
    for (const char* key : {"Software\\ASIO", "Software\\asio-testdriver"})
        removeMachineKey(key);
    for (const char* id : {"C1", "C2", "C3", "C4"})
        removeMachineKey(std::string("Software\\Classes\\CLSID\\{7E57A5D0-0000-4E57-A5D0-0000000000") + id + "}");
}

// Runs the program moved away as it starts over a driver of registry that
// ends the program or is left behind, with a key typed for its prompt: it
// must end with status and leave the console as it was.
DWORD endProgramOnThread(const std::string& registry, DWORD status)
{
    const UINT codePageBefore = GetConsoleOutputCP();
    const INPUT_RECORD key = keyEvent('K', true);
    DWORD typed = 0;
    WriteConsoleInputW(console, &key, 1, &typed);
    PROCESS_INFORMATION started{};
    if (!startProgram(registry, true, &started))
        return programNotStarted;
    const bool ended = WaitForSingleObject(started.hProcess, 30000) == WAIT_OBJECT_0;
    TerminateProcess(started.hProcess, 1);
    FlushConsoleInputBuffer(console);
    DWORD endStatus = 0;
    GetExitCodeProcess(started.hProcess, &endStatus);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    removeDrivers();
    return !ended                                                                 ? outlivedInterrupt
        : endStatus != status                                                     ? endedOtherwise
        : GetConsoleOutputCP() != codePageBefore || consoleModes() != modesBefore ? consoleChanged
                                                                                  : passed;
}

// Runs the program and interrupts it with event: over a driver that
// answers each call in 2 s and whose own handler ends its child on Ctrl+C,
// while the driver answers its child; or, over no driver, while it waits
// for a key at the prompt.
DWORD interruptProgram(DWORD event, bool atPrompt)
{
    SetConsoleCtrlHandler(stayThroughInterrupts, TRUE);
    const UINT codePageBefore = GetConsoleOutputCP();
    PROCESS_INFORMATION started{};
    if (!startProgram(atPrompt ? "" : fileText(SLOW_DRIVER), false, &started))
        return programNotStarted;
    const std::wstring& output = outputFile();
    if (atPrompt) {
        for (int waited = 0; waited < 100 && consoleModes() == modesBefore; ++waited)
            Sleep(100);
        const DWORD modes = consoleModes();
        if ((modes & (ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) != 0 || (modes & ENABLE_PROCESSED_INPUT) == 0)
            return notRawWhileReading;
    } else {
        for (int waited = 0; waited < 100 && fileText(output).find("Slow") == std::string::npos; ++waited)
            Sleep(100);
        // Inside the driver's creation or its init, each 2 s long.
        Sleep(1000);
    }
    GenerateConsoleCtrlEvent(event, 0);
    for (int waited = 0; waited < 100 && (eventsSeen & 1 << event) == 0; ++waited)
        Sleep(20);
    const bool delivered = (eventsSeen & 1 << event) != 0;
    const bool ended = delivered && WaitForSingleObject(started.hProcess, 10000) == WAIT_OBJECT_0;
    TerminateProcess(started.hProcess, 1);
    DWORD status = 0;
    GetExitCodeProcess(started.hProcess, &status);
    DWORD outcome = !delivered                                                    ? eventNotDelivered
        : !ended                                                                  ? outlivedInterrupt
        : status != STATUS_CONTROL_C_EXIT                                         ? notEndedAsTheSystemEnds
        : !atPrompt && fileText(output).find("!!!") != std::string::npos          ? driverBlamed
        : GetConsoleOutputCP() != codePageBefore || consoleModes() != modesBefore ? consoleChanged
                                                                                  : passed;
    // A child left behind goes on calling its driver, which logs each call
    // before its 2 s.
    const std::string log = testDriver() + ".log";
    Sleep(500);
    const std::size_t logged = fileText(log).size();
    Sleep(3000);
    if (fileText(log).size() != logged && outcome == passed)
        outcome = childLeft;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    removeDrivers();
    return outcome;
}

// Waits for a key with Ctrl+C pressed meanwhile, or with keys typed ahead.
DWORD actInConsole(const std::string& act)
{
    // The program run here reads the same console.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    console = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                          OPEN_EXISTING, 0, nullptr);
    SetStdHandle(STD_INPUT_HANDLE, console);
    modesBefore = consoleModes();
    if (act.rfind("interrupt", 0) == 0)
        return interruptProgram(act == "interruptBreak" ? CTRL_BREAK_EVENT : CTRL_C_EVENT, act == "interruptAtPrompt");
    if (act == "endOnThread") {
        // Each run has a part of the file, in this order.
        const std::string drivers = fileText(ENDING_DRIVERS);
        std::size_t at = 0;
        for (const DWORD status : {DWORD{3}, DWORD{EXCEPTION_ACCESS_VIOLATION}, DWORD{0}}) {
            const std::size_t next = drivers.find("; ---", at + 1);
            const DWORD outcome = endProgramOnThread(drivers.substr(at, next - at), status);
            if (outcome != passed)
                return outcome;
            at = next;
        }
        return passed;
    }
    const INPUT_RECORD typed[] = {keyEvent('A', false), keyEvent(VK_SHIFT, true), keyEvent(VK_CONTROL, true),
                                  keyEvent('B', true), keyEvent('C', true)};
    DWORD count = 0;
    WriteConsoleInputW(console, typed, 5, &count);
    INPUT_RECORD next{};
    platform::waitForKey();
    if (!GetNumberOfConsoleInputEvents(console, &count) || count != 1 ||
        !PeekConsoleInputW(console, &next, 1, &count) || next.Event.KeyEvent.wVirtualKeyCode != 'C')
        return notOneKeyTaken;
    return consoleModes() == modesBefore ? passed : consoleChanged;
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
        if (WaitForSingleObject(started.hProcess, 60000) != WAIT_OBJECT_0)
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
}

TEST(Win32Console, DriverEndingTheProgramOrLeftBehindOnAThreadOfItsOwnLeavesTheConsoleAsItWas)
{
    EXPECT_EQ(runInConsole(L"endOnThread"), passed);
}

TEST(Win32Console, InterruptEndsTheProgramAsTheSystemDoesAndLeavesTheConsoleAsItWas)
{
    EXPECT_EQ(runInConsole(L"interruptC"), passed);
    EXPECT_EQ(runInConsole(L"interruptAtPrompt"), passed);
    // Wine's consoles pass Ctrl+Break on to no process.
    const DWORD outcome = runInConsole(L"interruptBreak");
    if (outcome == eventNotDelivered)
        GTEST_SKIP() << "this console does not deliver Ctrl+Break";
    EXPECT_EQ(outcome, passed);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && argv[1][0] != '-')
        return static_cast<int>(actInConsole(argv[1]));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
