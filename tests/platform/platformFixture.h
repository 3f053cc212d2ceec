// Sets up what the contract checks read through the seam: registry keys
// and string values. Each platform does it its own way; the checks
// are the same for all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

// Every key the checks create lies below localSandbox under the local
// machine root, or is a key of the classes root whose name begins with
// classesSandbox.
constexpr const char* localSandbox = "Software\\asio-report-contract";
constexpr const char* classesSandbox = "asio-report-contract";

class PlatformFixture {
public:
    virtual ~PlatformFixture() = default;

    // Creates the key at path (backslash-separated, below root) with any
    // missing parents.
    virtual void createKey(platform::RootKey root, const std::string& path) = 0;

    // Stores data, byte for byte, as the string value valueName ("" for the
    // default value) of the key at path, creating the key when needed.
    virtual void setValue(platform::RootKey root, const std::string& path, const std::string& valueName,
                          const std::string& data) = 0;

    // Removes the sandbox keys, left over from an earlier run too.
    virtual void clear() = 0;

    // Faults as a driver does, with an exception of that code that nothing
    // handles.
    [[noreturn]] virtual void raiseFault(std::uint32_t code) = 0;
};

// The fixture of the platform the test program is linked with.
std::unique_ptr<PlatformFixture> makePlatformFixture();
