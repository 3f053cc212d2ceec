// The driver classes the test driver serves: each a script for the fake
// driver under its own class id.
#pragma once

#include <vector>

#include "platform/memory/fakeDriver.h"

struct Profile {
    // Names the profile's objects in the event log.
    const char* label;
    CLSID clsid;
    // The name under which registration installs the profile as a sample
    // driver; null for the profiles that only the tests register.
    const char* sampleName;
    memory::FakeScript script;
};

const std::vector<Profile>& profiles();

// Null when no profile has this class id.
const Profile* findProfile(const CLSID& clsid);
