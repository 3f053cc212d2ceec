// The report child on Windows: this program started again with one
// argument, the value of a handle it inherits to a block of shared memory
// that names the driver and its class and carries the child's news back,
// with an event the child sets for each and one the program sets to give
// it its turn. A command line typed by hand cannot give a process such a
// block, so no other process becomes a child. Every child runs in one job
// object that ends it when the program ends, however the program ends.
// When no child can be started, a thread of this process reports through a
// block of its own in the same way.
#include "platform/platform.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char blockMark[] = "asio-report child";

// Where a report stands: its state and the number of driver calls it has
// entered, in one word that the child moves on and the program may give
// up, each atomically.
enum ReportState : LONG { notStarted, inCall, betweenCalls, finished, givenUp };
constexpr LONG stateMask = 7;
constexpr int callShift = 3;

LONG stateOf(LONG progress)
{
    return progress & stateMask;
}

LONG callsOf(LONG progress)
{
    return progress >> callShift;
}

LONG progressOf(LONG calls, LONG state)
{
    return calls << callShift | state;
}

struct ReportBlock {
    char mark[sizeof blockMark];
    char name[32];
    CLSID clsid;
    std::uint64_t newsEvent; // handle values, the same in both processes
    std::uint64_t turnEvent;
    volatile LONG progress;
    // Call n's operation is in operations[n % 2]: the child writes the next
    // call's where the program never looks while it decides on the last.
    char operations[2][32];
};

// A report thread's start: its block, the report it runs, for a report
// the keeper runs the event it sets when the report is done, and for any
// other the keeper's event that its COM has started.
struct ThreadStart {
    ReportBlock block;
    void (*report)(const char* name);
    HANDLE done;
    HANDLE keeperReady;
};

// How long ending a child may take before the program goes on regardless.
constexpr DWORD endWait = 5000;

// In a report child, or a report thread: its block, the event it sets for
// news and the one that gives it its turn.
thread_local ReportBlock* ownBlock;
thread_local HANDLE ownNewsEvent;
thread_local HANDLE ownTurnEvent;

void takeBlock(ReportBlock* block)
{
    ownBlock = block;
    ownNewsEvent = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(block->newsEvent));
    ownTurnEvent = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(block->turnEvent));
}

// Moves the own report on to where next says, unless the program gave it
// up: then the report has been ended for it, and this thread must neither
// write nor call anything again.
void moveOn(LONG (*next)(LONG progress))
{
    for (;;) {
        const LONG progress = ownBlock->progress;
        if (stateOf(progress) == givenUp)
            for (;;)
                Sleep(INFINITE);
        if (InterlockedCompareExchange(&ownBlock->progress, next(progress), progress) == progress)
            break;
    }
    SetEvent(ownNewsEvent);
}

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

// Asked for once, at the first child's start, before any report thread
// runs: the system takes its loader's lock to answer, and a report thread
// hung in its driver may hold that lock for good.
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
// given, the two streams among them as its standard output and error;
// born inside job when one is given (Windows 10 and later).
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

void runReport(ThreadStart* start)
{
    takeBlock(&start->block);
    platform::awaitTurn();
    start->report(start->block.name);
}

DWORD WINAPI runReportThread(void* start)
{
    // The keeper starts COM first, so that its apartment is the main one.
    WaitForSingleObject(static_cast<ThreadStart*>(start)->keeperReady, INFINITE);
    runReport(static_cast<ThreadStart*>(start));
    return 0;
}

// Drivers registered without a threading model are made for one thread:
// COM creates them only in the process's main apartment, the first that
// started COM of those still there, and elsewhere hands out a proxy, which
// the driver interface cannot have. The keeper is that apartment's
// thread: it starts COM before any other report thread, keeps it, and
// reports those drivers, one after the other. A keeper given up on is
// lost, and with it the main apartment: no driver made for one thread can
// be created after it.
struct Keeper {
    HANDLE thread;
    HANDLE ready; // set once its COM has started
    HANDLE work; // set when job holds a report to run
    ThreadStart* volatile job;
    bool lost;
};
Keeper* keeper;

// Whether a report thread was left inside its driver.
bool threadsLeft;

DWORD WINAPI runKeeper(void* kept)
{
    auto* own = static_cast<Keeper*>(kept);
    platform::startCom();
    SetEvent(own->ready);
    for (;;) {
        WaitForSingleObject(own->work, INFINITE);
        runReport(own->job);
        SetEvent(own->job->done);
    }
}

// The keeper, started; null when none can be. Its ready event tells when
// it holds the main apartment.
Keeper* startedKeeper()
{
    if (keeper != nullptr && !keeper->lost && WaitForSingleObject(keeper->thread, 0) != WAIT_OBJECT_0)
        return keeper;
    auto* made = new Keeper{};
    made->ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    made->work = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (made->ready != nullptr && made->work != nullptr)
        made->thread = CreateThread(nullptr, 0, runKeeper, made, 0, nullptr);
    if (made->thread == nullptr) {
        for (HANDLE handle : {made->ready, made->work})
            if (handle != nullptr)
                CloseHandle(handle);
        delete made;
        return nullptr;
    }
    // A keeper lost is left as it is: its thread may still use it.
    keeper = made;
    return keeper;
}

// Whether the class is registered without a threading model that lets a
// thread of its own create it.
bool madeForOneThread(const CLSID& clsid)
{
    wchar_t id[39];
    StringFromGUID2(clsid, id, 39);
    const std::wstring key = std::wstring(L"CLSID\\") + id + L"\\InprocServer32";
    wchar_t model[16];
    DWORD size = sizeof model;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), L"ThreadingModel", RRF_RT_REG_SZ, nullptr, model, &size) !=
        ERROR_SUCCESS)
        return true;
    for (const wchar_t* free : {L"Apartment", L"Both", L"Free", L"Neutral"})
        if (lstrcmpiW(model, free) == 0)
            return false;
    return true;
}

} // namespace

struct platform::ReportChild {
    HANDLE process; // or the report thread, or the keeper
    ThreadStart* thread; // a report thread's start, else null
    Keeper* keptBy; // the keeper that runs the report, else null
    HANDLE blockHandle;
    HANDLE newsEvent;
    HANDLE turnEvent;
    ReportBlock* block;
    LONG told; // the progress the news told so far
};

namespace {

// A child with its events and a block of its own, the block in shared
// memory for a child process, or null when they cannot be made.
platform::ReportChild* makeChild(const char* name, bool shared)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    auto* child = new platform::ReportChild{};
    child->newsEvent = CreateEventW(shared ? &inheritable : nullptr, FALSE, FALSE, nullptr);
    child->turnEvent = CreateEventW(shared ? &inheritable : nullptr, TRUE, FALSE, nullptr);
    if (shared) {
        child->blockHandle =
            CreateFileMappingW(INVALID_HANDLE_VALUE, &inheritable, PAGE_READWRITE, 0, sizeof(ReportBlock), nullptr);
        if (child->blockHandle != nullptr)
            child->block = static_cast<ReportBlock*>(
                MapViewOfFile(child->blockHandle, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ReportBlock)));
    } else {
        child->thread = new ThreadStart{};
        child->block = &child->thread->block;
    }
    if (child->newsEvent == nullptr || child->turnEvent == nullptr || child->block == nullptr) {
        platform::releaseChild(child);
        return nullptr;
    }
    std::memcpy(child->block->mark, blockMark, sizeof blockMark);
    std::snprintf(child->block->name, sizeof child->block->name, "%s", name);
    child->block->newsEvent = reinterpret_cast<std::uintptr_t>(child->newsEvent);
    child->block->turnEvent = reinterpret_cast<std::uintptr_t>(child->turnEvent);
    return child;
}

// The news in a move from the progress told to the progress now; false
// when there is none.
bool newsOf(LONG told, LONG now, platform::ChildNews* news)
{
    if (now == told)
        return false;
    switch (stateOf(now)) {
    case inCall:
        *news = platform::ChildNews::entered;
        return true;
    case betweenCalls:
        *news = platform::ChildNews::returned;
        return true;
    case finished:
        *news = platform::ChildNews::finished;
        return true;
    default:
        return false;
    }
}

} // namespace

namespace platform {

ReportChild* startReportChild(const char* name, const CLSID& clsid)
{
    // Learnt before any report thread can hold the loader's lock.
    programPath();
    const HANDLE job = childJob();
    if (job == nullptr)
        return nullptr;
    ReportChild* child = makeChild(name, true);
    if (child == nullptr)
        return nullptr;
    child->block->clsid = clsid;

    const HANDLE out = inheritableStream(STD_OUTPUT_HANDLE);
    const HANDLE err = inheritableStream(STD_ERROR_HANDLE);
    std::vector<HANDLE> inherited = {child->blockHandle, child->newsEvent, child->turnEvent};
    for (HANDLE stream : {out, err})
        if (stream != nullptr)
            inherited.push_back(stream);
    PROCESS_INFORMATION started{};
    // Born in the job where the system allows it, so that not even a
    // suspended child outlives a program killed at once; else assigned to
    // it before it runs a single instruction of its own.
    bool ok = startSuspended(child->blockHandle, inherited, out, err, job, &started) ||
        startSuspended(child->blockHandle, inherited, out, err, nullptr, &started);
    for (HANDLE stream : {out, err})
        if (stream != nullptr)
            CloseHandle(stream);
    if (!ok) {
        releaseChild(child);
        return nullptr;
    }
    child->process = started.hProcess;
    BOOL inJob = FALSE;
    ok = IsProcessInJob(started.hProcess, job, &inJob) && (inJob || AssignProcessToJobObject(job, started.hProcess));
    if (ok)
        ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    if (!ok) {
        releaseChild(child);
        return nullptr;
    }
    return child;
}

ReportChild* startReportThread(const char* name, const CLSID& clsid, void (*report)(const char* name))
{
    // The keeper holds the main apartment before any report thread starts
    // COM; all a thread waits for before it belongs to the driver's
    // creation, and so to its limit.
    Keeper* kept = startedKeeper();
    if (kept == nullptr)
        return nullptr;
    ReportChild* child = makeChild(name, false);
    if (child == nullptr)
        return nullptr;
    child->thread->report = report;
    // What a thread does before its first driver call, its own start and
    // COM's, belongs to the driver's creation.
    std::snprintf(child->block->operations[1], sizeof child->block->operations[1], "%s", "CoCreateInstance");
    child->block->progress = progressOf(1, inCall);
    if (madeForOneThread(clsid)) {
        child->thread->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (child->thread->done != nullptr &&
            DuplicateHandle(GetCurrentProcess(), kept->thread, GetCurrentProcess(), &child->process, SYNCHRONIZE, FALSE,
                            0)) {
            child->keptBy = kept;
            kept->job = child->thread;
            SetEvent(kept->work);
        }
    } else {
        child->thread->keeperReady = kept->ready;
        child->process = CreateThread(nullptr, 0, runReportThread, child->thread, 0, nullptr);
    }
    if (child->process == nullptr) {
        releaseChild(child);
        return nullptr;
    }
    return child;
}

ChildNews waitForChild(ReportChild* child, std::uint32_t milliseconds)
{
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        ChildNews news;
        const LONG now = child->block->progress;
        if (newsOf(child->told, now, &news)) {
            child->told = now;
            return news;
        }
        DWORD left = INFINITE;
        if (milliseconds != waitForever) {
            const ULONGLONG spent = GetTickCount64() - start;
            left = spent >= milliseconds ? 0 : static_cast<DWORD>(milliseconds - spent);
        }
        // Once the report is complete, only the child's end is news: its
        // process's or thread's, or the keeper's word that it is done.
        HANDLE waited[3];
        DWORD count = 0;
        waited[count++] = child->process;
        if (child->keptBy != nullptr)
            waited[count++] = child->thread->done;
        const DWORD ends = count;
        if (stateOf(child->told) != finished)
            waited[count++] = child->newsEvent;
        const DWORD which = WaitForMultipleObjects(count, waited, FALSE, left);
        if (which < WAIT_OBJECT_0 + ends) {
            // News the child gave before it ended come first.
            if (newsOf(child->told, child->block->progress, &news))
                continue;
            return ChildNews::ended;
        }
        if (which == WAIT_TIMEOUT)
            return ChildNews::silent;
        if (which != WAIT_OBJECT_0 + ends)
            return ChildNews::failed;
    }
}

bool giveUpOnChild(ReportChild* child)
{
    const LONG told = child->told;
    return stateOf(told) == inCall &&
        InterlockedCompareExchange(&child->block->progress, progressOf(callsOf(told), givenUp), told) == told;
}

void lastChildOperation(const ReportChild* child, char* operation, std::uint32_t capacity)
{
    // The child's memory is the driver's too: keep only what a name holds.
    const LONG calls = callsOf(child->told);
    const char* text = calls == 0 ? "" : child->block->operations[calls % 2];
    std::uint32_t length = 0;
    while (length + 1 < capacity && length < sizeof child->block->operations[0] &&
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
    if (child->thread != nullptr)
        GetExitCodeThread(child->process, &status);
    else
        GetExitCodeProcess(child->process, &status);
    return status;
}

void letChildReport(ReportChild* child)
{
    SetEvent(child->turnEvent);
}

void releaseChild(ReportChild* child)
{
    const bool done = child->keptBy != nullptr && WaitForSingleObject(child->thread->done, 0) == WAIT_OBJECT_0;
    if (child->process != nullptr && !done && WaitForSingleObject(child->process, 0) != WAIT_OBJECT_0) {
        if (child->thread != nullptr) {
            // A thread cannot be ended safely. One still inside its driver
            // keeps its block and events for good: it may yet use them.
            if (child->keptBy != nullptr)
                child->keptBy->lost = true;
            threadsLeft = true;
            CloseHandle(child->process);
            delete child;
            return;
        }
        TerminateProcess(child->process, ERROR_TIMEOUT);
        WaitForSingleObject(child->process, endWait);
    }
    if (child->process != nullptr)
        CloseHandle(child->process);
    if (child->thread != nullptr) {
        if (child->thread->done != nullptr)
            CloseHandle(child->thread->done);
        delete child->thread;
    } else if (child->block != nullptr) {
        UnmapViewOfFile(child->block);
    }
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
        static_cast<ReportBlock*>(MapViewOfFile(handle, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(ReportBlock)));
    if (block == nullptr)
        return false;
    if (std::memcmp(block->mark, blockMark, sizeof blockMark) != 0) {
        UnmapViewOfFile(block);
        return false;
    }
    std::snprintf(name, capacity, "%.*s", static_cast<int>(sizeof block->name), block->name);
    *clsid = block->clsid;
    takeBlock(block);
    SetErrorMode(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS);
    SetUnhandledExceptionFilter(endWithFaultCode);
    return true;
}

void endIfThreadsLeft(int status)
{
    if (!threadsLeft)
        return;
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
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
    const LONG next = callsOf(ownBlock->progress) + 1;
    std::snprintf(ownBlock->operations[next % 2], sizeof ownBlock->operations[0], "%s", operation);
    moveOn([](LONG progress) { return progressOf(callsOf(progress) + 1, inCall); });
}

void announceReturn()
{
    if (ownBlock != nullptr)
        moveOn([](LONG progress) { return progressOf(callsOf(progress), betweenCalls); });
}

void announceReportFinished()
{
    if (ownBlock != nullptr)
        moveOn([](LONG progress) { return progressOf(callsOf(progress), finished); });
}

} // namespace platform
