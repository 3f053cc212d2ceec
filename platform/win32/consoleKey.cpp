// The prompt's wait on a console. Read as a stream, a console hands over
// nothing before Enter: the wait reads the console's input events instead.
#include "platform/platform.h"

#include <windows.h>

#include <iostream>

#include "platform/win32/console.h"
#include "platform/win32/ownThreadWatch.h"

namespace {

// A key going down. A modifier or lock key alone is not a key press: it
// would end the wait on the way to a combination, Ctrl+C's Ctrl first.
bool isKeyPress(const INPUT_RECORD& record)
{
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown)
        return false;
    switch (record.Event.KeyEvent.wVirtualKeyCode) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
        return false;
    default:
        return true;
    }
}

} // namespace

namespace platform {

void waitForKey()
{
    // The user's time, for as long as the user likes.
    const OwnThreadWaits waits;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD modes;
    if (!GetConsoleMode(input, &modes)) {
        // Input from a file or a pipe ends the wait with its first
        // character or its end.
        std::cin.get();
        return;
    }
    // Processed input stays as it is: on, as a console starts, Ctrl+C
    // remains the signal that ends the program, not a key that ends the wait.
    setInputModes(input, modes & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT));
    INPUT_RECORD record;
    DWORD read = 0;
    while (ReadConsoleInputW(input, &record, 1, &read) && (read == 0 || !isKeyPress(record))) { }
    setInputModes(input, modes);
}

} // namespace platform
