// A fake driver's script as registry values, so that tests, the test
// driver DLL and the fuzzer describe drivers as data. The values are
// listed where the scripts are written, in testdriver/profiles.reg.
#pragma once

#include <functional>
#include <string>

#include "testing/fakeDriver.h"

namespace fake {

// Where scripts live below HKEY_LOCAL_MACHINE: one key per driver class,
// named by its class id.
constexpr const char* scriptsKey = "Software\\asio-testdriver";

// Reads the value called name of the script of class classId into *text;
// false when there is none.
using ValueReader = std::function<bool(const std::string& classId, const char* name, std::string* text)>;

// Channel counts above this are cut, so that one run stays short.
constexpr std::int32_t maxChannels = 256;

// No host takes a text of any length: a driver's name and message are cut
// to this many bytes, far past the record's fields yet, with their
// terminator, within the 256 bytes the host sets aside for them.
constexpr std::size_t maxTextLength = 255;

// The script of class classId known apart from the values read, or null.
// A script starts from the known one of the class it is like, or else of
// its own class, and its values stand over it.
using KnownScript = std::function<const Script*(const std::string& classId)>;

Script readScript(const ValueReader& read, const std::string& classId, const KnownScript& known = nullptr);

} // namespace fake
