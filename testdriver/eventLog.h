// The log the end-to-end tests read: every event of every driver object,
// one line each, appended to the file named like the DLL with ".log"
// added. Each line is opened, written and closed on its own, so the log is
// complete up to the last event even if the host process dies.
#pragma once

#include <string>

void appendEvent(const std::string& line);

// The driver objects the log holds so far, of every process that wrote to
// it: each process of a run numbers its objects after them.
int objectsLogged();
