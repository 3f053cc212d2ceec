// The registry scan behind DriverManager's list of installed drivers.
#pragma once

#include <functional>

#include "driver/driverManager.h"

// Tells whether a driver's class, given as its lowercased class id text,
// is registered with a usable in-process server.
using ServerLookup = std::function<bool(const char* clsidText)>;

// The list of installed drivers, one entry per usable registration under
// HKEY_LOCAL_MACHINE\software\asio in enumeration order, numbered from 0.
DriverEntry* readInstalledDrivers(const ServerLookup& findServerPath);
