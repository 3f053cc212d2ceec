// The block through which a report child and the program speak: the
// driver to report, the two events, and the child's progress. A child
// process finds it in shared memory; a report thread has one of its own.
//
// The progress is one word that the child moves on and the program may
// give up, each atomically:
//
//     notStarted --> inCall <--> betweenCalls --> finished
//         |            |              |
//         +------------+-------+------+
//                              v
//                           givenUp      (by the program only)
//
// A flag beside the state says that the child is writing: its report,
// between calls, or in a child process its driver's own output, which it
// relays at any time. The program never gives up on a child inside a
// write. Every move also counts in the word, so that no move is lost on
// the program, however soon the child moves back.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/platform.h"

enum ReportState : LONG64 { notStarted, inCall, betweenCalls, finished, givenUp };

ReportState stateOf(LONG64 progress);
bool isWriting(LONG64 progress);
LONG64 callsOf(LONG64 progress);
// The progress of a report thread, which is inside its driver's creation
// from its start.
LONG64 progressInCreation();

struct ReportBlock {
    char mark[18];
    char name[32];
    CLSID clsid;
    std::uint64_t newsEvent; // handle values, the same in both processes
    std::uint64_t turnEvent;
    alignas(8) volatile LONG64 progress;
    // Call n's operation is in operations[n % 2]: the child writes the next
    // call's where the program never looks while it decides on the last.
    char operations[2][32];
};

// The block's progress, read whole in one step on either word size.
LONG64 progressOf(const ReportBlock* block);

// Fills a new block for the driver named name.
void prepareBlock(ReportBlock* block, const char* name, HANDLE newsEvent, HANDLE turnEvent);

// Whether the block is one the program prepared.
bool isPreparedBlock(const ReportBlock* block);

// The child's side: from now on this thread reports through block.
void takeBlock(ReportBlock* block);

// In a report child or thread: the child enters or leaves a write of its
// report. Once the program has given up on the child, entering does not
// return. Elsewhere: nothing.
void markWriting(bool writing);
// The same for block, from any thread of the child.
void markWritingIn(ReportBlock* block, bool writing);

// The program's side: the news in a move from the progress told to the
// progress now; false when there is none. Once the child's finish was
// told, only its end is news.
bool newsOf(LONG64 told, LONG64 now, platform::ChildNews* news);

// Gives up on the child whose progress was last told as told; false when it
// has moved on since, or is inside a write.
bool giveUp(ReportBlock* block, LONG64 told);
