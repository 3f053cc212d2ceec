// Fills the in-memory stand-in as a machine is filled: the registry from
// .reg text, and a driver class for every fake driver script in it.
#pragma once

#include <string>

#include "testing/fakeDriver.h"

namespace standIn {

// Adds the keys and values of .reg text (see testing/registryText.h) to
// the registry; a key the registry cannot hold is left out with its
// values.
void importRegistry(const std::string& text);

// Registers a driver class for every script below fake::scriptsKey. Its
// objects log into log, which must outlive the stand-in's reset; a fault
// is thrown for the stand-in's guard, other troubles are ignored.
void registerScriptedDrivers(fake::Log& log);

} // namespace standIn
