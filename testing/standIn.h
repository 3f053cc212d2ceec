// Fills the in-memory stand-in: the registry from .reg text, and a driver
// class for every fake driver script in it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testing/fakeDriver.h"

namespace standIn {

// Adds .reg text to the registry, but keys it cannot hold.
void importRegistry(const std::string& text);

using Scripts = std::vector<std::pair<CLSID, std::shared_ptr<const fake::Script>>>;

// Every script below fake::scriptsKey, with its class, read over the
// scripts of base (see fake::KnownScript).
Scripts readScripts(const Scripts& base = {});

// Registers a driver class for every script below fake::scriptsKey, read
// over base, and for every other script of base. Its objects log into log,
// which must outlive the stand-in's reset; only a fault is played (thrown
// for the guard).
void registerScriptedDrivers(fake::Log& log, const Scripts& base = {});

} // namespace standIn
