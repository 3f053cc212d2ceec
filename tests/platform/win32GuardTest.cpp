// Guards against a guard that leaves its own fault filter in place of the process's.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/platform.h"

namespace {

LONG WINAPI processFilter(EXCEPTION_POINTERS*)
{
    return EXCEPTION_CONTINUE_SEARCH;
}

TEST(Win32Guard, RestoresTheFilterInPlaceBeforeIt)
{
    const LPTOP_LEVEL_EXCEPTION_FILTER original = SetUnhandledExceptionFilter(processFilter);
    std::uint32_t code = 0;
    EXPECT_TRUE(platform::runGuarded([](void*) {}, nullptr, &code));
    EXPECT_EQ(SetUnhandledExceptionFilter(original), &processFilter);
}

} // namespace
