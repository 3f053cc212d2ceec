// A driver's report in the process and on the thread that call it.
#pragma once

#include <cstdint>
#include <string>

// Opens the named driver, reports it after its header, and closes it
// again; a driver that crashes ends its report with crashLine. No driver
// is current before or after.
void reportDriverInProcess(const char* name);

// The line that ends the report of a driver that crashed where it says,
// "in getChannels" or "after getChannels".
std::string crashLine(const std::string& where, std::uint32_t code);
