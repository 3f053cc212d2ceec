#include "support/standIn.h"

#include <cstdio>

#include "app/report.h"
#include "driver/asioCalls.h"
#include "driver/driverManager.h"

CLSID testClassId(int n)
{
    return CLSID{static_cast<std::uint32_t>(n), 0, 0, {0, 0, 0, 0, 0, 0, 0, 0xaa}};
}

std::string classIdText(const CLSID& clsid)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(clsid.Data1), clsid.Data2, clsid.Data3, clsid.Data4[0], clsid.Data4[1],
                  clsid.Data4[2], clsid.Data4[3], clsid.Data4[4], clsid.Data4[5], clsid.Data4[6], clsid.Data4[7]);
    return text;
}

void registerDriverKey(const std::string& subkey, const std::string& clsidText,
                       const std::optional<std::string>& description)
{
    using platform::RootKey;
    const std::string driverKey = "SOFTWARE\\ASIO\\" + subkey;
    memory::setText(RootKey::localMachine, driverKey, "CLSID", clsidText);
    if (description)
        memory::setText(RootKey::localMachine, driverKey, "Description", *description);
    const std::string server = "C:\\drivers\\" + clsidText + ".dll";
    memory::setText(RootKey::classesRoot, "CLSID\\" + clsidText + "\\InprocServer32", "", server);
    memory::addFile(server);
}

std::shared_ptr<memory::FakeDriverLog> installFakeDriver(int n, const std::string& subkey,
                                                         const std::optional<std::string>& description,
                                                         const memory::FakeScript& script)
{
    registerDriverKey(subkey, classIdText(testClassId(n)), description);
    return memory::registerFakeDriver(testClassId(n), script);
}

CapturedReport reportDriverNamed(const std::string& name)
{
    DriverManager manager;
    driverManager = &manager;
    StreamCapture capture;
    reportDriver(name.c_str());
    driverManager = nullptr;
    // Every report leaves no driver current.
    EXPECT_EQ(manager.currentDriverIndex(), -1);
    EXPECT_EQ(activeDriver, nullptr);
    return {capture.out(), capture.err()};
}

void StandInTest::SetUp()
{
    memory::reset();
    activeDriver = nullptr;
    driverManager = nullptr;
}

void StandInTest::TearDown()
{
    EXPECT_EQ(memory::openKeyCount(), 0) << "registry keys left open";
    memory::reset();
}
