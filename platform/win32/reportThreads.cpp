// Report threads: when no child process can be started, a thread of this
// process reports the driver through a block of its own, and tells its
// news as a child does. A report thread's life, as the program sees it:
//
// - started: startReportThread makes its start (block, events, the report
//   to run) and its thread, which is inside the driver's creation from its
//   first instruction: its start and COM's belong to that call.
// - kept: a driver made for one thread is reported by the keeper (below)
//   instead; the report's runner is a copy of the keeper's thread handle,
//   which ends only with the keeper, and the keeper's done event tells
//   that the report is over.
// - finished: the report is complete; the thread ends, or the keeper goes
//   on with the next report, and releaseReportThread frees the start.
// - ended: the thread ended inside its driver (ExitThread, or the keeper's
//   thread with it). Its start is freed, but whatever the thread held, the
//   loader's lock or the heap's, may stay held with no thread to let go.
// - left behind: released while still inside its driver. A thread cannot
//   be ended safely, so it keeps its start and events for good, since it
//   may yet use them, and is never called nor waited for again; a keeper
//   left behind is lost, and with it every driver made for one thread.
//
// Once a thread ended in its driver or was left behind, every driver the
// program would report in its process first asks reportThreadBlock what
// keeps it from being made, and the program ends at once after its prompt
// (endIfThreadsLeft).
#include <exception>
#include <initializer_list>
#include <iostream>
#include <string>

#include "platform/win32/askingWindows.h"
#include "platform/win32/ownThreadWatch.h"
#include "platform/win32/reportChild.h"
#include "platform/win32/reportOutput.h"

// A report thread's start: its block, the report it runs, and for any
// report but a kept one the keeper's event that its COM has started.
struct ThreadStart {
    ReportBlock block;
    void (*report)(const char* name);
    HANDLE keeperReady;
    HANDLE done; // a kept report's, set when the keeper is done with it
};

namespace {

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
// runs the reports of those drivers, one after the other. A keeper left
// behind is lost, and with it the main apartment: no driver made for one
// thread can be created after it.
struct Keeper {
    HANDLE thread;
    DWORD threadId;
    HANDLE ready; // set once its COM has started
    HANDLE work; // set when next holds a report to run
    ThreadStart* volatile next;
    bool lost;
};
Keeper* keeper;

// What the program remembers of the threads it lost to their drivers:
// whether one ended inside its driver or was left behind, and whether the
// keeper was left among them.
bool threadsLeft;
bool keeperLost;

DWORD WINAPI runKeeper(void* kept)
{
    auto* own = static_cast<Keeper*>(kept);
    platform::startCom();
    SetEvent(own->ready);
    for (;;) {
        WaitForSingleObject(own->work, INFINITE);
        runReport(own->next);
        SetEvent(own->next->done);
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
        made->thread = CreateThread(nullptr, 0, runKeeper, made, 0, &made->threadId);
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

// The system loader's lock, as the system's own library takes it.
using LockLoader = LONG(NTAPI*)(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);
using UnlockLoader = LONG(NTAPI*)(ULONG flags, ULONG_PTR cookie);
struct LoaderLock {
    LockLoader lock;
    UnlockLoader unlock;
};

// Looked up before any report thread runs (prepareBeforeReportThreads):
// the lookup itself may take the loader's lock.
const LoaderLock& loaderLock()
{
    static const LoaderLock functions = [] {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return LoaderLock{
            reinterpret_cast<LockLoader>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrLockLoaderLock"))),
            reinterpret_cast<UnlockLoader>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrUnlockLoaderLock")))};
    }();
    return functions;
}

// Tries the system loader's lock without waiting, for a second: true when
// another thread held it all that while. No thread can start, and no
// driver's DLL load, while one does.
bool loaderHeldElsewhere()
{
    constexpr ULONG tryOnly = 2;
    constexpr ULONG acquired = 1;
    const LoaderLock& loader = loaderLock();
    if (loader.lock == nullptr || loader.unlock == nullptr)
        return false;
    // A thread that loads a DLL holds the lock a moment: only one that
    // keeps it for a good while blocks the process. A try that fails tells
    // nothing, and is tried again; only tries that found it held count.
    bool held = false;
    for (const ULONGLONG start = GetTickCount64(); GetTickCount64() - start < 1000; Sleep(10)) {
        ULONG disposition = 0;
        ULONG_PTR cookie = 0;
        if (loader.lock(tryOnly, &disposition, &cookie) < 0)
            continue;
        if (disposition == acquired) {
            loader.unlock(0, cookie);
            return false;
        }
        held = true;
    }
    return held;
}

// Whether a thread's report is over: its thread ended, or the keeper is
// done with it (or ended itself).
bool threadReportDone(const platform::ReportChild* child)
{
    return WaitForSingleObject(child->runner, 0) == WAIT_OBJECT_0 ||
        (child->reportDone != nullptr && WaitForSingleObject(child->reportDone, 0) == WAIT_OBJECT_0);
}

} // namespace

bool releaseReportThread(platform::ReportChild* child)
{
    if (!threadReportDone(child)) {
        // A keeper lost keeps the main apartment: no driver made for one
        // thread can be created after it (see reportThreadBlock).
        if (child->kind == platform::ReportChild::Kind::keptReport)
            keeper->lost = keeperLost = true;
        threadsLeft = true;
        return false;
    }
    if (stateOf(progressOf(child->block)) != finished)
        threadsLeft = true;
    delete child->start;
    return true;
}

namespace platform {

void prepareBeforeReportThreads(std::uint32_t limitMilliseconds)
{
    // Each is made on its first use, which may take a lock that a report
    // thread left inside its driver holds, the loader's or the heap's: the
    // program's path and its children's job, the loader's lock itself, and
    // this thread's own storage for its output, its report block (none),
    // its guard and its exceptions, each made on its first use by the C++
    // runtime's thread-local storage; and the window checks.
    prepareChildStarts();
    loaderLock();
    writeReportMarked();
    std::cout.flush();
    std::cerr.flush();
    markWriting(false);
    std::uint32_t faultCode = 0;
    runGuarded([](void*) {}, nullptr, &faultCode);
    static_cast<void>(std::uncaught_exceptions());
    prepareWindowChecks();
    startOwnThreadWatch(limitMilliseconds);
}

ReportChild* startReportThread(const char* name, const CLSID& clsid, void (*report)(const char* name))
{
    armOwnThreadWatch();
    // The keeper holds the main apartment before any report thread starts
    // COM; all a thread waits for before it belongs to the driver's
    // creation, and so to its limit.
    Keeper* kept = startedKeeper();
    if (kept == nullptr)
        return nullptr;
    auto* child = new ReportChild{madeForOneThread(clsid) ? ReportChild::Kind::keptReport : ReportChild::Kind::thread};
    child->start = new ThreadStart{};
    child->block = &child->start->block;
    child->newsEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    child->turnEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (child->kind == ReportChild::Kind::keptReport)
        child->reportDone = child->start->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (child->newsEvent != nullptr && child->turnEvent != nullptr &&
        (child->kind == ReportChild::Kind::thread || child->reportDone != nullptr)) {
        prepareBlock(child->block, name, child->newsEvent, child->turnEvent);
        child->start->report = report;
        // What a thread does before its first driver call, its own start
        // and COM's, belongs to the driver's creation.
        std::snprintf(child->block->operations[1], sizeof child->block->operations[1], "%s", "CoCreateInstance");
        child->block->progress = progressInCreation();
        if (child->kind == ReportChild::Kind::keptReport) {
            child->threadId = kept->threadId;
            if (DuplicateHandle(GetCurrentProcess(), kept->thread, GetCurrentProcess(), &child->runner, SYNCHRONIZE,
                                FALSE, 0)) {
                kept->next = child->start;
                SetEvent(kept->work);
            }
        } else {
            child->start->keeperReady = kept->ready;
            child->runner = CreateThread(nullptr, 0, runReportThread, child->start, 0, &child->threadId);
        }
    }
    if (child->runner == nullptr) {
        for (HANDLE handle : {child->newsEvent, child->turnEvent, child->reportDone})
            if (handle != nullptr)
                CloseHandle(handle);
        delete child->start;
        delete child;
        return nullptr;
    }
    return child;
}

ThreadBlock reportThreadBlock(const CLSID& clsid)
{
    if (!threadsLeft)
        return ThreadBlock::none;
    if (loaderHeldElsewhere())
        return ThreadBlock::loaderHeld;
    if (keeperLost && madeForOneThread(clsid))
        return ThreadBlock::keeperLost;
    return ThreadBlock::none;
}

void endIfThreadsLeft(int status)
{
    if (!threadsLeft)
        return;
    // Every line was flushed as it ended; flushing the C runtime's streams
    // would wait for a lock a thread left inside a driver's printf holds.
    releaseConsole();
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
}

} // namespace platform
