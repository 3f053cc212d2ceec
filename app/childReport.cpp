#include "app/childReport.h"

#include "app/inProcessReport.h"
#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "platform/platform.h"

namespace {

constexpr std::uint32_t operationLimit = hangSeconds * 1000;

// The child started ahead for the driver to report next, and its name.
platform::ReportChild* childAhead = nullptr;
std::string nameAhead;

// The class of the driver the program's scan lists under that name, as
// openDriver would pick it: a child takes it from there, and so scans
// nothing itself.
CLSID classNamed(const char* name)
{
    const DriverEntry* entry = driverManager->entryNamed(name);
    return entry != nullptr ? entry->clsid : CLSID{};
}

platform::ReportChild* startChild(const char* name)
{
    return platform::startReportChild(name, classNamed(name));
}

// A child whose report is complete only lets go of its driver and ends.
constexpr std::uint32_t endLimit = 5000;

// Watches the child until its report ends. The limit runs while it is
// inside a driver call, before its first and between calls; while it
// writes, a reader that pauses may hold it up for as long as it likes.
// Nothing when it ended or stalled before it reached the driver.
std::optional<ChildOutcome> watchChild(platform::ReportChild* child, bool onThread)
{
    // A thread is inside its driver's creation from its start.
    bool reached = onThread;
    bool writing = false;
    for (;;) {
        const platform::ChildNews news =
            platform::waitForChild(child, writing ? platform::waitForever : operationLimit);
        // News may come together: each tells where the child stands now.
        if (news == platform::ChildNews::entered || news == platform::ChildNews::returned ||
            news == platform::ChildNews::writing) {
            reached = true;
            writing = news == platform::ChildNews::writing;
            continue;
        }
        if (news == platform::ChildNews::finished) {
            platform::waitForChild(child, endLimit);
            return ChildOutcome{ChildOutcome::End::finished, "", 0, onThread, false};
        }
        if (!reached)
            return std::nullopt;
        // A child that moves on just as the limit passes is not held up.
        if (news == platform::ChildNews::silent && !platform::giveUpOnChild(child))
            continue;
        char operation[32];
        platform::lastChildOperation(child, operation, sizeof operation);
        const bool inCall = platform::childInCall(child);
        if (news == platform::ChildNews::ended)
            return ChildOutcome{ChildOutcome::End::ended, operation, platform::childExitStatus(child), onThread,
                                inCall};
        if (news == platform::ChildNews::failed) {
            // Whatever the child does now, it must write nothing more.
            platform::giveUpOnChild(child);
            return ChildOutcome{ChildOutcome::End::lost, operation, 0, onThread, inCall};
        }
        return ChildOutcome{ChildOutcome::End::hung, operation, 0, onThread, inCall};
    }
}

// A report thread's whole run, in an apartment of its own.
void reportOnThisThread(const char* name)
{
    platform::startCom();
    reportDriverInProcess(name);
    platform::announceReportFinished();
    platform::endCom();
}

} // namespace

std::string childOutcomeLine(const ChildOutcome& outcome)
{
    const std::string where = (outcome.inCall ? "in " : "after ") + outcome.operation;
    switch (outcome.end) {
    case ChildOutcome::End::hung:
        return (outcome.inCall ? "!!! Error: Driver hung " + where : "!!! Error: Driver stopped the report " + where) +
            " (no answer in " + std::to_string(hangSeconds) + " s).";
    case ChildOutcome::End::ended:
        if (outcome.onThread)
            return "!!! Error: Driver ended its thread " + where + " (exit code " + std::to_string(outcome.exitStatus) +
                ").";
        // A status from 0xC0000000 up is an exception's code.
        if (outcome.exitStatus >= 0xC0000000u)
            return crashLine(where, outcome.exitStatus);
        return "!!! Error: Driver ended the process " + where + " (exit code " + std::to_string(outcome.exitStatus) +
            ").";
    case ChildOutcome::End::lost:
        return "!!! Error: Report cut short " + where + ": waiting for the driver failed.";
    default:
        return "";
    }
}

std::string inProcessBlockLine(const char* name)
{
    switch (platform::reportThreadBlock(classNamed(name))) {
    case platform::ThreadBlock::loaderHeld:
        return "!!! Error: Driver not reported: a driver left hung before it holds the system's loader.";
    case platform::ThreadBlock::keeperLost:
        return "!!! Error: Driver not reported: a driver left hung before it holds the one thread that can make it.";
    default:
        return "";
    }
}

std::optional<ChildOutcome> reportInChild(const char* name, const char* nextName)
{
    platform::ReportChild* child = childAhead;
    if (child == nullptr || nameAhead != name) {
        if (child != nullptr)
            platform::releaseChild(child);
        child = startChild(name);
    }
    if (child != nullptr)
        platform::letChildReport(child);
    childAhead = nextName != nullptr ? startChild(nextName) : nullptr;
    nameAhead = nextName != nullptr ? nextName : "";
    if (child == nullptr)
        return std::nullopt;
    const std::optional<ChildOutcome> outcome = watchChild(child, false);
    platform::releaseChild(child);
    return outcome;
}

std::optional<ChildOutcome> reportOnThread(const char* name)
{
    platform::ReportChild* thread = platform::startReportThread(name, classNamed(name), reportOnThisThread);
    if (thread == nullptr)
        return std::nullopt;
    platform::letChildReport(thread);
    const ChildOutcome outcome = *watchChild(thread, true);
    platform::releaseChild(thread);
    if (outcome.end != ChildOutcome::End::finished) {
        // The thread left behind keeps its driver: never called again, nor
        // released.
        driverManager->abandonCurrent();
        activeDriver = nullptr;
    }
    return outcome;
}
