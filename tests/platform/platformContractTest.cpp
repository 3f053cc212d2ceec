// Guards against a stand-in that drifts from the real system, and against faults of the Windows side of the seam:
// one set of checks, built with the in-memory stand-in to run natively and with the Windows calls to run under Wine.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platformFixture.h"

using namespace std::string_literals;
using platform::errorBadPathname;
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

std::string local(const std::string& path)
{
    return std::string(localSandbox) + "\\" + path;
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
    void SetUp() override { fixture->clear(); }
    void TearDown() override { fixture->clear(); }

    std::unique_ptr<PlatformFixture> fixture = makePlatformFixture();
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
        fixture->setValue(RootKey::localMachine, local("values"), "value", c.stored);
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

TEST_F(PlatformContract, DefaultValueIsReadThroughNullAndEmptyNames)
{
    fixture->setValue(RootKey::localMachine, local("default"), "", "main");
    fixture->setValue(RootKey::localMachine, local("default"), "other", "side");
    HeldKey key;
    ASSERT_EQ(openLocal("default", key), registryOk);
    EXPECT_EQ(readValue(key.key, nullptr), "main");
    EXPECT_EQ(readValue(key.key, ""), "main");
}

TEST_F(PlatformContract, NamesMatchWithoutRegardToCase)
{
    fixture->setValue(RootKey::localMachine, local("Mixed\\Inner"), "Description", "found");
    HeldKey outer;
    ASSERT_EQ(openLocal("MIXED", outer), registryOk);
    HeldKey inner;
    ASSERT_EQ(platform::openSubkey(outer.key, "inner", &inner.key), registryOk);
    EXPECT_EQ(readValue(inner.key, "DESCRIPTION"), "found");
    EXPECT_EQ(readValue(inner.key, "description"), "found");
}

TEST_F(PlatformContract, MissingKeysAndValuesAreNotFound)
{
    fixture->createKey(RootKey::localMachine, local("present"));
    HeldKey missingRoot;
    EXPECT_EQ(openLocal("absent", missingRoot), errorFileNotFound);
    EXPECT_EQ(missingRoot.key, nullptr);

    HeldKey present;
    ASSERT_EQ(openLocal("present", present), registryOk);
    HeldKey missingSubkey;
    EXPECT_EQ(platform::openSubkey(present.key, "absent", &missingSubkey.key), errorFileNotFound);
    EXPECT_EQ(missingSubkey.key, nullptr);

    char buffer[8];
    std::uint32_t size = sizeof buffer;
    EXPECT_EQ(platform::queryValue(present.key, "absent", buffer, &size), errorFileNotFound);
    size = sizeof buffer;
    EXPECT_EQ(platform::queryValue(present.key, nullptr, buffer, &size), errorFileNotFound);
}

struct PathCase {
    const char* path;
    std::int32_t status;
    // The "name" value of the key opened.
    const char* opened;
};

TEST_F(PlatformContract, SubkeyPathsFollowTheRegistrysRules)
{
    fixture->setValue(RootKey::localMachine, local("paths"), "name", "paths");
    fixture->setValue(RootKey::localMachine, local("paths\\a"), "name", "a");
    fixture->setValue(RootKey::localMachine, local("paths\\a\\b"), "name", "b");
    const std::vector<PathCase> cases = {
        {"a", registryOk, "a"},
        {"a\\b", registryOk, "b"},
        {"A\\B", registryOk, "b"},
        {"a\\\\b", registryOk, "b"},
        {"a\\b\\", registryOk, "b"},
        {"", registryOk, "paths"},
        {"\\a", errorBadPathname, nullptr},
        {"a\\c", errorFileNotFound, nullptr},
    };
    HeldKey parent;
    ASSERT_EQ(openLocal("paths", parent), registryOk);
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.path);
        HeldKey key;
        ASSERT_EQ(platform::openSubkey(parent.key, c.path, &key.key), c.status);
        if (c.status == registryOk) {
            EXPECT_EQ(readValue(key.key, "name"), c.opened);
        } else {
            EXPECT_EQ(key.key, nullptr);
        }
    }
}

struct RootPathCase {
    RootKey root;
    std::string path;
    std::int32_t status;
};

TEST_F(PlatformContract, RootPathsFollowTheRegistrysRules)
{
    const std::string classesKey = std::string(classesSandbox) + "\\a";
    fixture->setValue(RootKey::localMachine, local("a"), "name", "local");
    fixture->setValue(RootKey::classesRoot, classesKey, "name", "classes");
    const std::vector<RootPathCase> cases = {
        {RootKey::localMachine, local("a"), registryOk},
        {RootKey::localMachine, local("\\a\\"), registryOk},
        {RootKey::localMachine, "\\" + local("a"), errorBadPathname},
        {RootKey::classesRoot, classesKey, registryOk},
        {RootKey::classesRoot, "\\" + classesKey, registryOk},
        {RootKey::classesRoot, "\\\\" + classesKey, errorBadPathname},
    };
    for (const RootPathCase& c : cases) {
        SCOPED_TRACE(c.path);
        HeldKey key;
        ASSERT_EQ(platform::openRootKey(c.root, c.path.c_str(), &key.key), c.status);
        if (c.status == registryOk) {
            EXPECT_EQ(readValue(key.key, "name"), c.root == RootKey::localMachine ? "local" : "classes");
        }
    }
}

TEST_F(PlatformContract, SubkeysEnumerateSortedByLowerCaseName)
{
    // "_" lies between the upper- and the lower-case letters, so its place
    // tells which form the order compares.
    for (const char* name : {"b", "_x", "AC", "ab", "a"})
        fixture->createKey(RootKey::localMachine, local("order\\") + name);
    HeldKey key;
    ASSERT_EQ(openLocal("order", key), registryOk);
    std::vector<std::string> names;
    char name[16];
    std::uint32_t index = 0;
    for (; platform::enumSubkey(key.key, index, name, sizeof name) == registryOk; ++index)
        names.emplace_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"_x", "a", "ab", "AC", "b"}));
    EXPECT_EQ(platform::enumSubkey(key.key, index, name, sizeof name), errorNoMoreItems);
}

struct EnumCase {
    const char* label;
    std::uint32_t index;
    std::uint32_t size;
    std::int32_t status;
};

TEST_F(PlatformContract, EnumerationNeedsRoomForTheNameAndItsTerminator)
{
    fixture->createKey(RootKey::localMachine, local("enum\\abc"));
    const std::vector<EnumCase> cases = {
        {"room to spare", 0, 16, registryOk},
        {"exact fit", 0, 4, registryOk},
        {"no room for the terminator", 0, 3, errorMoreData},
        {"past the last subkey", 1, 16, errorNoMoreItems},
    };
    HeldKey key;
    ASSERT_EQ(openLocal("enum", key), registryOk);
    for (const EnumCase& c : cases) {
        SCOPED_TRACE(c.label);
        char name[16] = {};
        EXPECT_EQ(platform::enumSubkey(key.key, c.index, name, c.size), c.status);
        if (c.status == registryOk) {
            EXPECT_STREQ(name, "abc");
        }
    }
    HeldKey empty;
    ASSERT_EQ(openLocal("enum\\abc", empty), registryOk);
    char name[16];
    EXPECT_EQ(platform::enumSubkey(empty.key, 0, name, sizeof name), errorNoMoreItems);
}

TEST_F(PlatformContract, LongestSubkeyNameIsBounded)
{
    const std::string longest(200, 'n');
    fixture->createKey(RootKey::localMachine, local("sizes\\short"));
    fixture->createKey(RootKey::localMachine, local("sizes\\" + longest));
    HeldKey key;
    ASSERT_EQ(openLocal("sizes", key), registryOk);
    std::uint32_t size = 0;
    ASSERT_EQ(platform::maxSubkeyNameSize(key.key, &size), registryOk);
    EXPECT_GE(size, longest.size() + 1);
    // Every name fits a buffer of that size.
    std::vector<char> name(size);
    for (std::uint32_t i = 0; i < 2; ++i)
        EXPECT_EQ(platform::enumSubkey(key.key, i, name.data(), size), registryOk);

    HeldKey leaf;
    ASSERT_EQ(openLocal("sizes\\short", leaf), registryOk);
    ASSERT_EQ(platform::maxSubkeyNameSize(leaf.key, &size), registryOk);
    EXPECT_GE(size, 1u);
}

struct LowerCase {
    const char* text;
    std::uint32_t length;
    const char* lowered;
};

TEST_F(PlatformContract, LowerTextLowersOnlyAsciiLettersWithinTheLength)
{
    const std::vector<LowerCase> cases = {
        {"AZaz09 @[`{_-", 13, "azaz09 @[`{_-"},
        {"ABCD", 2, "abCD"},
        {"ABCD", 0, "ABCD"},
    };
    for (const LowerCase& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        platform::lowerText(text.data(), c.length);
        EXPECT_EQ(text, c.lowered);
    }
}

TEST_F(PlatformContract, TestFileFindsExistingFilesOnly)
{
    const std::string server = fixture->addFile("server.dll");
    const std::string directory = server.substr(0, server.rfind('\\'));
    std::string upperServer = server;
    for (char& c : upperServer)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    EXPECT_NE(platform::testFile(server.c_str()), platform::fileError);
    EXPECT_NE(platform::testFile(server.c_str()), 0);
    EXPECT_NE(platform::testFile(upperServer.c_str()), platform::fileError);
    EXPECT_EQ(platform::testFile((directory + "\\missing.dll").c_str()), platform::fileError);
    EXPECT_EQ(platform::testFile(directory.c_str()), platform::fileError);
}

struct ClassIdCase {
    const char* label;
    std::string text;
    bool parsed;
};

// Each text parses to the sample class id, or fails and leaves the class
// id as it was.
void expectParses(const std::vector<ClassIdCase>& cases)
{
    for (const ClassIdCase& c : cases) {
        SCOPED_TRACE(c.label);
        CLSID clsid;
        std::memset(&clsid, 0x5a, sizeof clsid);
        CLSID untouched = clsid;
        ASSERT_EQ(platform::parseClassId(c.text.c_str(), &clsid), c.parsed);
        EXPECT_TRUE(sameGuid(clsid, c.parsed ? sampleClassId : untouched));
    }
}

TEST_F(PlatformContract, ParseClassIdReadsBracedClassIdsOnly)
{
    const std::vector<ClassIdCase> cases = {
        {"upper case", sampleClassText, true},
        {"lower case", "{12345678-9abc-def0-1234-56789abcdef0}", true},
        {"without braces", "12345678-9abc-def0-1234-56789abcdef0", false},
        {"without closing brace", "{12345678-9abc-def0-1234-56789abcdef0", false},
        {"text after the brace", sampleClassText + "x", false},
        {"bad last digit", "{12345678-9abc-def0-1234-56789abcdefg}", false},
        {"misplaced dash", "{12345678-9abc-def0-12345-6789abcdef0}", false},
        {"garbage", "not a class id", false},
        {"empty", "", false},
        {"100 characters", sampleClassText + std::string(62, ' '), false},
    };
    expectParses(cases);
}

TEST_F(PlatformContract, ParseClassIdLooksUpProgramIds)
{
    // A program id is a classes root key whose CLSID key's default value
    // names the class. Its text must fit into 100 UTF-16 units with the
    // terminator, like any other.
    const std::string shortId = std::string(classesSandbox) + ".Sample";
    const std::string longestId = shortId + std::string(99 - shortId.size(), 'x');
    const std::string tooLongId = longestId + "x";
    const std::string unbracedId = std::string(classesSandbox) + ".Unbraced";
    for (const std::string& id : {shortId, longestId, tooLongId})
        fixture->setValue(RootKey::classesRoot, id + "\\CLSID", "", sampleClassText + '\0');
    fixture->setValue(RootKey::classesRoot, unbracedId + "\\CLSID", "", "12345678-9abc-def0-1234-56789abcdef0\0"s);

    const std::vector<ClassIdCase> cases = {
        {"registered", shortId, true},
        {"registered, other case", std::string("ASIO-REPORT-CONTRACT.sample"), true},
        {"99 characters", longestId, true},
        {"100 characters", tooLongId, false},
        {"class without braces", unbracedId, false},
        {"not registered", std::string(classesSandbox) + ".Absent", false},
    };
    expectParses(cases);
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

struct Fault {
    PlatformFixture* fixture;
    std::uint32_t code;
};

void fault(void* context)
{
    const auto* fault = static_cast<Fault*>(context);
    fault->fixture->raiseFault(fault->code);
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
            Fault raised{fixture.get(), code};
            std::uint32_t caught = ~code;
            EXPECT_FALSE(platform::runGuarded(fault, &raised, &caught));
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
