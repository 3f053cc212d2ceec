#include "app/childReport.h"

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
    const ChildOutcome outcome = watchChild(child);
    platform::releaseChild(child);
    // A child that ended or stalled before it reached the driver reported
    // nothing of it.
    if (outcome.end != ChildOutcome::End::finished && outcome.operation.empty())
        return std::nullopt;
    return outcome;
}
