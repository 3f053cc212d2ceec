// Every call into a driver object runs guarded: a hardware exception that
// the driver raises and does not handle itself ends that call instead of
// the program, and throws DriverCrash. The report that catches it abandons
// the driver (DriverManager::abandonCurrent), never to call it again,
// Release included, and the report of that driver ends there. Nothing
// between the throw and that catch calls a driver.
#pragma once

#include <cstdint>
#include <type_traits>

#include "platform/platform.h"

// Thrown once a driver has faulted; the report frame catches it, abandons
// the driver and says where it crashed.
struct DriverCrash {
    const char* operation;
    std::uint32_t code;
};

// Runs call() under the platform's guard: true when it returned, false
// when it faulted, with *faultCode set.
template <typename Call>
bool runGuardedCall(Call& call, std::uint32_t* faultCode)
{
    return platform::runGuarded([](void* context) { (*static_cast<Call*>(context))(); }, &call, faultCode);
}

// Calls the driver operation named `operation`, announced first and its
// return after, and returns its result; a fault throws DriverCrash.
template <typename Call>
auto callDriver(const char* operation, Call call) -> decltype(call())
{
    platform::announceOperation(operation);
    std::uint32_t faultCode = 0;
    if constexpr (std::is_void_v<decltype(call())>) {
        const bool returned = runGuardedCall(call, &faultCode);
        platform::announceReturn();
        if (!returned)
            throw DriverCrash{operation, faultCode};
    } else {
        decltype(call()) result{};
        auto store = [&result, &call] { result = call(); };
        const bool returned = runGuardedCall(store, &faultCode);
        platform::announceReturn();
        if (!returned)
            throw DriverCrash{operation, faultCode};
        return result;
    }
}
