#include "testing/win32/hardwareFault.h"

#include <windows.h>

#include <cstdlib>

namespace {

int* volatile nowhere = nullptr;
volatile int divisor = 0;

} // namespace

void raiseHardwareFault(std::uint32_t code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
        *nowhere = 1;
        break;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        divisor = 1 / divisor;
        break;
    case EXCEPTION_ILLEGAL_INSTRUCTION:
        __builtin_trap();
        break;
    }
    RaiseException(code, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    std::abort();
}
