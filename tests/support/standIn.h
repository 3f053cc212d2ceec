// Helpers for tests on the in-memory stand-in: a fixture that starts each
// test from an empty registry and checks that no key was left open, ways
// to register drivers, and a capture of the standard streams.
#pragma once

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "platform/memory/fakeDriver.h"
#include "platform/memory/memoryPlatform.h"
#include "support/streamCapture.h"

// The class id {0000000n-0000-0000-0000-0000000000aa}, a distinct one per n.
CLSID testClassId(int n);

// The text form of a class id, in upper case.
std::string classIdText(const CLSID& clsid);

// A driver registration as installers write it: the "software\asio"
// subkey with "clsid" and an optional "description", and the class key
// whose InprocServer32 names a server file that exists.
void registerDriverKey(const std::string& subkey, const std::string& clsidText,
                       const std::optional<std::string>& description);

// Registers a fake driver class under testClassId(n) and its registration.
std::shared_ptr<memory::FakeDriverLog> installFakeDriver(int n, const std::string& subkey,
                                                         const std::optional<std::string>& description,
                                                         const memory::FakeScript& script = {});

struct CapturedReport {
    std::string out;
    std::string err;
};

// The report of the driver named name, from a driver manager of its own
// that scans the stand-in's registry as it is.
CapturedReport reportDriverNamed(const std::string& name);

class StandInTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
