// The whole run of the program: scan, one report per driver, prompt.
#pragma once

// Returns the exit status: 0 after a complete run, 1 when the driver
// manager cannot be created.
int runProgram();
