// Guards against a report child or thread that tells the wrong news, goes on past a driver call the program gave up
// on, counts the limit anew after each write in a call, is not ended when released, gets the program's standard input,
// is resumed by the guard after a stack overflow or a fault outside a guarded call, leaves such a fault to a debugger,
// leaves anything it inherited inheritable by what its driver starts, or that a command line typed by hand can make;
// and against a program that leaves inheritable what it makes for a child. The console test sees a child outlive the
// program. This program is its own children, and its own debugger: main acts as the child or the debugger the test asks
// for.
#include <gtest/gtest.h>

#include <windows.h>

#include <iostream>
#include <string>

#include "platform/platform.h"
#include "testing/win32/hardwareFault.h"

namespace {

using platform::ChildNews;

// The exit status of this program when a typed number made no child.
constexpr int noChildStatus = 42;

// The handles of this process that a process it starts would inherit.
int inheritableHandles()
{
    int count = 0;
    for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) && (flags & HANDLE_FLAG_INHERIT) != 0;
    }
    return count;
}

// Where this program, as the system's debugger, notes that it was called:
// beside itself, since a debugger's environment may name no temporary folder.
std::wstring debuggerNote()
{
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    return std::wstring(program) + L".debugger-called";
}

const CLSID childClass{0x12345678, 0x9abc, 0xdef0, {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0}};

// A driver call returning late or soon, after which the child goes on: it
// must not once the program has given up on the call.
volatile bool wentOn = false;

void callThenGoOn(const char* act)
{
    platform::announceOperation("getChannels");
    Sleep(std::string(act) == "late" ? 1500 : 200);
    platform::announceReturn();
    if (std::string(act) == "late") {
        wentOn = true;
        ExitThread(9);
    }
    Sleep(INFINITE);
}

int actAsChild(const std::string& act)
{
    platform::awaitTurn();
    std::uint32_t code = 0;
    if (act == "exit") {
        // A child has no standard input.
        platform::announceOperation("getBufferSize");
        ExitProcess(GetStdHandle(STD_INPUT_HANDLE) == nullptr ? 7 : 3);
    }
    if (act == "overflow") {
        // A thread whose stack overflowed has no room left to go on: the
        // guard leaves the fault to the child's end.
        platform::announceOperation("getChannels");
        platform::runGuarded([](void*) { raiseHardwareFault(EXCEPTION_STACK_OVERFLOW); }, nullptr, &code);
        return 4;
    }
    if (act == "faultAfterGuard") {
        // A fault outside any guarded call, after one, is not the guard's.
        platform::runGuarded([](void*) {}, nullptr, &code);
        raiseHardwareFault(EXCEPTION_ACCESS_VIOLATION);
    }
    if (act == "inherits")
        return inheritableHandles();
    if (act == "writesInCall") {
        platform::announceOperation("init");
        for (;;) {
            std::cout << "A driver's own thread says hello." << std::endl;
            Sleep(100);
        }
    }
    if (act == "late" || act == "soon")
        callThenGoOn(act.c_str());
    Sleep(INFINITE);
    return 5;
}

std::string lastOperation(const platform::ReportChild* child)
{
    char operation[32];
    platform::lastChildOperation(child, operation, sizeof operation);
    return operation;
}

struct EndCase {
    const char* act;
    std::string operation;
    std::uint32_t status;
};

// The system's debugger for a fault no handler takes: this program, which
// notes that it was called; the one before comes back afterwards.
class DebuggerNoted {
public:
    DebuggerNoted()
    {
        wchar_t program[MAX_PATH];
        GetModuleFileNameW(nullptr, program, MAX_PATH);
        DeleteFileW(debuggerNote().c_str());
        for (int i = 0; i < 2; ++i)
            RegGetValueW(HKEY_LOCAL_MACHINE, key, names[i], RRF_RT_REG_SZ, nullptr, before[i], &beforeSizes[i]);
        set(names[0], L"\"" + std::wstring(program) + L"\" debugger %ld %ld");
        set(names[1], L"1");
    }
    ~DebuggerNoted()
    {
        for (int i = 0; i < 2; ++i)
            set(names[i], before[i]);
        DeleteFileW(debuggerNote().c_str());
    }
    bool called() const { return GetFileAttributesW(debuggerNote().c_str()) != INVALID_FILE_ATTRIBUTES; }

private:
    void set(const wchar_t* name, const std::wstring& text)
    {
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, key, name, REG_SZ, text.c_str(),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

    static constexpr const wchar_t* key = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug";
    static constexpr const wchar_t* names[2] = {L"Debugger", L"Auto"};
    wchar_t before[2][MAX_PATH] = {};
    DWORD beforeSizes[2] = {sizeof before[0], sizeof before[1]};
};

// A fault that no guard takes reaches the child's own filter and nothing
// else: no debugger or error report, whose words could reach the report.
TEST(Win32Child, EndsWithTheStatusOfWhatEndedIt)
{
    const DebuggerNoted debugger;
    const EndCase cases[] = {
        {"exit", "getBufferSize", 7},
        {"faultAfterGuard", "", EXCEPTION_ACCESS_VIOLATION},
        {"overflow", "getChannels", EXCEPTION_STACK_OVERFLOW},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.act);
        platform::ReportChild* child = platform::startReportChild(c.act, childClass);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(platform::waitForChild(child, 200), ChildNews::silent) << "no news before its turn";
        platform::letChildReport(child);
        ChildNews news;
        while ((news = platform::waitForChild(child, 10000)) == ChildNews::entered) { }
        EXPECT_EQ(news, ChildNews::ended);
        EXPECT_EQ(lastOperation(child), c.operation);
        EXPECT_EQ(platform::childExitStatus(child), c.status);
        platform::releaseChild(child);
    }
    EXPECT_FALSE(debugger.called());
}

// A child that writes inside a driver call, as a driver's own thread may
// keep doing while the call hangs, pauses the limit and does not start it
// anew.
TEST(Win32Child, WritesInACallPauseTheLimit)
{
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE nowhere = CreateFileW(L"NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetStdHandle(STD_OUTPUT_HANDLE, nowhere);
    platform::ReportChild* child = platform::startReportChild("writesInCall", childClass);
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    CloseHandle(nowhere);
    ASSERT_NE(child, nullptr);
    platform::letChildReport(child);
    ChildNews news = ChildNews::entered;
    for (const DWORD start = GetTickCount(); news != ChildNews::silent && GetTickCount() - start < 10000;)
        news = platform::waitForChild(child, news == ChildNews::writing ? platform::waitForever : 1000);
    EXPECT_EQ(news, ChildNews::silent);
    platform::releaseChild(child);
}

// Nothing the program makes for a child stays inheritable in the program,
// and nothing the child inherited stays inheritable in the child, where
// its driver may start processes of its own that would keep it open.
TEST(Win32Child, LeavesNothingInheritable)
{
    const int before = inheritableHandles();
    platform::ReportChild* child = platform::startReportChild("inherits", childClass);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(inheritableHandles(), before);
    platform::letChildReport(child);
    EXPECT_EQ(platform::waitForChild(child, 10000), ChildNews::ended);
    EXPECT_EQ(platform::childExitStatus(child), 0u);
    platform::releaseChild(child);
}

// A child given up inside a driver call never goes on past it, and is
// ended at once when released; one whose driver has returned is not given
// up. The same for a report thread, which is never ended.
TEST(Win32Child, GivenUpInsideACallGoesNoFurther)
{
    for (bool thread : {false, true}) {
        for (const char* act : {"late", "soon"}) {
            SCOPED_TRACE(std::string(thread ? "thread, " : "child, ") + act);
            wentOn = false;
            platform::ReportChild* child = thread ? platform::startReportThread(act, childClass, callThenGoOn)
                                                  : platform::startReportChild(act, childClass);
            ASSERT_NE(child, nullptr);
            if (thread) {
                EXPECT_EQ(platform::waitForChild(child, 0), ChildNews::entered) << "in the driver's creation";
                EXPECT_EQ(lastOperation(child), "CoCreateInstance");
            }
            platform::letChildReport(child);
            EXPECT_EQ(platform::waitForChild(child, 10000), ChildNews::entered);
            Sleep(500);
            const bool late = std::string(act) == "late";
            EXPECT_EQ(platform::giveUpOnChild(child), late);
            EXPECT_EQ(lastOperation(child), "getChannels");
            EXPECT_EQ(platform::waitForChild(child, 3000), late ? ChildNews::silent : ChildNews::returned);
            EXPECT_FALSE(wentOn);
            const DWORD before = GetTickCount();
            platform::releaseChild(child);
            EXPECT_LT(GetTickCount() - before, 2000u);
        }
    }
}

// Runs this program with one argument; returns its exit status.
DWORD runThisProgram(const std::wstring& argument)
{
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\" " + argument;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started))
        return ~0u;
    WaitForSingleObject(started.hProcess, 10000);
    DWORD status = ~0u;
    GetExitCodeProcess(started.hProcess, &status);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return status;
}

TEST(Win32Child, TypedCommandLineMakesNoChild)
{
    // Even a block of shared memory the process inherits makes no child
    // unless it is the program's own.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const HANDLE block = CreateFileMappingW(INVALID_HANDLE_VALUE, &inheritable, PAGE_READWRITE, 0, 4096, nullptr);
    ASSERT_NE(block, nullptr);
    for (const std::wstring& argument :
         {std::wstring(L"4"), std::wstring(L"0"), std::to_wstring(reinterpret_cast<std::uintptr_t>(block))})
        EXPECT_EQ(runThisProgram(argument), static_cast<DWORD>(noChildStatus));
    CloseHandle(block);
}

} // namespace

int main(int argc, char** argv)
{
    char act[32];
    CLSID clsid;
    if (platform::becomeReportChild(act, sizeof act, &clsid))
        return sameGuid(clsid, childClass) ? actAsChild(act) : 6;
    if (argc == 2 && argv[1][0] >= '0' && argv[1][0] <= '9')
        return noChildStatus;
    if (argc == 4 && std::string(argv[1]) == "debugger") {
        CloseHandle(CreateFileW(debuggerNote().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        SetEvent(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::stoull(argv[3]))));
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
