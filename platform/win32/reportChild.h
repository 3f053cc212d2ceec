// The program's side of a report child on Windows, shared by the files
// that start children (a process, a thread of its own, or the keeper's
// thread) and the one that watches them.
#pragma once

#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/reportBlock.h"

struct ThreadStart;

struct platform::ReportChild {
    enum class Kind {
        process, // this program started again
        thread, // a thread of this process, its own
        keptReport, // a report the keeper's thread runs
    } kind;
    // What ends with the child: the process, the thread, or a copy of the
    // keeper's thread's handle, which ends only with the keeper.
    HANDLE runner = nullptr;
    // Whose windows are the child's: a process's, or a thread's.
    DWORD processId = 0;
    DWORD threadId = 0;
    HANDLE newsEvent = nullptr;
    HANDLE turnEvent = nullptr;
    ReportBlock* block = nullptr;
    HANDLE blockMapping = nullptr; // a process's block
    ThreadStart* start = nullptr; // a thread's start, which holds its block
    HANDLE reportDone = nullptr; // a kept report's: set when the keeper is done with it
    LONG64 told = 0; // the progress the news told so far
    // The limit's count for where the child stands, its state and calls:
    // a write, its own or its driver's, pauses the count, and a wait after
    // it goes on with the count as it was.
    LONG64 countedAt = -1;
    ULONGLONG counted = 0;
};

// Lets go of a thread's or kept report's start (see reportThreads.cpp for
// a report thread's life): freed when the report is over, the thread noted
// as lost to its driver when it ended inside it; kept for good, with the
// thread, and the keeper with it, when it is still inside its driver,
// which releaseReportThread tells by its false result: the child's events
// and runner then stay as they are.
bool releaseReportThread(platform::ReportChild* child);

// Made before any report thread runs (see prepareBeforeReportThreads):
// the program's path and the job its children run in.
void prepareChildStarts();
