// The seam between the program's logic and the operating system. The logic
// (registry scan, driver manager, report) calls only what is declared here.
// Two implementations exist: win32/ over the real Windows calls, and
// memory/, an in-memory registry and class table used on other systems and
// by the tests. CMake links exactly one of them.
//
// Contract, shared by both implementations:
// - Everything runs on one thread at a time: the program's, or a report
//   thread's while the program waits for its news. Only the guard and the
//   report threads' news are safe across threads.
// - Registry status codes are Windows' own: registryOk (0) on success,
//   anything else on failure. A name or value that does not fit the
//   caller's buffer is errorMoreData; an index past the last subkey is
//   errorNoMoreItems; a missing key or value is errorFileNotFound.
// - Key names and value names are matched without regard to case. Subkeys
//   enumerate in the registry's order: sorted by their lower-case form.
// - A key path may not begin with a backslash (errorBadPathname), except
//   below the classes root; doubled and trailing backslashes separate like
//   one.
// - Every key handed out by openRootKey or openSubkey must be given back to
//   closeKey exactly once; nothing else closes it. A failed open hands out
//   nothing.
// - queryValue copies a string value's bytes as stored and counts no
//   terminator the value lacks: a value stored without one arrives with its
//   own size, and a zero byte follows it only when the buffer has room. So
//   the caller makes the text end within its buffer.
// - createInstance hands out an object holding one reference, which the
//   caller owns and drops with the object's Release. It needs startCom to
//   have been called; endCom undoes one startCom.
// - A report child is this program started again to report one driver:
//   it writes to the program's own standard output and standard error, and
//   has no standard input. Every child handed out by startReportChild or
//   startReportThread must be given back to releaseChild exactly once,
//   which ends a child process if it still runs; no child process outlives
//   the program. Only a process started so can become a report child;
//   whatever its command line, any other process cannot.
// - A report child or thread announces each driver call before it and the
//   driver's return after it, and marks each write of its report, so the
//   program can time everything but the writes and, having given up on it,
//   know that nothing more is written. A report child also marks the writes
//   of its driver's own output, which it relays.
// - A report child or thread that shows its user a window the system still
//   finds responding is talking to the user: that time is the user's, and
//   no wait for the child counts it.
// - Everything the program's own code needs later in its process is made
//   ready once, before any report thread runs (prepareBeforeReportThreads):
//   a report thread left inside its driver may hold locks, the system
//   loader's among them, that making it later would wait for.
// - A report child never acts on the console's control events: Ctrl+C,
//   Ctrl+Break and the console's closing are the program's to handle.
#pragma once

#include <cstdint>

#include "platform/com.h"

namespace platform {

struct RegistryKey;
using RegKey = RegistryKey*;

enum class RootKey { localMachine, classesRoot };

constexpr std::int32_t registryOk = 0;
constexpr std::int32_t errorFileNotFound = 2;
constexpr std::int32_t errorBadPathname = 161;
constexpr std::int32_t errorMoreData = 234;
constexpr std::int32_t errorNoMoreItems = 259;

// The file test's result for a file that cannot be found or opened.
constexpr std::int32_t fileError = -1;

// RegOpenKeyA: opens path (backslash-separated) below a root key.
std::int32_t openRootKey(RootKey root, const char* path, RegKey* key);

// RegOpenKeyExA with KEY_READ: opens name (may be a backslash-separated
// path) below an open key.
std::int32_t openSubkey(RegKey parent, const char* name, RegKey* key);

// RegEnumKeyA: writes the name of subkey `index` with its terminator into
// name[0..size). Fails with errorMoreData when the name and its terminator
// do not fit, errorNoMoreItems past the last subkey.
std::int32_t enumSubkey(RegKey key, std::uint32_t index, char* name, std::uint32_t size);

// RegQueryInfoKeyA: an upper bound, in bytes with the terminator, of what
// the longest subkey name of key takes in enumSubkey's buffer.
std::int32_t maxSubkeyNameSize(RegKey key, std::uint32_t* size);

// RegQueryValueExA: valueName null or empty reads the default value. *size
// holds the buffer's size on entry and the value's size on return. Fails
// with errorMoreData when the value is larger than the buffer.
std::int32_t queryValue(RegKey key, const char* valueName, char* buffer, std::uint32_t* size);

// RegCloseKey.
void closeKey(RegKey key);

// The registry calls made so far (opens, enumerations, queries, not
// closes), for measurements.
std::uint64_t registryCallCount();

// CharLowerBuffA: lowercases `length` bytes of text in place.
void lowerText(char* text, std::uint32_t length);

// OpenFile with OF_EXIST: fileError when the file cannot be found or
// opened, another non-zero value when it can. 0 is never returned by the
// implementations here but is a possible answer of the real call.
std::int32_t testFile(const char* path);

// MultiByteToWideChar (CP_ACP, into 100 UTF-16 units) and CLSIDFromString:
// true and *clsid set when the text is a class id, or a program id whose
// CLSID key's default value is one; false and *clsid untouched otherwise.
bool parseClassId(const char* text, CLSID* clsid);

// CoInitialize(NULL), CoUninitialize.
void startCom();
void endCom();

// CoCreateInstance with CLSCTX_INPROC_SERVER and no outer object, asking
// for interface `iid`. S_OK and *object set, or a failure and *object null.
HRESULT createInstance(const CLSID& clsid, const IID& iid, void** object);

// Runs call(context). A hardware exception raised inside it (access
// violation, illegal instruction, division by zero, ...) on the calling
// thread that the code it runs does not handle itself ends the call instead
// of the process, and nothing of the abandoned call's frames is unwound.
// True when the call returned by itself; false when it faulted, with
// *faultCode set to the exception's code (which may be any value, 0
// included). A stack overflow, whose thread has no stack left to go on,
// and a fault on another thread meanwhile go where they would have gone
// without the guard.
bool runGuarded(void (*call)(void* context), void* context, std::uint32_t* faultCode);

// The program's side of a report child: this program started again to
// report one driver, or a thread of this process when no child can be.
struct ReportChild;

// Starts the child that reports the driver named name, of class clsid:
// it makes itself ready and waits for its turn. Null when no child can be
// started.
ReportChild* startReportChild(const char* name, const CLSID& clsid);

// Starts a thread of this process that, on its turn, runs report(name)
// for the driver of class clsid, and tells its news as a child does: a
// thread of its own, or for a driver made for one thread the thread of
// the process's main apartment, which reports no other driver. Its first
// driver call is the driver's creation, and all it does before, its start
// and COM's, belongs to that call. Null when no thread can be started.
ReportChild* startReportThread(const char* name, const CLSID& clsid, void (*report)(const char* name));

// Gives the child its turn to report.
void letChildReport(ReportChild* child);

enum class ChildNews {
    entered, // the child entered another driver call
    returned, // the child is between driver calls: the driver returned
              // from the call it entered last, or a write of its ended
    writing, // the child began a write of its report or of its driver's
             // output, which a paused reader may hold up for as long as it
             // likes
    finished, // the child finished its report (told once; after it, only
              // the end is news)
    ended, // the child's process, or the thread, ended
    silent, // nothing came in time
    failed, // the wait failed: nothing is known of the child
};

// Waits at most `milliseconds` of the child's own time, or waitForever,
// for news of the child. The count goes on from the waits before while the
// child stands where it stood, in the same call or between the same calls,
// however often it wrote meanwhile; time while the child shows a window
// that is still served is the user's, and is not counted.
constexpr std::uint32_t waitForever = 0xFFFFFFFF;
ChildNews waitForChild(ReportChild* child, std::uint32_t milliseconds);

// Gives up on a child that is not writing: unless it moved on since the
// news last told, it never goes on, writing or calling nothing more, and
// true. False when it moved on meanwhile: the news tell where to.
bool giveUpOnChild(ReportChild* child);

// The driver call the child entered last, "" before its first, cut to
// capacity - 1 characters; only letters and digits are kept.
void lastChildOperation(const ReportChild* child, char* operation, std::uint32_t capacity);

// Whether the news last told found the child inside a driver call.
bool childInCall(const ReportChild* child);

// The exit status of a child whose process, or thread, ended.
std::uint32_t childExitStatus(const ReportChild* child);

// Ends the child if it still runs, and lets go of it. A thread is not
// ended: one that has not ended is left as it is, for good, and one that
// ended inside its driver may have left its locks held.
void releaseChild(ReportChild* child);

// In a process started by startReportChild: copies the name of the driver
// to report into name[0..capacity) and its class into *clsid, and makes
// the process the child: nothing it inherited passes on to a process the
// driver starts, the console's control events leave it alone, a fault that
// the guard does not take ends the process at once with the fault's code,
// and no error window opens. False in any other process, which stays as it
// is.
bool becomeReportChild(char* name, std::uint32_t capacity, CLSID* clsid);

// In the program, before any report thread runs: makes ready everything
// the program's own code needs later, so that nothing a driver left
// behind holds can keep it. From the first report thread on, the
// program's own thread is watched: held up for longer than
// limitMilliseconds anywhere but in a wait for a child, a write or the
// wait for a key, it says in one line that the report was cut short, the
// console is put back, and the program ends.
void prepareBeforeReportThreads(std::uint32_t limitMilliseconds);

// What keeps a driver of class clsid from being made in this process, now
// that a report thread may have been left inside its driver, or ended in
// it: the system's loader held by such a thread, or for a driver made for
// one thread, the keeper's thread lost with one.
enum class ThreadBlock { none, loaderHeld, keeperLost };
ThreadBlock reportThreadBlock(const CLSID& clsid);

// In a report child or thread: waits until the program gives it its turn.
// Elsewhere: returns at once.
void awaitTurn();

// In a report child or thread: tells the program that the child enters a
// driver call, that the driver returned from it, or that the report is
// complete. Once the program has given up on the child, none of them
// returns. Elsewhere: nothing.
void announceOperation(const char* operation);
void announceReturn();
void announceReportFinished();

// Notes the console's output code page and input modes, then sets the
// output code page to UTF-8 (65001). From then on Ctrl+C, Ctrl+Break and
// the console's closing end the process at once, as the system would, with
// STATUS_CONTROL_C_EXIT, after the console is put back as it was noted, and
// nothing more is written. Every other way out of the process puts the
// console back too: a fault that no guard takes (which ends the process at
// once with its code), the process ended by exit or ExitProcess from any
// thread, and std::terminate. Where there is no console, only that.
void takeConsole();

// Puts the console back as takeConsole found it; nothing when it was not
// taken.
void releaseConsole();

// GetConsoleWindow: the console window's handle, or null.
void* consoleWindow();

// When standard input is a console: waits for one key press, a key going
// down other than a modifier or lock key alone (Shift, Ctrl, Alt, Windows,
// Caps Lock, Num Lock, Scroll Lock), with line input and echo off for that
// one read and processed input as it was, so that Ctrl+C still ends the
// program. The console's input modes are as before after the key;
// Ctrl+C's way out puts them back through takeConsole's handler, and no
// mode is set after it began. Otherwise reads one character of standard
// input, whose end ends the wait at once.
void waitForKey();

// Called once the program is done, with its exit status. When a report
// thread was left inside its driver, or ended in it, it may hold a lock
// that an orderly exit waits for, the system loader's or the heap's among
// them: then the console is put back and the process ends at once, and
// this does not return. Else it returns.
void endIfThreadsLeft(int status);

} // namespace platform
