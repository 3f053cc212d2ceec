// The watch over the program's own thread, once drivers run in its
// process: a report thread left behind, or one that ended inside its
// driver, may hold a lock the program's thread needs next, the heap's
// among them, and the program must not stop without a word for it.
#pragma once

#include <windows.h>

// Starts the watch over the calling thread, the program's own, with the
// program's limit; it counts from armOwnThreadWatch on.
void startOwnThreadWatch(DWORD limitMilliseconds);
void armOwnThreadWatch();

// The program's own thread moves on: it entered or left a driver call.
void ownThreadMoves();

// While one lives on the program's own thread, the thread waits for a
// child, whose watch has a limit of its own, or for the output's reader or
// the user, whose time is theirs: the watch does not count it.
class OwnThreadWaits {
public:
    OwnThreadWaits();
    ~OwnThreadWaits();
    OwnThreadWaits(const OwnThreadWaits&) = delete;
    OwnThreadWaits& operator=(const OwnThreadWaits&) = delete;

private:
    const bool own;
};

// Has the watch's thread put the console back and end the process with
// code, for a thread that faulted and may have no stack left to do it
// itself. False when there is no watch.
bool endOnWatchThread(DWORD code);
