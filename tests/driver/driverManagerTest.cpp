// Guards against a driver that cannot be opened by its shortened name: the lookup copies each short name into a
// buffer that still holds older bytes, where a name left without its terminator compares unequal.
#include <gtest/gtest.h>

#include <string>

#include "driver/driverManager.h"

namespace {

TEST(DriverManagerTest, ShortenedNameEndsInABufferOfOldBytes)
{
    const DriverManager manager(CLSID{}, "Thirty-Two Characters, Shortened");
    std::string name(shortNameCapacity, '#');
    manager.driverName(0, name.data(), shortNameCapacity);
    EXPECT_EQ(name, std::string("Thirty-Two Characters, Short...") + '\0');
}

} // namespace
