// The list of installed drivers and the one object that owns it. Building
// the manager scans the registry; afterwards the list never changes, and
// at most one driver is open (current) at a time. COM is not the
// manager's: the thread that reports a driver starts it for itself, so
// that the first to do so, and so the one that creates drivers made for a
// single thread, is the thread that calls them.
#pragma once

#include <cstdint>

#include "driver/asio.h"
#include "platform/platform.h"

struct DriverEntry {
    std::int32_t index;
    CLSID clsid;
    char name[128];
    IASIO* instance; // owns one reference while not null
    DriverEntry* next;
};

class DriverManager {
public:
    // Scans the registry for installed drivers; see scanInstalledDrivers.
    DriverManager();
    // Lists the one driver of class clsid named name, as a report child
    // takes it from the program's scan.
    DriverManager(const CLSID& clsid, const char* name);
    // Releases every driver object still held and frees the list.
    ~DriverManager();

    DriverManager(const DriverManager&) = delete;
    DriverManager& operator=(const DriverManager&) = delete;

    std::int32_t driverCount() const { return count; }
    const DriverEntry* firstEntry() const { return entries; }
    // The index of the current driver, or -1 for none.
    std::int32_t currentDriverIndex() const { return currentIndex; }

    // Copies the short name of driver `index` into buffer[0..capacity). A
    // name that does not fit becomes its first capacity - 4 characters and
    // "...". No entry with that index, or no buffer: nothing is written.
    void driverName(std::int32_t index, char* buffer, std::int32_t capacity) const;

    // The first entry whose short name equals name; null for none.
    const DriverEntry* entryNamed(const char* name) const;

    // Opens the first driver whose short name equals name and makes it
    // current, closing the current one first. When the new one cannot be
    // created, the one that was current before is reopened (and false is
    // still the result).
    bool openDriver(const char* name);

    // Releases the current driver's object, if any; no driver is current
    // afterwards.
    void closeCurrent();

    // Forgets the current driver's object without releasing it: a driver
    // that faulted is never called again. No driver is current or active
    // afterwards.
    void abandonCurrent();

private:
    void scanInstalledDrivers();
    void currentDriverName(char* buffer) const;
    std::int32_t firstIndexNamed(const char* name) const;
    bool openEntry(std::int32_t index);
    void closeEntry(std::int32_t index);
    static void freeEntries(DriverEntry* entry);
    DriverEntry* entryAt(std::int32_t index) const;

    DriverEntry* entries = nullptr;
    std::int32_t count = 0;
    std::int32_t currentIndex = -1;
};

// The manager of the report this process runs, null while there is none:
// the program's lists every driver, a report child's only the one it
// reports.
extern DriverManager* driverManager;

// The driver in use, borrowed from the current DriverEntry; null for none.
// openDriver sets it; the call layer calls through it and clears it, and
// so does abandoning the current driver.
extern IASIO* activeDriver;

// The capacity of a short driver name, terminator included.
constexpr std::int32_t shortNameCapacity = 32;
