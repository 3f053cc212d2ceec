// The stand-in's report children and threads: children play their
// scripts, threads run their report when their turn comes.
#include <cstdio>
#include <stdexcept>

#include "platform/memory/standInState.h"

struct ChildNewsItem {
    platform::ChildNews news;
    std::string operation = {}; // of an entered call
    std::uint32_t exitStatus = 0; // of an end
};

struct platform::ReportChild {
    std::deque<ChildNewsItem> untold;
    void (*report)(const char* name) = nullptr; // a thread that runs on its turn
    std::string name;
    std::string operation; // the call told entered last
    bool inCall = false;
    bool writing = false;
    bool ended = false;
    std::uint32_t exitStatus = 0;
};

namespace {

using memory::standIn::state;

// A child that tells what its script says.
platform::ReportChild* scriptedChild(const memory::ChildScript& script)
{
    using End = memory::ChildScript::End;
    using platform::ChildNews;
    auto* child = new platform::ReportChild{};
    for (std::size_t i = 0; i < script.operations.size(); ++i) {
        // "+" marks a call whose entry the program learns with its return.
        const std::string& operation = script.operations[i];
        if (operation[0] == '+') {
            child->untold.push_back({ChildNews::returned, operation.substr(1)});
        } else {
            child->untold.push_back({ChildNews::entered, operation});
            if (i + 1 == script.operations.size() && script.end != End::finishes && !script.stopsAfterLastCall)
                break;
            child->untold.push_back({ChildNews::returned});
        }
        child->untold.push_back({ChildNews::writing});
        child->untold.push_back({ChildNews::returned});
    }
    if (script.end == End::finishes)
        child->untold.push_back({ChildNews::finished});
    if (script.end == End::ends || (script.end == End::finishes && !script.staysAfterFinishing))
        child->untold.push_back({ChildNews::ended, "", script.exitStatus});
    if (script.end == End::waitFails)
        child->untold.push_back({ChildNews::failed});
    return child;
}

} // namespace

namespace platform {

ReportChild* startReportChild(const char*, const CLSID&)
{
    auto& scripts = state().childScripts;
    if (scripts.empty())
        return nullptr;
    ReportChild* child = scriptedChild(scripts.front());
    scripts.pop_front();
    return child;
}

ReportChild* startReportThread(const char* name, const CLSID&, void (*report)(const char* name))
{
    if (!state().preparedForThreads)
        state().childWaitMistakes.push_back("a report thread started before the program prepared for it");
    auto& scripts = state().threadScripts;
    if (!scripts.empty()) {
        // A thread is inside its driver's creation from its start.
        ReportChild* child = scriptedChild(scripts.front());
        child->inCall = true;
        scripts.pop_front();
        return child;
    }
    auto* child = new ReportChild{};
    child->report = report;
    child->name = name;
    child->untold.push_back({ChildNews::entered, "CoCreateInstance"});
    return child;
}

void letChildReport(ReportChild* child)
{
    if (child->report == nullptr)
        return;
    // The thread's whole report runs now; its news wait to be told.
    state().reportingThread = child;
    child->report(child->name.c_str());
    state().reportingThread = nullptr;
    child->untold.push_back({ChildNews::ended});
}

ChildNews waitForChild(ReportChild* child, std::uint32_t milliseconds)
{
    // Only a write may hold a child up for as long as the reader likes.
    if (child->writing != (milliseconds == waitForever))
        state().childWaitMistakes.push_back(child->writing ? "a limit while the child wrote"
                                                           : "no limit while the child did not write");
    if (child->untold.empty()) {
        if (child->ended)
            return ChildNews::ended;
        if (milliseconds == waitForever)
            throw std::logic_error("waited forever for a child that never answers");
        return ChildNews::silent;
    }
    const ChildNewsItem item = child->untold.front();
    child->untold.pop_front();
    if (!item.operation.empty())
        child->operation = item.operation;
    child->writing = item.news == ChildNews::writing;
    child->inCall = item.news == ChildNews::entered || (child->inCall && item.news != ChildNews::returned);
    if (item.news == ChildNews::ended) {
        child->ended = true;
        child->exitStatus = item.exitStatus;
    }
    return item.news;
}

bool giveUpOnChild(ReportChild* child)
{
    return !child->writing && child->untold.empty();
}

void lastChildOperation(const ReportChild* child, char* operation, std::uint32_t capacity)
{
    std::snprintf(operation, capacity, "%s", child->operation.c_str());
}

bool childInCall(const ReportChild* child)
{
    return child->inCall;
}

std::uint32_t childExitStatus(const ReportChild* child)
{
    return child->exitStatus;
}

void releaseChild(ReportChild* child)
{
    if (!child->ended)
        ++state().childrenLeft;
    delete child;
}

bool becomeReportChild(char*, std::uint32_t, CLSID*)
{
    return false;
}

void awaitTurn()
{
}

void announceOperation(const char* operation)
{
    if (ReportChild* thread = state().reportingThread)
        thread->untold.push_back({ChildNews::entered, operation});
}

void announceReturn()
{
    if (ReportChild* thread = state().reportingThread)
        thread->untold.push_back({ChildNews::returned});
}

void announceReportFinished()
{
    if (ReportChild* thread = state().reportingThread)
        thread->untold.push_back({ChildNews::finished});
}

void prepareBeforeReportThreads(std::uint32_t)
{
    state().preparedForThreads = true;
}

// Nothing in memory is left hung to keep a driver from a thread.
ThreadBlock reportThreadBlock(const CLSID&)
{
    return ThreadBlock::none;
}

void endIfThreadsLeft(int)
{
}

} // namespace platform

namespace memory {

void scriptChild(ChildScript script)
{
    standIn::state().childScripts.push_back(std::move(script));
}

void scriptReportThread(ChildScript script)
{
    standIn::state().threadScripts.push_back(std::move(script));
}

std::vector<std::string> childWaitMistakes()
{
    return standIn::state().childWaitMistakes;
}

int childrenLeft()
{
    return standIn::state().childrenLeft;
}

} // namespace memory
