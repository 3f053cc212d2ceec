// Guards against a report child or thread that cannot be started, tells no news or the wrong news, goes on past a
// driver call the program gave up on, is not ended when the program gives up on it, gets the program's standard input
// or not its output, survives a fault on a thread of its own, or that a command line typed by hand can make. This
// program is its own children: main acts as the child the test asks for.
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "testing/win32/hardwareFault.h"

namespace {

using platform::ChildNews;

// The exit status of this program run with a typed number as its command
// line, when that number made no child.
constexpr int noChildStatus = 42;

// The class every child is given, and must receive.
const CLSID childClass{0x12345678, 0x9abc, 0xdef0, {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0}};

DWORD WINAPI faultingThread(void*)
{
    raiseHardwareFault(EXCEPTION_ACCESS_VIOLATION);
}

// A driver call that returns late, or soon; after it, the child goes on,
// which it must not once the program has given up on the call.
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

// What a child does, as the name it was given to report says.
int actAsChild(const std::string& act)
{
    platform::awaitTurn();
    if (act == "report") {
        platform::announceOperation("CoCreateInstance");
        platform::announceOperation("init");
        std::printf("line of the child\n");
        std::fflush(stdout);
        platform::announceReportFinished();
        return GetStdHandle(STD_INPUT_HANDLE) == nullptr ? 0 : 3;
    }
    if (act == "exit") {
        platform::announceOperation("getBufferSize");
        ExitProcess(7);
    }
    if (act == "overflow") {
        // A thread whose stack overflowed has no room left to go on: the
        // guard leaves the fault to the child's end.
        platform::announceOperation("getChannels");
        std::uint32_t code = 0;
        platform::runGuarded([](void*) { raiseHardwareFault(EXCEPTION_STACK_OVERFLOW); }, nullptr, &code);
        return 4;
    }
    if (act == "faultAfterGuard") {
        // A fault outside any guarded call, after one, is not the guard's.
        std::uint32_t code = 0;
        platform::runGuarded([](void*) {}, nullptr, &code);
        raiseHardwareFault(EXCEPTION_ACCESS_VIOLATION);
    }
    if (act == "threadFault") {
        platform::announceOperation("getLatencies");
        std::uint32_t code = 0;
        platform::runGuarded(
            [](void*) {
                const HANDLE thread = CreateThread(nullptr, 0, faultingThread, nullptr, 0, nullptr);
                WaitForSingleObject(thread, INFINITE);
            },
            nullptr, &code);
        return 4;
    }
    if (act == "late" || act == "soon")
        callThenGoOn(act.c_str());
    platform::announceOperation(act == "hang" ? "init" : "Release");
    if (act == "linger")
        platform::announceReportFinished();
    Sleep(INFINITE);
    return 5;
}

// Waits for news other than driver calls entered and returned.
ChildNews nextNews(platform::ReportChild* child, std::uint32_t milliseconds)
{
    ChildNews news;
    while ((news = platform::waitForChild(child, milliseconds)) == ChildNews::entered || news == ChildNews::returned) {
    }
    return news;
}

std::string lastOperation(const platform::ReportChild* child)
{
    char operation[32];
    platform::lastChildOperation(child, operation, sizeof operation);
    return operation;
}

TEST(Win32Child, ReportsItsNewsOnTheProgramsOutputWithoutItsInput)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string path = std::string(temp) + "asio-report-child-output";
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, file);
    platform::ReportChild* child = platform::startReportChild("report", childClass);
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(platform::waitForChild(child, 500), ChildNews::silent) << "no news before its turn";
    platform::letChildReport(child);
    EXPECT_EQ(nextNews(child, 10000), ChildNews::finished);
    EXPECT_EQ(nextNews(child, 10000), ChildNews::ended);
    EXPECT_EQ(lastOperation(child), "init");
    EXPECT_EQ(platform::childExitStatus(child), 0u) << "the child has no standard input";
    platform::releaseChild(child);

    char written[64] = {};
    DWORD read = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    ReadFile(file, written, sizeof written - 1, &read, nullptr);
    CloseHandle(file);
    EXPECT_STREQ(written, "line of the child\r\n");
}

struct EndCase {
    const char* act;
    std::string operation;
    std::uint32_t status;
};

TEST(Win32Child, EndsWithTheStatusOfWhatEndedIt)
{
    const EndCase cases[] = {
        {"exit", "getBufferSize", 7},
        // The guard leaves a fault on another thread, and one outside a
        // guarded call, to the child's end.
        {"threadFault", "getLatencies", EXCEPTION_ACCESS_VIOLATION},
        {"faultAfterGuard", "", EXCEPTION_ACCESS_VIOLATION},
        {"overflow", "getChannels", EXCEPTION_STACK_OVERFLOW},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.act);
        platform::ReportChild* child = platform::startReportChild(c.act, childClass);
        ASSERT_NE(child, nullptr);
        platform::letChildReport(child);
        EXPECT_EQ(nextNews(child, 10000), ChildNews::ended);
        EXPECT_EQ(lastOperation(child), c.operation);
        EXPECT_EQ(platform::childExitStatus(child), c.status);
        platform::releaseChild(child);
    }
}

TEST(Win32Child, ChildThatGivesNoNewsIsEndedWhenReleased)
{
    for (const char* act : {"hang", "linger"}) {
        SCOPED_TRACE(act);
        platform::ReportChild* child = platform::startReportChild(act, childClass);
        ASSERT_NE(child, nullptr);
        platform::letChildReport(child);
        if (std::string(act) == "linger") {
            EXPECT_EQ(nextNews(child, 10000), ChildNews::finished);
        }
        EXPECT_EQ(nextNews(child, 1000), ChildNews::silent);
        const DWORD before = GetTickCount();
        platform::releaseChild(child);
        EXPECT_LT(GetTickCount() - before, 5000u);
    }
}

// A child given up inside a driver call never goes on past it; one whose
// driver has returned is not given up. The same for a report thread,
// which, unlike a child process, is never ended.
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
            platform::releaseChild(child);
        }
    }
}

// Starts this program with a command line of the one argument given, and
// returns its exit status.
DWORD runThisProgram(const std::wstring& argument, DWORD* processId = nullptr)
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
    if (processId != nullptr)
        *processId = started.dwProcessId;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return status;
}

TEST(Win32Child, NoChildOutlivesTheProgram)
{
    // The program started leaves a child waiting for its turn and ends.
    DWORD program = 0;
    ASSERT_EQ(runThisProgram(L"orphan", &program), 0u);
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID != program)
            continue;
        const HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
        if (child == nullptr)
            continue;
        EXPECT_EQ(WaitForSingleObject(child, 2000), WAIT_OBJECT_0) << "the child outlived the program";
        TerminateProcess(child, 1);
        CloseHandle(child);
    }
    CloseHandle(snapshot);
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
    if (argc == 2 && std::string(argv[1]) == "orphan")
        return platform::startReportChild("linger", childClass) != nullptr ? 0 : 1;
    if (argc == 2 && argv[1][0] >= '0' && argv[1][0] <= '9')
        return noChildStatus;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
