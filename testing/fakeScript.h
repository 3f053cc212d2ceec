// A fake driver's script as registry values (their table: README.md, "Fake driver scripts"): tests, the test driver
// DLL and the fuzzer describe drivers as data.
#pragma once

#include <functional>
#include <string>

#include "testing/fakeDriver.h"

namespace fake {

// Below HKEY_LOCAL_MACHINE, a key per driver class, named by its class id.
constexpr const char* scriptsKey = "Software\\asio-testdriver";

// Reads the value called name of the script of class classId into *text;
// false when there is none.
using ValueReader = std::function<bool(const std::string& classId, const char* name, std::string* text)>;

// Channel counts above this are cut, so that one run stays short.
constexpr std::int32_t maxChannels = 256;

// A driver's name and message are cut to this: far past the record's
// fields, yet with their terminator within the host's 256 bytes.
constexpr std::size_t maxTextLength = 255;

// The script of class classId; one that names a class it is "like" starts
// from that class's script.
Script readScript(const ValueReader& read, const std::string& classId);

} // namespace fake
