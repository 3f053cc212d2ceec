#include "platform/win32/askingWindows.h"

namespace {

struct WindowSearch {
    DWORD processId; // 0: the windows of the thread enumerated
    bool asking;
};

BOOL CALLBACK noteAskingWindow(HWND window, LPARAM search)
{
    auto* found = reinterpret_cast<WindowSearch*>(search);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if ((found->processId == 0 || processId == found->processId) && IsWindowVisible(window) && !IsHungAppWindow(window))
        found->asking = true;
    return !found->asking;
}

} // namespace

bool asksUser(DWORD processId, DWORD threadId)
{
    WindowSearch search{processId, false};
    if (processId != 0)
        EnumWindows(noteAskingWindow, reinterpret_cast<LPARAM>(&search));
    else
        EnumThreadWindows(threadId, noteAskingWindow, reinterpret_cast<LPARAM>(&search));
    return search.asking;
}

void prepareWindowChecks()
{
    asksUser(GetCurrentProcessId(), 0);
}
