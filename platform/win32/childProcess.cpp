// Report children that are processes: this program started again with one
// argument, the value of a handle it inherits to a block of shared memory
// that names the driver and its class and carries the child's news back.
// A command line typed by hand cannot give a process such a block, so no
// other process becomes a child. Every child runs in one job object that
// ends it when the program ends, however the program ends.
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/win32/reportChild.h"
#include "platform/win32/reportOutput.h"

namespace {

// The job object every child runs in; null when none can be made. Its
// last handle closes with the program, and that ends the children.
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

// Asked for before any report thread runs (prepareBeforeReportThreads):
// the system takes its loader's lock to answer, and a report thread hung in
// its driver may hold that lock for good.
const std::wstring& programPath()
{
    static const std::wstring path = [] {
        std::wstring made(MAX_PATH, L'\0');
        DWORD length;
        // GetModuleFileNameW fills the whole buffer when the path is cut.
        while ((length = GetModuleFileNameW(nullptr, made.data(), static_cast<DWORD>(made.size()))) == made.size())
            made.resize(made.size() * 2);
        made.resize(length);
        return made;
    }();
    return path;
}

// An inheritable copy of source, for one child's start; null when there is
// no source.
HANDLE inheritableCopy(HANDLE source)
{
    HANDLE copy = nullptr;
    if (source == nullptr || source == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), source, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

// Starts this program again, suspended, inheriting exactly the handles
// given, the two streams among them as its standard output and error;
// born inside job when one is given (Windows 10 and later). A process
// group of its own keeps Ctrl+C from it until it takes the console's
// control events itself (see becomeReportChild).
bool startSuspended(HANDLE block, std::vector<HANDLE> inherited, HANDLE out, HANDLE err, HANDLE job,
                    PROCESS_INFORMATION* started)
{
    const DWORD attributeCount = job != nullptr ? 2 : 1;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, attributeCount, 0, &size);
    std::vector<char> storage(size);
    const auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (!InitializeProcThreadAttributeList(attributes, attributeCount, 0, &size))
        return false;
    bool ok = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                                        inherited.size() * sizeof(HANDLE), nullptr, nullptr) != FALSE;
    if (ok && job != nullptr)
        ok = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, &job, sizeof job, nullptr,
                                       nullptr) != FALSE;
    if (ok) {
        STARTUPINFOEXW startup{};
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdOutput = out;
        startup.StartupInfo.hStdError = err;
        startup.lpAttributeList = attributes;
        const std::wstring& program = programPath();
        std::wstring commandLine = L"\"" + program + L"\" " + std::to_wstring(reinterpret_cast<std::uintptr_t>(block));
        ok = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                            CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                            nullptr, &startup.StartupInfo, started) != FALSE;
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
    const DWORD code = exception->ExceptionRecord->ExceptionCode;
    // What the driver wrote before goes out first, but for a thread with no
    // stack left to relay it.
    if (code != EXCEPTION_STACK_OVERFLOW)
        relayWhatIsLeft();
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_CONTINUE_SEARCH;
}

// The console's control events are the program's: it ends, and the job
// ends the child with it. A child that ended first would look like its
// driver's doing. Ctrl+C and Ctrl+Break are taken as handled; for the
// console's closing, after which the system ends every process that
// returns, the child waits for the program's end instead.
BOOL WINAPI leaveControlToProgram(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        Sleep(INFINITE);
    return TRUE;
}

} // namespace

void prepareChildStarts()
{
    programPath();
    childJob();
    // Whatever a driver reported on a thread of the program starts, with
    // inheritance, gets none of the program's own handles: a process that
    // held its output open would keep a pager waiting after its end.
    for (DWORD stream : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
        SetHandleInformation(GetStdHandle(stream), HANDLE_FLAG_INHERIT, 0);
}

namespace platform {

ReportChild* startReportChild(const char* name, const CLSID& clsid)
{
    const HANDLE job = childJob();
    if (job == nullptr)
        return nullptr;
    auto* child = new ReportChild{ReportChild::Kind::process};
    child->newsEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    child->turnEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    child->blockMapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(ReportBlock), nullptr);
    if (child->blockMapping != nullptr)
        child->block = static_cast<ReportBlock*>(
            MapViewOfFile(child->blockMapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ReportBlock)));
    // What the child inherits is inheritable only while it starts, so that
    // a process a driver on a report thread starts meanwhile gets none of
    // it. A child without both streams would lose its report.
    const HANDLE block = inheritableCopy(child->blockMapping);
    const HANDLE news = inheritableCopy(child->newsEvent);
    const HANDLE turn = inheritableCopy(child->turnEvent);
    const HANDLE out = inheritableCopy(GetStdHandle(STD_OUTPUT_HANDLE));
    const HANDLE err = inheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
    PROCESS_INFORMATION started{};
    bool ok = block != nullptr && news != nullptr && turn != nullptr && out != nullptr && err != nullptr &&
        child->block != nullptr;
    if (ok) {
        // The child knows its handles by the values it inherits.
        prepareBlock(child->block, name, news, turn);
        child->block->clsid = clsid;
        const std::vector<HANDLE> inherited = {block, news, turn, out, err};
        // Born in the job where the system allows it, so that not even a
        // suspended child outlives a program killed at once; else assigned
        // to it before it runs a single instruction of its own.
        ok = startSuspended(block, inherited, out, err, job, &started) ||
            startSuspended(block, inherited, out, err, nullptr, &started);
    }
    for (HANDLE handle : {block, news, turn, out, err})
        if (handle != nullptr)
            CloseHandle(handle);
    if (ok) {
        child->runner = started.hProcess;
        child->processId = started.dwProcessId;
        BOOL inJob = FALSE;
        ok =
            IsProcessInJob(started.hProcess, job, &inJob) && (inJob || AssignProcessToJobObject(job, started.hProcess));
        if (ok)
            ResumeThread(started.hThread);
        CloseHandle(started.hThread);
    }
    if (!ok) {
        if (child->runner != nullptr) {
            releaseChild(child);
            return nullptr;
        }
        if (child->block != nullptr)
            UnmapViewOfFile(child->block);
        for (HANDLE handle : {child->blockMapping, child->newsEvent, child->turnEvent})
            if (handle != nullptr)
                CloseHandle(handle);
        delete child;
        return nullptr;
    }
    return child;
}

bool becomeReportChild(char* name, std::uint32_t capacity, CLSID* clsid)
{
    HANDLE mapping;
    if (!blockArgument(&mapping))
        return false;
    auto* block =
        static_cast<ReportBlock*>(MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(ReportBlock)));
    if (block == nullptr)
        return false;
    if (!isPreparedBlock(block)) {
        UnmapViewOfFile(block);
        return false;
    }
    std::snprintf(name, capacity, "%.*s", static_cast<int>(sizeof block->name), block->name);
    *clsid = block->clsid;
    takeBlock(block);
    // Whatever the driver starts inherits none of the child's handles.
    for (HANDLE handle : {mapping, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(block->newsEvent)),
                          reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(block->turnEvent)),
                          GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE)})
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
    SetConsoleCtrlHandler(leaveControlToProgram, TRUE);
    SetErrorMode(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS);
    SetUnhandledExceptionFilter(endWithFaultCode);
    writeReportMarked();
    relayDriverOutput(block);
    return true;
}

} // namespace platform
