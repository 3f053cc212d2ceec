// Where the test driver's DLL was loaded from.
#pragma once

#include <string>

std::wstring modulePath();
