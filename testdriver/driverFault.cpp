// The faults the test driver's scripts ask for, raised for real: the
// host's guard must survive them as it would a real driver's.
#include <windows.h>

#include <cstdlib>

#include "platform/memory/fakeDriver.h"

#ifdef _MSC_VER
#include <intrin.h>
#define EXECUTE_ILLEGAL_INSTRUCTION() __ud2()
#else
#define EXECUTE_ILLEGAL_INSTRUCTION() __builtin_trap()
#endif

namespace memory {

namespace {

int* volatile nowhere = nullptr;
volatile int divisor = 0;

} // namespace

void raiseDriverFault(std::uint32_t code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
        *nowhere = 1;
        break;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        divisor = 1 / divisor;
        break;
    case EXCEPTION_ILLEGAL_INSTRUCTION:
        EXECUTE_ILLEGAL_INSTRUCTION();
        break;
    }
    RaiseException(code, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    std::abort();
}

} // namespace memory
