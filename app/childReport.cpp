#include "app/childReport.h"

#include <iostream>
#include <new>

#include "app/report.h"
#include "driver/driverManager.h"
#include "platform/platform.h"

namespace {

constexpr std::uint32_t operationLimit = hangSeconds * 1000;

// The child started ahead for the driver to report next, and its name.
platform::ReportChild* childAhead = nullptr;
std::string nameAhead;

// The child takes the driver the program's scan lists under that name, as
// openDriver would pick it, and so scans nothing itself.
platform::ReportChild* startChild(const char* name)
{
    const DriverEntry* entry = driverManager->entryNamed(name);
    return platform::startReportChild(name, entry != nullptr ? entry->clsid : CLSID{});
}
// A child whose report is complete only lets go of its driver and ends.
constexpr std::uint32_t endLimit = 5000;

ChildOutcome watchChild(platform::ReportChild* child)
{
    for (;;) {
        const platform::ChildNews news = platform::waitForChild(child, operationLimit);
        if (news == platform::ChildNews::entered)
            continue;
        if (news == platform::ChildNews::finished) {
            platform::waitForChild(child, endLimit);
            return {ChildOutcome::End::finished, "", 0};
        }
        char operation[32];
        platform::lastChildOperation(child, operation, sizeof operation);
        if (news == platform::ChildNews::ended)
            return {ChildOutcome::End::ended, operation, platform::childExitStatus(child)};
        return {ChildOutcome::End::hung, operation, 0};
    }
}

} // namespace

std::string childOutcomeLine(const ChildOutcome& outcome)
{
    switch (outcome.end) {
    case ChildOutcome::End::hung:
        return "!!! Error: Driver hung in " + outcome.operation + " (no answer in " + std::to_string(hangSeconds) +
            " s).";
    case ChildOutcome::End::ended:
        // A status from 0xC0000000 up is an exception's code.
        if (outcome.exitStatus >= 0xC0000000u)
            return crashLine(outcome.operation.c_str(), outcome.exitStatus);
        return "!!! Error: Driver ended the process in " + outcome.operation + " (exit code " +
            std::to_string(outcome.exitStatus) + ").";
    default:
        return "";
    }
}

bool reportInChild(const char* name, const char* nextName)
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
        return false;
    const ChildOutcome outcome = watchChild(child);
    platform::releaseChild(child);
    // A child that ended or stalled before it reached the driver reported
    // nothing of it.
    if (outcome.end != ChildOutcome::End::finished && outcome.operation.empty())
        return false;
    const std::string line = childOutcomeLine(outcome);
    if (!line.empty())
        std::cerr << line << std::endl;
    return true;
}

int reportAsChild(const char* name, const CLSID& clsid)
{
    try {
        driverManager = new DriverManager(clsid, name);
    } catch (const std::bad_alloc&) {
        return 1;
    }
    platform::awaitTurn();
    reportDriverInProcess(name);
    platform::announceReportFinished();
    delete driverManager;
    driverManager = nullptr;
    return 0;
}
