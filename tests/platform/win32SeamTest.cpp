// Guards against a registry open or a class id parse on Windows that, when it fails, still writes the caller's key
// or class id.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"

namespace {

TEST(Win32Seam, FailedCallsLeaveTheCallersOwnAsItWas)
{
    int marker = 0;
    const auto untouchedKey = reinterpret_cast<platform::RegKey>(&marker);
    platform::RegKey key = untouchedKey;
    EXPECT_EQ(platform::openRootKey(platform::RootKey::localMachine, "Software\\asio-report-absent", &key),
              platform::errorFileNotFound);
    EXPECT_EQ(key, untouchedKey);

    // The parse fails on the last digit, after it has read the rest.
    CLSID clsid;
    std::memset(&clsid, 0x5a, sizeof clsid);
    const CLSID untouched = clsid;
    EXPECT_FALSE(platform::parseClassId("{12345678-9abc-def0-1234-56789abcdefg}", &clsid));
    EXPECT_TRUE(sameGuid(clsid, untouched));
}

} // namespace
