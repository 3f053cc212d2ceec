// The per-driver report and its sections. Every line goes to standard
// output, or to standard error for the lines that report a failure, and is
// ended with a newline and a flush.
#pragma once

// Opens the named driver, reports it, and closes it again. No driver is
// current before or after.
void reportDriver(const char* name);
