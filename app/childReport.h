// A driver's report in a child process of its own: whatever the driver
// does, hang, crash or end the process, it cannot stop the program's
// report. The child announces each driver operation it enters; the program
// waits for each at most a while, and says how a report that did not
// finish ended.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com.h"

// How long the program waits for a driver operation.
constexpr std::uint32_t hangSeconds = ASIO_REPORT_HANG_SECONDS;

struct ChildOutcome {
    enum class End { finished, hung, ended } end;
    std::string operation; // the last the child entered
    std::uint32_t exitStatus;
};

// The line that tells how the child's report ended, "" when it finished.
std::string childOutcomeLine(const ChildOutcome& outcome);

// The program's side: reports the driver named name in a child, after the
// header the program printed, and starts the child of nextName, when
// given, so that it makes itself ready meanwhile. False, with nothing
// printed, when no child could be started or none got as far as the
// driver.
bool reportInChild(const char* name, const char* nextName = nullptr);

// The child's whole run: reports the driver named name, of class clsid,
// and returns the exit status.
int reportAsChild(const char* name, const CLSID& clsid);
