// The driver objects' events, a line each, appended to the DLL's name plus
// ".log"; each line is written on its own, so a dying host loses none.
#pragma once

#include <string>

void appendEvent(const std::string& line);

// The objects logged so far by every process: a process numbers after them.
int objectsLogged();
