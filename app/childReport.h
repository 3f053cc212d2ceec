// A driver's report in a child process of its own: whatever the driver
// does, hang, crash or end the process, it cannot stop the program's
// report. When no child can report it, a thread of the program's own does,
// watched the same way. The child announces each driver call and the
// driver's return, and marks each write of its report; the program waits
// at most a while for each news, but for none while the child writes, so
// that a driver, or a thread of its, that holds the child up anywhere is
// found out, and the time a paused reader of the output holds the report
// up never counts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// How long the program waits for a driver operation.
constexpr std::uint32_t hangSeconds = ASIO_REPORT_HANG_SECONDS;

struct ChildOutcome {
    enum class End {
        finished,
        hung,
        ended, // the process, or the thread, ended inside the report
        lost, // the program could not wait for the child any more
    } end;
    std::string operation; // the last the child entered
    std::uint32_t exitStatus;
    bool onThread; // reported by a thread of the program's own
    bool inCall; // the end came inside operation, not after it
};

// The line that tells how a child's report ended, "" when it finished.
std::string childOutcomeLine(const ChildOutcome& outcome);

// The program's side: hands the report of the driver named name, after the
// header the program printed, to a child, watches it and says how it
// ended; starts the child of nextName, when given, so that it makes itself
// ready meanwhile. Nothing when no child could be started or none got as
// far as the driver, and so reported nothing of it.
std::optional<ChildOutcome> reportInChild(const char* name, const char* nextName = nullptr);

// Hands the report of the driver named name to a thread of its own,
// watched as a child is; a thread the driver holds up is left behind, with
// its driver. Nothing when no thread can be started.
std::optional<ChildOutcome> reportOnThread(const char* name);

// The line that says why the driver named name cannot be reported in the
// program's own process any more, now that a driver was left behind on a
// thread of it; "" when it still can.
std::string inProcessBlockLine(const char* name);
