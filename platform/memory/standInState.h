// The stand-in's state, shared by its registry, its report children and
// its COM and console parts; reset empties it all at once.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/memory/memoryPlatform.h"

namespace memory::standIn {

// The registry orders and matches names by their lower-case form, so "_x"
// comes before "ab".
int compareNames(std::string_view a, std::string_view b);

struct NameLess {
    bool operator()(const std::string& a, const std::string& b) const { return compareNames(a, b) < 0; }
};

struct Node;
using Child = std::pair<std::string, std::unique_ptr<Node>>;

// Subkeys are kept sorted in a vector so that enumeration by index is
// direct.
struct Node {
    std::vector<Child> children;
    std::map<std::string, std::string, NameLess> values;

    Node* find(std::string_view name);
    Node& findOrAdd(std::string_view name);

private:
    std::vector<Child>::iterator lowerBound(std::string_view name);
};

struct State {
    Node localMachine;
    Node classesRoot;
    std::set<platform::RegKey> openKeys;
    std::vector<std::pair<CLSID, ClassFactory>> classes;
    std::set<std::string, NameLess> files;
    std::uint64_t registryCalls = 0; // since the last reset
    int comDepth = 0;
    std::vector<unsigned> codePagesSet;
    bool consoleTaken = false;
    bool consoleInput = false;
    int consoleKeysRead = 0;
    void* consoleWindow = nullptr;
    std::deque<ChildScript> childScripts;
    std::deque<ChildScript> threadScripts;
    std::vector<std::string> childWaitMistakes;
    bool preparedForThreads = false;
    int childrenLeft = 0;
    platform::ReportChild* reportingThread = nullptr;
};

State& state();

} // namespace memory::standIn

struct platform::RegistryKey {
    memory::standIn::Node* node = nullptr;
};
