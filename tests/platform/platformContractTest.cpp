// Guards against faults of the Windows side of the seam: the registry as the program reads it, class ids, COM and the
// guard, over the real registry and real hardware faults. The stand-in is held to the same behaviour by the
// scenarios, which give the same output natively and under Wine.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "testing/win32/hardwareFault.h"
#include "testing/win32/registryWriter.h"

using namespace std::string_literals;
using platform::errorFileNotFound;
using platform::errorMoreData;
using platform::errorNoMoreItems;
using platform::registryOk;
using platform::RootKey;

namespace {

// A key handed out by the seam, given back when the holder goes. A failed
// open leaves it null.
struct HeldKey {
    HeldKey() = default;
    HeldKey(const HeldKey&) = delete;
    HeldKey& operator=(const HeldKey&) = delete;
    ~HeldKey()
    {
        if (key != nullptr)
            platform::closeKey(key);
    }

    platform::RegKey key = nullptr;
};

// Every key the checks create lies below localSandbox, or is the classes
// root's classesSandbox or one of the longest program ids.
constexpr const char* localSandbox = "Software\\asio-report-contract";
constexpr const char* classesSandbox = "asio-report-contract";
const std::string longestProgramId = classesSandbox + std::string(99 - std::strlen(classesSandbox), 'x');

std::string local(const std::string& path)
{
    return std::string(localSandbox) + "\\" + path;
}

void setValue(RootKey root, const std::string& path, const std::string& valueName, const std::string& data)
{
    writeRegistryValue(HKEY_LOCAL_MACHINE, machinePath(root, path), valueName, data);
}

std::int32_t openLocal(const std::string& path, HeldKey& held)
{
    return platform::openRootKey(RootKey::localMachine, local(path).c_str(), &held.key);
}

// The whole value as text, read into a buffer with room to spare.
std::string readValue(platform::RegKey key, const char* valueName)
{
    char buffer[64];
    std::uint32_t size = sizeof buffer;
    if (platform::queryValue(key, valueName, buffer, &size) != registryOk)
        return "(unreadable)";
    return std::string(buffer, size);
}

const CLSID sampleClassId{0x12345678, 0x9abc, 0xdef0, {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0}};
const std::string sampleClassText = "{12345678-9ABC-DEF0-1234-56789ABCDEF0}";

// A class id no system registers.
const CLSID unregisteredClassId{0x5e1f0a3c, 0x47d2, 0x4b8e, {0x9c, 0x61, 0x2f, 0x0d, 0x83, 0xa4, 0x17, 0xe6}};

class PlatformContract : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }

    // Removes the sandbox keys, left over from an earlier run too.
    static void clear()
    {
        for (const std::string& id : {std::string(classesSandbox), longestProgramId, longestProgramId + "x"})
            removeMachineKey(machinePath(RootKey::classesRoot, id));
        removeMachineKey(localSandbox);
    }
};

struct ValueCase {
    const char* label;
    std::string stored;
    std::uint32_t bufferSize;
    std::int32_t status;
    std::uint32_t sizeAfter;
    // The buffer's eight bytes after a successful call; it starts as "#".
    std::string bufferAfter;
};

TEST_F(PlatformContract, QueryValueCopiesTheStoredBytesAndTheirSize)
{
    const std::vector<ValueCase> cases = {
        {"no terminator, room to spare", "abc", 8, registryOk, 3, "abc\0####"s},
        {"no terminator, exact fit", "abc", 3, registryOk, 3, "abc#####"},
        {"terminator stored", "abc\0"s, 8, registryOk, 4, "abc\0####"s},
        {"terminator stored, exact fit", "abc\0"s, 4, registryOk, 4, "abc\0####"s},
        {"zero inside", "a\0b"s, 8, registryOk, 3, "a\0b\0####"s},
        {"empty", "", 8, registryOk, 0, "########"},
        {"one byte too large", "abcd", 3, errorMoreData, 4, ""},
        {"terminator does not fit", "abc\0"s, 3, errorMoreData, 4, ""},
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.label);
        setValue(RootKey::localMachine, local("values"), "value", c.stored);
        HeldKey key;
        ASSERT_EQ(openLocal("values", key), registryOk);
        char buffer[8];
        std::memset(buffer, '#', sizeof buffer);
        std::uint32_t size = c.bufferSize;
        EXPECT_EQ(platform::queryValue(key.key, "value", buffer, &size), c.status);
        EXPECT_EQ(size, c.sizeAfter);
        if (c.status == registryOk) {
            EXPECT_EQ(std::string(buffer, sizeof buffer), c.bufferAfter);
        }
    }
}

struct LookupCase {
    RootKey root;
    std::string path; // opened below the root, then "sub" below it when set
    const char* sub;
    const char* valueName;
    std::int32_t status; // of the opens
    std::string read; // the value read, or "(unreadable)"
};

// Names match without regard to case; the default value is read through a
// null or an empty name; a failed open hands out nothing.
TEST_F(PlatformContract, KeysAndValuesAreFoundAsTheRegistryFindsThem)
{
    const std::string classes = std::string(classesSandbox) + "\\a";
    setValue(RootKey::localMachine, local("a"), "", "default");
    setValue(RootKey::localMachine, local("a\\b"), "Name", "b");
    setValue(RootKey::classesRoot, classes, "name", "classes");
    const std::vector<LookupCase> cases = {
        {RootKey::localMachine, local("a"), nullptr, nullptr, registryOk, "default"},
        {RootKey::localMachine, local("a"), nullptr, "", registryOk, "default"},
        {RootKey::localMachine, local("A"), "B", "NAME", registryOk, "b"},
        {RootKey::localMachine, local("a"), "b", "absent", registryOk, "(unreadable)"},
        {RootKey::localMachine, local("a\\b"), nullptr, nullptr, registryOk, "(unreadable)"},
        {RootKey::localMachine, local("absent"), nullptr, nullptr, errorFileNotFound, ""},
        {RootKey::localMachine, local("a"), "absent", nullptr, errorFileNotFound, ""},
        {RootKey::classesRoot, classes, nullptr, "name", registryOk, "classes"},
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.path + " / " + (c.sub ? c.sub : "-"));
        HeldKey key;
        std::int32_t status = platform::openRootKey(c.root, c.path.c_str(), &key.key);
        HeldKey sub;
        if (status == registryOk && c.sub != nullptr)
            status = platform::openSubkey(key.key, c.sub, &sub.key);
        ASSERT_EQ(status, c.status);
        if (status == registryOk) {
            EXPECT_EQ(readValue(c.sub != nullptr ? sub.key : key.key, c.valueName), c.read);
            continue;
        }
        // A failed open hands out nothing: the caller's key stays as it was.
        platform::RegKey untouched = reinterpret_cast<platform::RegKey>(&key);
        if (c.sub != nullptr && key.key != nullptr)
            platform::openSubkey(key.key, c.sub, &untouched);
        else
            platform::openRootKey(c.root, c.path.c_str(), &untouched);
        EXPECT_EQ(untouched, reinterpret_cast<platform::RegKey>(&key));
    }
}

// Subkeys enumerate sorted by their lower-case form: "_" lies between the
// upper- and the lower-case letters, so its place tells which form the
// order compares. A name needs room for its terminator; the longest name's
// size bounds every name.
TEST_F(PlatformContract, SubkeysEnumerateInOrderIntoBuffersTheyFit)
{
    const std::string longest(200, 'n');
    for (const std::string& name : {"b"s, "_x"s, "AC"s, "ab"s, "abc"s, longest})
        createRegistryKey(HKEY_LOCAL_MACHINE, local("order\\") + name);
    HeldKey key;
    ASSERT_EQ(openLocal("order", key), registryOk);
    std::uint32_t size = 0;
    ASSERT_EQ(platform::maxSubkeyNameSize(key.key, &size), registryOk);
    EXPECT_GE(size, longest.size() + 1);
    std::vector<char> name(size);
    std::vector<std::string> names;
    std::uint32_t index = 0;
    for (; platform::enumSubkey(key.key, index, name.data(), size) == registryOk; ++index)
        names.emplace_back(name.data());
    EXPECT_EQ(names, (std::vector<std::string>{"_x", "ab", "abc", "AC", "b", longest}));
    EXPECT_EQ(platform::enumSubkey(key.key, index, name.data(), size), errorNoMoreItems);
    EXPECT_EQ(platform::enumSubkey(key.key, 2, name.data(), 4), registryOk);
    EXPECT_EQ(platform::enumSubkey(key.key, 2, name.data(), 3), errorMoreData);

    HeldKey leaf;
    ASSERT_EQ(openLocal("order\\b", leaf), registryOk);
    EXPECT_EQ(platform::enumSubkey(leaf.key, 0, name.data(), size), errorNoMoreItems);
    ASSERT_EQ(platform::maxSubkeyNameSize(leaf.key, &size), registryOk);
    EXPECT_GE(size, 1u);
}

// A class id parses in braces only, in either case; a program id is a
// classes root key whose CLSID key's default value names the class. Either
// text must fit into 100 UTF-16 units with the terminator.
TEST_F(PlatformContract, ParseClassIdReadsClassIdsAndProgramIds)
{
    for (const std::string& id : {longestProgramId, longestProgramId + "x"})
        setValue(RootKey::classesRoot, id + "\\CLSID", "", sampleClassText + '\0');
    const std::vector<std::pair<std::string, bool>> cases = {
        {"{12345678-9abc-def0-1234-56789abcdef0}", true},
        {"12345678-9abc-def0-1234-56789abcdef0", false},
        {sampleClassText + "x", false},
        {"{12345678-9abc-def0-1234-56789abcdefg}", false},
        {"{12345678-9abc-def0-12345-6789abcdef0}", false},
        {longestProgramId, true},
        {longestProgramId + "x", false},
    };
    for (const auto& [text, parsed] : cases) {
        SCOPED_TRACE(text);
        CLSID clsid;
        std::memset(&clsid, 0x5a, sizeof clsid);
        const CLSID untouched = clsid;
        ASSERT_EQ(platform::parseClassId(text.c_str(), &clsid), parsed);
        EXPECT_TRUE(sameGuid(clsid, parsed ? sampleClassId : untouched));
    }
}

// Creates the unregistered class, with *object set beforehand, and checks
// that a failure leaves *object null.
HRESULT createUnregistered()
{
    void* object = &object;
    const HRESULT result = platform::createInstance(unregisteredClassId, unregisteredClassId, &object);
    EXPECT_EQ(object, nullptr);
    return result;
}

TEST_F(PlatformContract, CreateInstanceNeedsComAndEndComUndoesOneStart)
{
    EXPECT_EQ(createUnregistered(), CO_E_NOTINITIALIZED);
    platform::startCom();
    EXPECT_EQ(createUnregistered(), REGDB_E_CLASSNOTREG);
    platform::startCom();
    platform::endCom();
    EXPECT_EQ(createUnregistered(), REGDB_E_CLASSNOTREG);
    platform::endCom();
    EXPECT_EQ(createUnregistered(), CO_E_NOTINITIALIZED);
}

void fault(void* code)
{
    raiseHardwareFault(*static_cast<std::uint32_t*>(code));
}

void recoverItself(void* recovered)
{
    try {
        throw std::runtime_error("handled where it was raised");
    } catch (const std::runtime_error&) {
        *static_cast<bool*>(recovered) = true;
    }
}

TEST_F(PlatformContract, GuardEndsAFaultingCallWithItsCode)
{
    // Over and over, to show the guard leaves nothing behind that a later
    // call trips over.
    for (int round = 0; round < 3; ++round) {
        for (std::uint32_t code : {0xC0000005u, 0xC0000094u, 0xC000001Du, 0xE0000001u, 0u}) {
            std::uint32_t caught = ~code;
            EXPECT_FALSE(platform::runGuarded(fault, &code, &caught));
            EXPECT_EQ(caught, code);
        }
        bool recovered = false;
        std::uint32_t untouched = 7;
        EXPECT_TRUE(platform::runGuarded(recoverItself, &recovered, &untouched));
        EXPECT_TRUE(recovered);
        EXPECT_EQ(untouched, 7u);
    }
    EXPECT_THROW(throw std::runtime_error("after the faults"), std::runtime_error);
}
} // namespace
