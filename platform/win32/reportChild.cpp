// The report child on Windows: this program started again with one
// argument, the value of a handle it inherits to a block of shared memory
// that names the driver and its class and carries the child's news back,
// with an event the child sets for each and one the program sets to give
// it its turn. A command line typed by hand cannot give a process such a
// block, so no other process becomes a child. Every child runs in one job
// object that ends it when the program ends, however the program ends.
#include "platform/platform.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char blockMark[] = "asio-report child";

struct ChildBlock {
    char mark[sizeof blockMark];
    char name[32];
    CLSID clsid;
    std::uint64_t newsEvent; // handle values, the same in both processes
    std::uint64_t turnEvent;
    volatile LONG finished;
    char operation[32];
};

// How long ending a child may take before the program goes on regardless.
constexpr DWORD endWait = 5000;

// In a report child: its block, the event it sets for news and the one
// that gives it its turn.
ChildBlock* ownBlock;
HANDLE ownNewsEvent;
HANDLE ownTurnEvent;

// The job every child runs in; null when none can be made. Its last handle
// closes with the program, and that ends the children.
HANDLE childJob()
{
    static const HANDLE job = [] {
        HANDLE made = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (made != nullptr &&
            !SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(made);
            made = nullptr;
        }
        return made;
    }();
    return job;
}

std::wstring programPath()
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length;
    // GetModuleFileNameW fills the whole buffer when the path is cut.
    while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size())
        path.resize(path.size() * 2);
    path.resize(length);
    return path;
}

// An inheritable handle to the same file, pipe or console as one of this
// process's standard streams; null when it has none.
HANDLE inheritableStream(DWORD stream)
{
    const HANDLE source = GetStdHandle(stream);
    HANDLE copy = nullptr;
    if (source == nullptr || source == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), source, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

// Starts this program again, suspended, inheriting exactly the handles
// given, the two streams among them as its standard output and error.
bool startSuspended(HANDLE block, std::vector<HANDLE> inherited, HANDLE out, HANDLE err, PROCESS_INFORMATION* started)
{
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> storage(size);
    const auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size))
        return false;
    bool ok = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                                        inherited.size() * sizeof(HANDLE), nullptr, nullptr) != FALSE;
    if (ok) {
        STARTUPINFOEXW startup{};
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdOutput = out;
        startup.StartupInfo.hStdError = err;
        startup.lpAttributeList = attributes;
        const std::wstring program = programPath();
        std::wstring commandLine = L"\"" + program + L"\" " + std::to_wstring(reinterpret_cast<std::uintptr_t>(block));
        ok = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                            CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &startup.StartupInfo,
                            started) != FALSE;
    }
    DeleteProcThreadAttributeList(attributes);
    return ok;
}

// The block handle a child's command line names: the program's path, then
// one decimal number and nothing else.
bool blockArgument(HANDLE* handle)
{
    const wchar_t* line = GetCommandLineW();
    if (*line == L'"') {
        line = std::wcschr(line + 1, L'"');
        if (line == nullptr)
            return false;
        ++line;
    } else {
        while (*line != L'\0' && *line != L' ' && *line != L'\t')
            ++line;
    }
    while (*line == L' ' || *line == L'\t')
        ++line;
    std::uintptr_t value = 0;
    const wchar_t* digits = line;
    for (; *line >= L'0' && *line <= L'9'; ++line)
        value = value * 10 + static_cast<std::uintptr_t>(*line - L'0');
    *handle = reinterpret_cast<HANDLE>(value);
    return line != digits && *line == L'\0';
}

// A fault the guard does not take ends the child at once, with the
// fault's code as its exit status, before any debugger or error report
// can write into the report.
LONG WINAPI endWithFaultCode(EXCEPTION_POINTERS* exception)
{
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

struct platform::ReportChild {
    HANDLE process;
    HANDLE blockHandle;
    HANDLE newsEvent;
    HANDLE turnEvent;
    ChildBlock* block;
    bool finishTold;
};

namespace platform {

ReportChild* startReportChild(const char* name, const CLSID& clsid)
{
    const HANDLE job = childJob();
    if (job == nullptr)
        return nullptr;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    auto* child = new ReportChild{};
    child->blockHandle =
        CreateFileMappingW(INVALID_HANDLE_VALUE, &inheritable, PAGE_READWRITE, 0, sizeof(ChildBlock), nullptr);
    child->newsEvent = CreateEventW(&inheritable, FALSE, FALSE, nullptr);
    child->turnEvent = CreateEventW(&inheritable, TRUE, FALSE, nullptr);
    if (child->blockHandle != nullptr)
        child->block =
            static_cast<ChildBlock*>(MapViewOfFile(child->blockHandle, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ChildBlock)));
    if (child->newsEvent == nullptr || child->turnEvent == nullptr || child->block == nullptr) {
        releaseChild(child);
        return nullptr;
    }
    std::memcpy(child->block->mark, blockMark, sizeof blockMark);
    std::snprintf(child->block->name, sizeof child->block->name, "%s", name);
    child->block->clsid = clsid;
    child->block->newsEvent = reinterpret_cast<std::uintptr_t>(child->newsEvent);
    child->block->turnEvent = reinterpret_cast<std::uintptr_t>(child->turnEvent);

    const HANDLE out = inheritableStream(STD_OUTPUT_HANDLE);
    const HANDLE err = inheritableStream(STD_ERROR_HANDLE);
    std::vector<HANDLE> inherited = {child->blockHandle, child->newsEvent, child->turnEvent};
    for (HANDLE stream : {out, err})
        if (stream != nullptr)
            inherited.push_back(stream);
    PROCESS_INFORMATION started{};
    const bool ok = startSuspended(child->blockHandle, inherited, out, err, &started);
    for (HANDLE stream : {out, err})
        if (stream != nullptr)
            CloseHandle(stream);
    if (!ok) {
        releaseChild(child);
        return nullptr;
    }
    child->process = started.hProcess;
    // In the job before it runs a single instruction of its own.
    if (!AssignProcessToJobObject(job, started.hProcess)) {
        CloseHandle(started.hThread);
        releaseChild(child);
        return nullptr;
    }
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    return child;
}

ChildNews waitForChild(ReportChild* child, std::uint32_t milliseconds)
{
    // Once the report is complete, only the child's end is news.
    const HANDLE waited[] = {child->process, child->newsEvent};
    const DWORD which = WaitForMultipleObjects(child->finishTold ? 1 : 2, waited, FALSE, milliseconds);
    if (which != WAIT_OBJECT_0 && which != WAIT_OBJECT_0 + 1)
        return ChildNews::silent;
    if (child->block->finished != 0 && !child->finishTold) {
        child->finishTold = true;
        return ChildNews::finished;
    }
    return which == WAIT_OBJECT_0 ? ChildNews::ended : ChildNews::entered;
}

void lastChildOperation(const ReportChild* child, char* operation, std::uint32_t capacity)
{
    // The child's memory is the driver's too: keep only what a name holds.
    const char* text = child->block->operation;
    std::uint32_t length = 0;
    while (length + 1 < capacity && length < sizeof child->block->operation &&
           ((text[length] >= 'a' && text[length] <= 'z') || (text[length] >= 'A' && text[length] <= 'Z') ||
            (text[length] >= '0' && text[length] <= '9'))) {
        operation[length] = text[length];
        ++length;
    }
    operation[length] = '\0';
}

std::uint32_t childExitStatus(const ReportChild* child)
{
    DWORD status = 0;
    GetExitCodeProcess(child->process, &status);
    return status;
}

void letChildReport(ReportChild* child)
{
    SetEvent(child->turnEvent);
}

void releaseChild(ReportChild* child)
{
    if (child->process != nullptr) {
        if (WaitForSingleObject(child->process, 0) != WAIT_OBJECT_0) {
            TerminateProcess(child->process, ERROR_TIMEOUT);
            WaitForSingleObject(child->process, endWait);
        }
        CloseHandle(child->process);
    }
    if (child->block != nullptr)
        UnmapViewOfFile(child->block);
    for (HANDLE handle : {child->blockHandle, child->newsEvent, child->turnEvent})
        if (handle != nullptr)
            CloseHandle(handle);
    delete child;
}

bool becomeReportChild(char* name, std::uint32_t capacity, CLSID* clsid)
{
    HANDLE handle;
    if (!blockArgument(&handle))
        return false;
    auto* block =
        static_cast<ChildBlock*>(MapViewOfFile(handle, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(ChildBlock)));
    if (block == nullptr)
        return false;
    if (std::memcmp(block->mark, blockMark, sizeof blockMark) != 0) {
        UnmapViewOfFile(block);
        return false;
    }
    std::snprintf(name, capacity, "%.*s", static_cast<int>(sizeof block->name), block->name);
    *clsid = block->clsid;
    ownBlock = block;
    ownNewsEvent = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(block->newsEvent));
    ownTurnEvent = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(block->turnEvent));
    SetErrorMode(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS);
    SetUnhandledExceptionFilter(endWithFaultCode);
    return true;
}

void awaitTurn()
{
    // A program that ends before the turn comes ends the child with it.
    if (ownBlock != nullptr)
        WaitForSingleObject(ownTurnEvent, INFINITE);
}

void announceOperation(const char* operation)
{
    if (ownBlock == nullptr)
        return;
    std::snprintf(ownBlock->operation, sizeof ownBlock->operation, "%s", operation);
    SetEvent(ownNewsEvent);
}

void announceReportFinished()
{
    if (ownBlock == nullptr)
        return;
    ownBlock->finished = 1;
    SetEvent(ownNewsEvent);
}

} // namespace platform
