// Fills the in-memory stand-in from .reg text's items: the registry, and a
// driver class for every fake driver script among them.
#pragma once

#include <vector>

#include "testing/fakeDriver.h"
#include "testing/registryText.h"

namespace standIn {

// Adds the items to the registry, but keys it cannot hold, left out with
// their values, and registers a driver class for every script below
// fake::scriptsKey among them. Its objects log into log, which must outlive
// the stand-in's reset; only a fault is played (thrown for the guard).
void fill(const std::vector<RegistryItem>& items, fake::Log& log);

} // namespace standIn
