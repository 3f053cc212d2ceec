// Fills the in-memory stand-in as a machine is filled: the registry from
// .reg text, and a driver class for every fake driver script in it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testing/fakeDriver.h"

namespace standIn {

// Adds the keys and values of .reg text (see testing/registryText.h) to
// the registry; a key the registry cannot hold is left out with its
// values.
void importRegistry(const std::string& text);

using Scripts = std::vector<std::pair<CLSID, std::shared_ptr<const fake::Script>>>;

// Every script below fake::scriptsKey, with its class, read over the
// scripts of base (see fake::KnownScript).
Scripts readScripts(const Scripts& base = {});

// Registers a driver class for every script below fake::scriptsKey, read
// over base, and for every script of base whose class has none there. Its
// objects log into log, which must outlive the stand-in's reset; a fault
// is thrown for the stand-in's guard, other troubles are ignored.
void registerScriptedDrivers(fake::Log& log, const Scripts& base = {});

} // namespace standIn
