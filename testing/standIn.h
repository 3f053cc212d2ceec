// Fills the in-memory stand-in from .reg text's items: the registry, and a
// driver class for every fake driver script among them.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "testing/fakeDriver.h"
#include "testing/registryText.h"

namespace standIn {

using Scripts = std::vector<std::pair<CLSID, std::shared_ptr<const fake::Script>>>;

// Every script below fake::scriptsKey among the items, with its class,
// read over the scripts of base (see fake::KnownScript).
Scripts readScripts(const std::vector<RegistryItem>& items, const Scripts& base = {});

// Adds the items to the registry, but keys it cannot hold, left out with
// their values. Registers a driver class for every script among them, read
// over base, and for every other script of base. Its objects log into log,
// which must outlive the stand-in's reset; only a fault is played (thrown
// for the guard).
void fill(const std::vector<RegistryItem>& items, fake::Log& log, const Scripts& base = {});

} // namespace standIn
