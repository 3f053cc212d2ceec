// Where a driver's report runs. Every line of a report goes to standard
// output, or to standard error for the lines that report a failure, and is
// ended with a newline and a flush.
#pragma once

#include "platform/com.h"

// Prints the report's header, then reports the driver in a child process
// of its own, or on a thread of this one when no child can. The child of
// the driver to report next, when named, starts meanwhile.
void reportDriver(const char* name, const char* nextName = nullptr);

// A report child's whole run: reports the driver named name, of class
// clsid, when its turn comes, and returns the exit status.
int reportAsChild(const char* name, const CLSID& clsid);
