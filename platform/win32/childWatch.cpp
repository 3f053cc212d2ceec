// How the program watches a report child of any kind: its news, giving up
// on it, what it did last, how it ended, and letting go of it.
#include <algorithm>
#include <initializer_list>

#include "platform/win32/askingWindows.h"
#include "platform/win32/ownThreadWatch.h"
#include "platform/win32/reportChild.h"

namespace {

// How long ending a child may take before the program goes on regardless.
constexpr DWORD endWait = 5000;

// How often a wait looks at the child's windows.
constexpr DWORD windowLook = 250;

// An interrupt reaches the program and its children at once: a child
// that a driver's own handler ended with the interrupt's status gives the
// program's handler this long to end the program, before its end is told
// as the driver's doing.
constexpr DWORD interruptGrace = 2000;

} // namespace

namespace platform {

void letChildReport(ReportChild* child)
{
    // A driver that asks its user shows a window, and on Windows a process
    // in the background cannot bring its window to the front: it would open
    // behind the console, where the user waits for the report. The
    // program, started by the user, may hand its child that right (when
    // the system lets it: it must be allowed to set the foreground itself).
    // A report thread is the program's own and has it already.
    if (child->kind == ReportChild::Kind::process)
        AllowSetForegroundWindow(child->processId);
    SetEvent(child->turnEvent);
}

ChildNews waitForChild(ReportChild* child, std::uint32_t milliseconds)
{
    // This wait has a limit of its own.
    const OwnThreadWaits waits;
    const LONG64 at = callsOf(child->told) << 3 | stateOf(child->told);
    if (at != child->countedAt) {
        child->countedAt = at;
        child->counted = 0;
    }
    ULONGLONG& counted = child->counted;
    ULONGLONG last = GetTickCount64();
    for (;;) {
        ChildNews news;
        const LONG64 now = progressOf(child->block);
        if (newsOf(child->told, now, &news)) {
            child->told = now;
            return news;
        }
        DWORD slice = INFINITE;
        if (milliseconds != waitForever) {
            if (counted >= milliseconds)
                return ChildNews::silent;
            slice = static_cast<DWORD>(std::min<ULONGLONG>(milliseconds - counted, windowLook));
        }
        // Once the report is complete, only the child's end is news: its
        // process's or thread's, or the keeper's word that it is done.
        HANDLE waited[3];
        DWORD count = 0;
        waited[count++] = child->runner;
        if (child->reportDone != nullptr)
            waited[count++] = child->reportDone;
        const DWORD ends = count;
        if (stateOf(child->told) != finished)
            waited[count++] = child->newsEvent;
        const DWORD which = WaitForMultipleObjects(count, waited, FALSE, slice);
        const ULONGLONG tick = GetTickCount64();
        // While the child talks to its user, the time is the user's.
        if (milliseconds != waitForever && (which != WAIT_TIMEOUT || !asksUser(child->processId, child->threadId)))
            counted += tick - last;
        last = tick;
        if (which < WAIT_OBJECT_0 + ends) {
            // News the child gave before it ended come first.
            if (newsOf(child->told, progressOf(child->block), &news))
                continue;
            if (childExitStatus(child) == STATUS_CONTROL_C_EXIT && child->kind == ReportChild::Kind::process)
                Sleep(interruptGrace);
            return ChildNews::ended;
        }
        if (which != WAIT_TIMEOUT && which != WAIT_OBJECT_0 + ends)
            return ChildNews::failed;
    }
}

bool giveUpOnChild(ReportChild* child)
{
    return giveUp(child->block, child->told);
}

void lastChildOperation(const ReportChild* child, char* operation, std::uint32_t capacity)
{
    // The child's memory is the driver's too: keep only what a name holds.
    const LONG64 calls = callsOf(child->told);
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

bool childInCall(const ReportChild* child)
{
    return stateOf(child->told) == inCall;
}

std::uint32_t childExitStatus(const ReportChild* child)
{
    DWORD status = 0;
    if (child->kind == ReportChild::Kind::process)
        GetExitCodeProcess(child->runner, &status);
    else
        GetExitCodeThread(child->runner, &status);
    return status;
}

void releaseChild(ReportChild* child)
{
    switch (child->kind) {
    case ReportChild::Kind::process:
        if (WaitForSingleObject(child->runner, 0) != WAIT_OBJECT_0) {
            TerminateProcess(child->runner, ERROR_TIMEOUT);
            const OwnThreadWaits waits;
            WaitForSingleObject(child->runner, endWait);
        }
        UnmapViewOfFile(child->block);
        CloseHandle(child->blockMapping);
        break;
    case ReportChild::Kind::thread:
    case ReportChild::Kind::keptReport:
        // A thread still inside its driver keeps its events for good.
        if (!releaseReportThread(child)) {
            CloseHandle(child->runner);
            delete child;
            return;
        }
        break;
    }
    for (HANDLE handle : {child->runner, child->newsEvent, child->turnEvent, child->reportDone})
        if (handle != nullptr)
            CloseHandle(handle);
    delete child;
}

} // namespace platform
