// Whether a driver talks to its user: a visible top-level window of its
// process or thread that is still served. Windows itself calls a window
// that has taken no message for 5 s not responding (IsHungAppWindow); one
// still served is the user's to answer, for as long as the user likes.
#pragma once

#include <windows.h>

// The windows of the process processId, or with processId 0 those of the
// thread threadId. Nothing here sends a window a message, which a stuck
// thread would never answer.
bool asksUser(DWORD processId, DWORD threadId);

// Made before any report thread runs (see prepareBeforeReportThreads): the
// first look at the desktop's windows loads what the system needs for it.
void prepareWindowChecks();
