// A driver's report in a child process of its own: whatever the driver
// does, hang, crash or end the process, it cannot stop the program's
// report. The child announces each driver operation it enters; the program
// waits for each at most a while, and learns how a report that did not
// finish ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// How long the program waits for a driver operation.
constexpr std::uint32_t hangSeconds = ASIO_REPORT_HANG_SECONDS;

struct ChildOutcome {
    enum class End { finished, hung, ended } end;
    std::string operation; // the last the child entered
    std::uint32_t exitStatus;
};

// The program's side: hands the report of the driver named name, after the
// header the program printed, to a child, watches it and says how it
// ended; starts the child of nextName, when given, so that it makes itself
// ready meanwhile. Nothing when no child could be started or none got as
// far as the driver, and so reported nothing of it.
std::optional<ChildOutcome> reportInChild(const char* name, const char* nextName = nullptr);
