// How the program watches a report child of any kind: its news, giving up
// on it, what it did last, how it ended, and letting go of it.
#include <initializer_list>

#include "platform/win32/reportChild.h"

namespace {

// Whether a thread's report is over: its thread ended, or the keeper is
// done with it (or ended itself).
bool threadReportDone(const platform::ReportChild* child)
{
    return WaitForSingleObject(child->runner, 0) == WAIT_OBJECT_0 ||
        (child->reportDone != nullptr && WaitForSingleObject(child->reportDone, 0) == WAIT_OBJECT_0);
}

// How long ending a child may take before the program goes on regardless.
constexpr DWORD endWait = 5000;

} // namespace

namespace platform {

void letChildReport(ReportChild* child)
{
    SetEvent(child->turnEvent);
}

ChildNews waitForChild(ReportChild* child, std::uint32_t milliseconds)
{
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        ChildNews news;
        const LONG64 now = child->block->progress;
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
        waited[count++] = child->runner;
        if (child->reportDone != nullptr)
            waited[count++] = child->reportDone;
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
            WaitForSingleObject(child->runner, endWait);
        }
        UnmapViewOfFile(child->block);
        CloseHandle(child->blockMapping);
        break;
    case ReportChild::Kind::thread:
    case ReportChild::Kind::keptReport:
        // A thread cannot be ended safely. One still inside its driver
        // keeps its start and events for good: it may yet use them.
        if (!threadReportDone(child)) {
            leaveThreadBehind(child);
            CloseHandle(child->runner);
            delete child;
            return;
        }
        freeThreadStart(child->start);
        break;
    }
    for (HANDLE handle : {child->runner, child->newsEvent, child->turnEvent, child->reportDone})
        if (handle != nullptr)
            CloseHandle(handle);
    delete child;
}

} // namespace platform
