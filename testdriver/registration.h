// Installs and removes the sample drivers as a driver's own installer
// would: for each profile with a sample name, its class key with the DLL as
// in-process server, and its entry under HKEY_LOCAL_MACHINE\SOFTWARE\ASIO.
#pragma once

#include <windows.h>

HRESULT registerSampleDrivers();
HRESULT unregisterSampleDrivers();
