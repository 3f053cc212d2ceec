// The in-memory stand-in's own controls: tests and other systems' builds
// fill its registry, its class table and its file set here, and read back
// what the logic left open.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace memory {

// What the stand-in's guard catches in place of a hardware exception: a
// fake driver faults by throwing it.
struct DriverFault {
    std::uint32_t code;
};

// Creates an object of a registered class, as a class factory would: S_OK
// and one reference in *object, or a failure and *object null.
using ClassFactory = std::function<HRESULT(const IID& iid, void** object)>;

// Empties the registry, the class table and the file set, and forgets the
// COM and console state. Keys still open are an error of the caller.
void reset();

// Creates the key at path (backslash-separated) with any missing parents.
void addKey(platform::RootKey root, const std::string& path);

// Stores data, byte for byte, as the string value valueName ("" for the
// default value) of the key at path, creating the key when needed.
void setValue(platform::RootKey root, const std::string& path, const std::string& valueName, const std::string& data);

// Stores text and its terminator, as a string value is usually stored.
void setText(platform::RootKey root, const std::string& path, const std::string& valueName, const std::string& text);

void addFile(const std::string& path);

void registerClass(const CLSID& clsid, ClassFactory factory);

void setConsoleWindow(void* window);

// Keys handed out and not yet closed.
int openKeyCount();

// startCom calls minus endCom calls.
int comDepth();

// The console's output code pages, in the order they were set; the
// console starts at 437.
std::vector<unsigned> consoleCodePagesSet();

// Makes standard input a console, where waitForKey takes a key press each
// time, or, as after reset, no console.
void setConsoleInput(bool console);

// The key presses waitForKey took.
int consoleKeysRead();

// What the next report child does: it enters driver calls in order, each
// of which returns, and writes a line after each return, but the last
// call, in which the child ends, hangs or loses the program's wait, unless
// it stops after it; a call marked "+" is told only by its return. Then it
// finishes its report (and ends, unless it stays), hangs, ends with
// exitStatus, or makes the program's wait fail. The stand-in starts no
// child without a script, and plays each script once. A report thread
// without a script runs its report when its turn comes, and tells what it
// announced.
struct ChildScript {
    std::vector<std::string> operations;
    enum class End { finishes, hangs, ends, waitFails } end = End::finishes;
    std::uint32_t exitStatus = 0;
    bool staysAfterFinishing = false;
    bool stopsAfterLastCall = false;
};
void scriptChild(ChildScript script);
void scriptReportThread(ChildScript script);

// The program's waits for its children that broke the rule: without a
// limit while a child was not writing, or with one while it was; and a
// report thread started before the program prepared for it.
std::vector<std::string> childWaitMistakes();

// The children let go of before they ended.
int childrenLeft();

} // namespace memory
