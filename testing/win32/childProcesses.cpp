#include "testing/win32/childProcesses.h"

#include <tlhelp32.h>

std::vector<HANDLE> childProcesses(DWORD parent)
{
    std::vector<HANDLE> children;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ParentProcessID == parent)
            if (HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, entry.th32ProcessID))
                children.push_back(child);
    CloseHandle(snapshot);
    return children;
}

bool allEndSoon(const std::vector<HANDLE>& processes)
{
    bool ended = true;
    for (HANDLE process : processes) {
        ended = WaitForSingleObject(process, 2000) == WAIT_OBJECT_0 && ended;
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
    return ended;
}
