// Guards against a registry open or a class id parse on Windows that, when it fails, still writes the caller's key
// or class id, a longest name's size without its terminator, and a COM end that does not end what a start began.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "testing/win32/registryWriter.h"

namespace {

TEST(Win32Seam, CallsKeepToTheirContract)
{
    const auto untouchedKey = reinterpret_cast<platform::RegKey>(std::uintptr_t{0x5a5a}); // no call hands it out
    platform::RegKey key = untouchedKey;
    removeMachineKey("Software\\asio-report-seam"); // left by a run that stopped midway
    EXPECT_EQ(platform::openRootKey(platform::RootKey::localMachine, "Software\\asio-report-seam", &key),
              platform::errorFileNotFound);
    EXPECT_EQ(key, untouchedKey);

    // The parse fails on the last digit, after it has read the rest.
    CLSID clsid;
    std::memset(&clsid, 0x5a, sizeof clsid);
    const CLSID untouched = clsid;
    EXPECT_FALSE(platform::parseClassId("{12345678-9abc-def0-1234-56789abcdefg}", &clsid));
    EXPECT_TRUE(sameGuid(clsid, untouched));

    writeRegistryItem({platform::RootKey::localMachine, "Software\\asio-report-seam\\name", false, "", "", false});
    ASSERT_EQ(platform::openRootKey(platform::RootKey::localMachine, "Software\\asio-report-seam", &key),
              platform::registryOk);
    std::uint32_t size = 0;
    EXPECT_EQ(platform::maxSubkeyNameSize(key, &size), platform::registryOk);
    EXPECT_GE(size, 5u);
    platform::closeKey(key);
    removeMachineKey("Software\\asio-report-seam");

    platform::startCom();
    platform::endCom();
    void* object = nullptr;
    EXPECT_EQ(platform::createInstance(CLSID{}, CLSID{}, &object), CO_E_NOTINITIALIZED);
}

} // namespace
