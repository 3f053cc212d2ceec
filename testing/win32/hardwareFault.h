// Raises a real hardware exception, as a faulting driver would: an access
// violation, an integer division by zero or an illegal instruction for
// those codes, any other code through RaiseException. Never returns.
#pragma once

#include <cstdint>

[[noreturn]] void raiseHardwareFault(std::uint32_t code);
