// A check that holds after every fuzz run. A failed one stops the run
// with a message, which libFuzzer reports as a crash and saves the input.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void require(bool holds, const char* what)
{
    if (holds)
        return;
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
}
