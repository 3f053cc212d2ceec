#include "platform/win32/reportBlock.h"

#include <cstdio>
#include <cstring>

#include "platform/win32/ownThreadWatch.h"

namespace {

constexpr char blockMark[] = "asio-report child";
static_assert(sizeof blockMark == sizeof ReportBlock::mark);

// The word: bits 0-2 the state, bit 3 set while writing, bits 4-31 the
// driver calls entered, bits 32-63 the moves made.
constexpr LONG64 stateMask = 7;
constexpr LONG64 writingFlag = 8;
constexpr int callShift = 4;
constexpr LONG64 callMask = 0x0FFFFFFF;
constexpr int moveShift = 32;

LONG64 moved(LONG64 progress, LONG64 calls, ReportState state, bool writing)
{
    const LONG64 moves = (static_cast<ULONG64>(progress) >> moveShift) + 1;
    return static_cast<LONG64>(static_cast<ULONG64>(moves) << moveShift) | (calls & callMask) << callShift |
        (writing ? writingFlag : 0) | state;
}

// In a report child, or a report thread: its block and the event that
// gives it its turn.
thread_local ReportBlock* ownBlock;
thread_local HANDLE ownTurnEvent;

// Moves the report on to where next says, unless the program gave it up:
// then the report has been ended for it, and this thread must neither
// write nor call anything again.
template <typename Next>
void moveOn(ReportBlock* block, Next next)
{
    for (;;) {
        const LONG64 progress = progressOf(block);
        if (stateOf(progress) == givenUp)
            for (;;)
                Sleep(INFINITE);
        if (InterlockedCompareExchange64(&block->progress, next(progress), progress) == progress)
            break;
    }
    SetEvent(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(block->newsEvent)));
}

template <typename Next>
void moveOn(Next next)
{
    moveOn(ownBlock, next);
}

} // namespace

LONG64 progressOf(const ReportBlock* block)
{
    // A plain read of 64 bits is two reads on x86, which a move between
    // them would tear.
    return InterlockedCompareExchange64(const_cast<volatile LONG64*>(&block->progress), 0, 0);
}

ReportState stateOf(LONG64 progress)
{
    return static_cast<ReportState>(progress & stateMask);
}

bool isWriting(LONG64 progress)
{
    return (progress & writingFlag) != 0;
}

LONG64 callsOf(LONG64 progress)
{
    return progress >> callShift & callMask;
}

LONG64 progressInCreation()
{
    return moved(0, 1, inCall, false);
}

void prepareBlock(ReportBlock* block, const char* name, HANDLE newsEvent, HANDLE turnEvent)
{
    std::memcpy(block->mark, blockMark, sizeof blockMark);
    std::snprintf(block->name, sizeof block->name, "%s", name);
    block->newsEvent = reinterpret_cast<std::uintptr_t>(newsEvent);
    block->turnEvent = reinterpret_cast<std::uintptr_t>(turnEvent);
}

bool isPreparedBlock(const ReportBlock* block)
{
    return std::memcmp(block->mark, blockMark, sizeof blockMark) == 0;
}

void takeBlock(ReportBlock* block)
{
    ownBlock = block;
    ownTurnEvent = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(block->turnEvent));
}

void markWriting(bool writing)
{
    if (ownBlock != nullptr)
        markWritingIn(ownBlock, writing);
}

void markWritingIn(ReportBlock* block, bool writing)
{
    moveOn(block,
           [writing](LONG64 progress) { return moved(progress, callsOf(progress), stateOf(progress), writing); });
}

bool newsOf(LONG64 told, LONG64 now, platform::ChildNews* news)
{
    if (now == told || stateOf(told) == finished)
        return false;
    switch (stateOf(now)) {
    case inCall:
        *news = isWriting(now) ? platform::ChildNews::writing : platform::ChildNews::entered;
        return true;
    case notStarted:
    case betweenCalls:
        *news = isWriting(now) ? platform::ChildNews::writing : platform::ChildNews::returned;
        return true;
    case finished:
        *news = platform::ChildNews::finished;
        return true;
    default:
        return false;
    }
}

bool giveUp(ReportBlock* block, LONG64 told)
{
    const ReportState state = stateOf(told);
    return state != finished && state != givenUp && !isWriting(told) &&
        InterlockedCompareExchange64(&block->progress, moved(told, callsOf(told), givenUp, false), told) == told;
}

// The announcements and the writing marks move the report on: once the
// program has given up on it, none of them returns (moveOn), so that the
// child writes and calls nothing more.
namespace platform {

void awaitTurn()
{
    // A program that ends before the turn comes ends the child with it.
    if (ownBlock != nullptr)
        WaitForSingleObject(ownTurnEvent, INFINITE);
}

void announceOperation(const char* operation)
{
    // The program's own thread reports its driver itself only as the last
    // resort; its watch sees each call.
    if (ownBlock == nullptr) {
        ownThreadMoves();
        return;
    }
    const LONG64 next = callsOf(progressOf(ownBlock)) + 1;
    std::snprintf(ownBlock->operations[next % 2], sizeof ownBlock->operations[0], "%s", operation);
    moveOn([](LONG64 progress) { return moved(progress, callsOf(progress) + 1, inCall, isWriting(progress)); });
}

void announceReturn()
{
    if (ownBlock == nullptr)
        ownThreadMoves();
    else
        moveOn([](LONG64 progress) { return moved(progress, callsOf(progress), betweenCalls, isWriting(progress)); });
}

void announceReportFinished()
{
    if (ownBlock != nullptr)
        moveOn([](LONG64 progress) { return moved(progress, callsOf(progress), finished, isWriting(progress)); });
}

} // namespace platform
