// What the files that change the console share.
#pragma once

#include <windows.h>

// Sets the console's input modes, unless an interrupt is putting the
// console back: then it waits for the process's end, so that no mode is
// set after the console was put back.
void setInputModes(HANDLE input, DWORD modes);
