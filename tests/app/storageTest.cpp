// Guards against a run that goes on, or says nothing, when the driver manager cannot be made. A program of its own:
// it replaces the allocator, which Valgrind would replace again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "app/programRun.h"
#include "driver/driverManager.h"
#include "platform/memory/memoryPlatform.h"
#include "testing/standIn.h"
#include "testing/streamCapture.h"

namespace {

// Counts down the allocations still granted; below 0, every one is.
int allocationsGranted = -1;

} // namespace

void* operator new(std::size_t size)
{
    if (allocationsGranted >= 0 && allocationsGranted-- == 0)
        throw std::bad_alloc();
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

namespace {

TEST(StorageTest, ScanThatRunsOutOfStorageEndsTheRunWithStatus1)
{
    memory::reset();
    fake::Log log;
    standIn::fill(readRegistryText(R"(
[HKEY_LOCAL_MACHINE\Software\ASIO\Driver]
"clsid"="{00000001-0000-0000-0000-000000000000}"
)"),
                  log);
    StreamCapture capture("x");
    // The manager itself is made; its scan's first allocation fails.
    allocationsGranted = 1;
    const int status = runProgram();
    allocationsGranted = -1;
    EXPECT_EQ(status, 1);
    EXPECT_EQ(capture.out(), "");
    EXPECT_EQ(capture.err(), "!!! Failed to initialize ASIO driver manager.\n");
    EXPECT_EQ(capture.unread(), "x") << "no prompt, no wait";
    EXPECT_EQ(driverManager, nullptr);
    EXPECT_EQ(memory::openKeyCount(), 0);
    memory::reset();
}

} // namespace
