#include <string>
#include <vector>

#include "driver/driverManager.h"
#include "support/standIn.h"

using platform::RootKey;

namespace {

struct ListedDriver {
    std::int32_t index;
    std::string name;
    std::string clsid;

    bool operator==(const ListedDriver& other) const
    {
        return index == other.index && name == other.name && clsid == other.clsid;
    }
};

void PrintTo(const ListedDriver& driver, std::ostream* out)
{
    *out << driver.index << " \"" << driver.name << "\" " << driver.clsid;
}

std::vector<ListedDriver> listed(const DriverManager& manager)
{
    std::vector<ListedDriver> drivers;
    for (const DriverEntry* entry = manager.firstEntry(); entry != nullptr; entry = entry->next) {
        EXPECT_EQ(entry->instance, nullptr);
        drivers.push_back({entry->index, entry->name, classIdText(entry->clsid)});
    }
    EXPECT_EQ(static_cast<std::size_t>(manager.driverCount()), drivers.size());
    return drivers;
}

const std::string zeroClassId = classIdText(CLSID{});

class DriverScanTest : public StandInTest { };

TEST_F(DriverScanTest, WithoutAsioKeyListsNothingAndLeavesComAlone)
{
    memory::addKey(RootKey::classesRoot, "CLSID");
    {
        DriverManager manager;
        EXPECT_EQ(manager.driverCount(), 0);
        EXPECT_EQ(manager.firstEntry(), nullptr);
        EXPECT_EQ(manager.currentDriverIndex(), -1);
        EXPECT_EQ(memory::comStartCount(), 0);
    }
    EXPECT_EQ(memory::comDepth(), 0);
}

TEST_F(DriverScanTest, SkippedRegistrationsUseUpNoIndex)
{
    registerDriverKey("Alpha", classIdText(testClassId(1)), "First");
    memory::addKey(RootKey::localMachine, "software\\asio\\Beta"); // no clsid value
    registerDriverKey("Gamma", classIdText(testClassId(3)), "Third");
    memory::setText(RootKey::localMachine, "software\\asio\\Delta", "clsid", classIdText(testClassId(4)));
    memory::setText(RootKey::localMachine, "software\\asio\\Epsilon", "clsid", classIdText(testClassId(5)));
    memory::setText(RootKey::classesRoot, "clsid\\" + classIdText(testClassId(5)) + "\\InprocServer32", "x",
                    "named value only");
    memory::setText(RootKey::localMachine, "software\\asio\\Zeta", "clsid", classIdText(testClassId(6)));
    memory::addKey(RootKey::classesRoot, "clsid\\" + classIdText(testClassId(6)));

    DriverManager manager;
    // Enumeration is sorted without regard to case: Alpha, Beta, Delta,
    // Epsilon, Gamma, Zeta.
    const std::vector<ListedDriver> expected = {
        {0, "First", classIdText(testClassId(1))},
        {1, "Third", classIdText(testClassId(3))},
    };
    EXPECT_EQ(listed(manager), expected);
    EXPECT_EQ(memory::comDepth(), 1);
}

TEST_F(DriverScanTest, ClassIdMatchesItsClassKeyWhateverTheCase)
{
    memory::setText(RootKey::localMachine, "software\\asio\\Upper", "clsid", "{0000000A-0000-0000-0000-0000000000AA}");
    memory::setText(RootKey::classesRoot, "clsid\\{0000000a-0000-0000-0000-0000000000aa}\\InprocServer32", "",
                    "upper.dll");
    memory::setText(RootKey::localMachine, "software\\asio\\Lower", "clsid", "{0000000b-0000-0000-0000-0000000000aa}");
    memory::setText(RootKey::classesRoot, "clsid\\{0000000B-0000-0000-0000-0000000000AA}\\InprocServer32", "",
                    "lower.dll");
    memory::addFile("upper.dll");
    memory::addFile("lower.dll");

    DriverManager manager;
    const std::vector<ListedDriver> expected = {
        {0, "Lower", "{0000000B-0000-0000-0000-0000000000AA}"},
        {1, "Upper", "{0000000A-0000-0000-0000-0000000000AA}"},
    };
    EXPECT_EQ(listed(manager), expected);
}

TEST_F(DriverScanTest, ServerPathIsEnoughEvenWithoutItsFile)
{
    memory::setText(RootKey::localMachine, "software\\asio\\Gone", "clsid", classIdText(testClassId(1)));
    memory::setText(RootKey::classesRoot, "clsid\\" + classIdText(testClassId(1)) + "\\InprocServer32", "",
                    "C:\\removed.dll");
    DriverManager manager;
    EXPECT_EQ(listed(manager), (std::vector<ListedDriver>{{0, "Gone", classIdText(testClassId(1))}}));
}

TEST_F(DriverScanTest, ServerPathThatDoesNotFitItsBufferSkipsTheDriver)
{
    const std::string path511(511, 'p');
    const std::string path512(512, 'q');
    memory::addFile(path511);
    memory::addFile(path512);
    memory::setText(RootKey::localMachine, "software\\asio\\Fits", "clsid", classIdText(testClassId(1)));
    memory::setText(RootKey::classesRoot, "clsid\\" + classIdText(testClassId(1)) + "\\InprocServer32", "", path511);
    memory::setText(RootKey::localMachine, "software\\asio\\TooLong", "clsid", classIdText(testClassId(2)));
    memory::setText(RootKey::classesRoot, "clsid\\" + classIdText(testClassId(2)) + "\\InprocServer32", "", path512);
    DriverManager manager;
    EXPECT_EQ(listed(manager), (std::vector<ListedDriver>{{0, "Fits", classIdText(testClassId(1))}}));
}

TEST_F(DriverScanTest, DisplayNameComesFromDescriptionOrSubkey)
{
    const std::string name127(127, 'd');
    const std::string name200(200, 'e');
    const std::string name255(255, 'f');
    const std::string name256(256, 'g');
    struct Case {
        std::string subkey;
        std::optional<std::string> description;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"a-missing", std::nullopt, "a-missing"},
        {"b-empty", "", ""},
        {"c-127", name127, name127},
        {"d-200", name200, name200.substr(0, 127)},
        {"e-255", name255, name255.substr(0, 127)},
        {"f-256", name256, "f-256"},
    };
    int n = 1;
    std::vector<ListedDriver> expected;
    for (const Case& c : cases) {
        registerDriverKey(c.subkey, classIdText(testClassId(n)), c.description);
        expected.push_back({n - 1, c.name, classIdText(testClassId(n))});
        ++n;
    }
    DriverManager manager;
    EXPECT_EQ(listed(manager), expected);
}

TEST_F(DriverScanTest, ValuesWithoutTerminatorEndWithinTheirBuffers)
{
    const std::string clsid = classIdText(testClassId(1));
    memory::setValue(RootKey::localMachine, "software\\asio\\Raw", "clsid", clsid);
    memory::setValue(RootKey::localMachine, "software\\asio\\Raw", "description", "Raw Driver");
    memory::setValue(RootKey::classesRoot, "clsid\\" + clsid + "\\InprocServer32", "", "raw.dll");
    memory::addFile("raw.dll");
    // A description filling its whole buffer loses its last byte.
    registerDriverKey("Full", classIdText(testClassId(2)), std::nullopt);
    memory::setValue(RootKey::localMachine, "software\\asio\\Full", "description", std::string(256, 'x'));

    DriverManager manager;
    const std::vector<ListedDriver> expected = {
        {0, std::string(127, 'x'), classIdText(testClassId(2))},
        {1, "Raw Driver", clsid},
    };
    EXPECT_EQ(listed(manager), expected);
}

TEST_F(DriverScanTest, ClassIdThatDoesNotParseIsListedAsZero)
{
    for (const char* text : {"not a class id", "{00000001-0000-0000-0000-0000000000aa", "{}"}) {
        memory::reset();
        registerDriverKey("Odd", text, std::nullopt);
        DriverManager manager;
        EXPECT_EQ(listed(manager), (std::vector<ListedDriver>{{0, "Odd", zeroClassId}})) << text;
    }
}

TEST_F(DriverScanTest, LongSubkeyNamesAreListedAndCut)
{
    // Key names reach 255 characters; the display name keeps 127.
    const std::string longName(255, 'k');
    registerDriverKey(longName, classIdText(testClassId(1)), std::nullopt);
    registerDriverKey("Next", classIdText(testClassId(2)), std::nullopt);
    DriverManager manager;
    const std::vector<ListedDriver> expected = {
        {0, longName.substr(0, 127), classIdText(testClassId(1))},
        {1, "Next", classIdText(testClassId(2))},
    };
    EXPECT_EQ(listed(manager), expected);
}

TEST_F(DriverScanTest, SameDescriptionTwiceListsBoth)
{
    registerDriverKey("One", classIdText(testClassId(1)), "Twin");
    registerDriverKey("Two", classIdText(testClassId(2)), "Twin");
    DriverManager manager;
    const std::vector<ListedDriver> expected = {
        {0, "Twin", classIdText(testClassId(1))},
        {1, "Twin", classIdText(testClassId(2))},
    };
    EXPECT_EQ(listed(manager), expected);
}

TEST_F(DriverScanTest, ManyRegistrationsStayInOrder)
{
    std::vector<ListedDriver> expected;
    for (int n = 0; n < 300; ++n) {
        char subkey[16];
        std::snprintf(subkey, sizeof subkey, "drv%04d", n);
        registerDriverKey(subkey, classIdText(testClassId(n)), std::nullopt);
        expected.push_back({n, subkey, classIdText(testClassId(n))});
    }
    DriverManager manager;
    EXPECT_EQ(listed(manager), expected);
}

} // namespace
