// The processes another process started, for tests that no child of the
// program outlives it.
#pragma once

#include <windows.h>

#include <vector>

// The running processes that the process with that id started.
std::vector<HANDLE> childProcesses(DWORD parent);

// Whether each of them ends within 2 s; then ends and closes them all.
bool allEndSoon(const std::vector<HANDLE>& processes);
