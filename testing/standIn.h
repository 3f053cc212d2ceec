// Fills the in-memory stand-in as a machine is filled: the registry from
// .reg text, and a driver class for every fake driver script in it.
#pragma once

#include <string>

#include "testing/fakeDriver.h"

namespace standIn {

// Adds the keys and values of .reg text to the registry: "[root\path]"
// lines (HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT), then their values as
// "name"="text" or @="text" (stored with a terminator) or as
// "name"=hex:61,62 (stored as those bytes). Any other line, and a key the
// registry cannot hold with its values, is skipped.
void importRegistry(const std::string& text);

// Registers a driver class for every script below fake::scriptsKey. Its
// objects log into log, which must outlive the stand-in's reset; a fault
// is thrown for the stand-in's guard, other troubles are ignored.
void registerScriptedDrivers(fake::Log& log);

} // namespace standIn
