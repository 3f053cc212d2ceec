// Fuzzes the registry scan. The input builds class keys under
// HKEY_CLASSES_ROOT\clsid and driver registrations under
// HKEY_LOCAL_MACHINE\software\asio, then a DriverManager scans them and
// opens each listed driver by its name. Whatever an installer wrote, the
// list must be well formed, every key closed, COM used in step with the
// list, and every driver object released exactly once.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "fuzzCheck.h"
#include "fuzzInput.h"
#include "platform/memory/fakeDriver.h"
#include "platform/memory/memoryPlatform.h"
#include "support/literalClassLookup.h"

namespace {

using platform::RootKey;

constexpr std::uint32_t maxClasses = 8;
constexpr std::uint32_t maxDrivers = 8;
constexpr std::uint32_t classIdPool = 8;
// Longer than every buffer the scan reads into, so that names and values
// that do not fit are among the cases.
constexpr std::size_t maxTextLength = 600;

using DriverLogs = std::vector<std::shared_ptr<memory::FakeDriverLog>>;

// Key names cannot hold a backslash; the stand-in would read it as a path.
std::string keyName(std::string name)
{
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

// {0000000n-0000-0000-0000-0000000000AA}
std::string classIdText(std::uint32_t n)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-0000-0000-0000-0000000000AA}", n);
    return text;
}

// Flips the case of the letters that the bits of one input byte pick, so
// that the scan has to match class ids without regard to case.
std::string mixCase(std::string text, FuzzInput& input)
{
    const std::uint8_t mask = input.byte();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((mask >> (i % 8) & 1) == 0)
            continue;
        if (c >= 'a' && c <= 'z')
            text[i] = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            text[i] = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// A value as text with its terminator, or as the same bytes without one.
std::string maybeTerminated(const std::string& text, FuzzInput& input)
{
    return input.flag() ? text + '\0' : text;
}

// Class keys, most named by a class id and some by any bytes, with or
// without a server key, server path and server file; some classes can be
// created as fake drivers. Returns the names of the class keys.
std::vector<std::string> addClasses(FuzzInput& input, DriverLogs& logs)
{
    std::vector<std::string> names;
    const std::uint32_t count = input.below(maxClasses + 1);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string name =
            input.flag() ? keyName(input.bytes(maxTextLength)) : classIdText(input.below(classIdPool));
        if (name.empty())
            continue;
        const std::string classKey = "clsid\\" + name;
        memory::addKey(RootKey::classesRoot, classKey);
        names.push_back(name);

        if (input.flag()) {
            const std::string serverKey = classKey + "\\InprocServer32";
            memory::addKey(RootKey::classesRoot, serverKey);
            if (input.flag()) {
                const std::string path =
                    input.flag() ? "C:\\drivers\\" + std::to_string(i) + ".dll" : input.bytes(maxTextLength);
                const std::string stored = maybeTerminated(path, input);
                memory::setValue(RootKey::classesRoot, serverKey, "", stored);
                if (input.flag())
                    memory::addFile(stored.c_str());
            }
        }

        CLSID clsid;
        if (input.flag() && platform::parseClassId(name.c_str(), &clsid))
            logs.push_back(memory::registerFakeDriver(clsid, memory::FakeScript{}));
    }
    return names;
}

// Driver registrations with names of any bytes and length, a class id
// value naming a class key or holding any bytes, and an optional
// description of any bytes.
void addDrivers(FuzzInput& input, const std::vector<std::string>& classNames)
{
    const std::uint32_t count = input.below(maxDrivers + 1);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string name = keyName(input.bytes(maxTextLength));
        if (name.empty())
            continue;
        const std::string driverKey = "software\\asio\\" + name;
        memory::addKey(RootKey::localMachine, driverKey);

        const char* clsidValueName = input.flag() ? "clsid" : "CLSID";
        switch (input.below(3)) {
        case 0:
            break;
        case 1:
            if (!classNames.empty()) {
                const std::string& className = classNames[input.byte() % classNames.size()];
                memory::setValue(RootKey::localMachine, driverKey, clsidValueName,
                                 maybeTerminated(mixCase(className, input), input));
            }
            break;
        default:
            memory::setValue(RootKey::localMachine, driverKey, clsidValueName, input.bytes(maxTextLength));
        }

        if (input.flag())
            memory::setValue(RootKey::localMachine, driverKey, "description",
                             maybeTerminated(input.bytes(maxTextLength), input));
    }
}

// The list holds count entries numbered 0, 1, ... in order, each with its
// name ended within its field and no object yet.
void checkList(const DriverManager& manager)
{
    std::int32_t expectedIndex = 0;
    for (const DriverEntry* entry = manager.firstEntry(); entry != nullptr; entry = entry->next) {
        require(entry->index == expectedIndex, "indices run 0, 1, ... in list order");
        require(std::memchr(entry->name, '\0', sizeof entry->name) != nullptr, "name ended within its field");
        require(entry->instance == nullptr, "no driver object after the scan");
        ++expectedIndex;
    }
    require(manager.driverCount() == expectedIndex, "count equals the list's length");
}

// Short names fit any buffer they are asked into, however small. Each
// buffer is its own allocation, so that AddressSanitizer sees a write past
// it.
void checkShortNames(const DriverManager& manager)
{
    for (std::int32_t index = -1; index <= manager.driverCount(); ++index) {
        for (std::int32_t capacity : {1, 2, 3, 4, 5, shortNameCapacity}) {
            std::vector<char> buffer(static_cast<std::size_t>(capacity), 'x');
            manager.driverName(index, buffer.data(), capacity);
            const bool listed = index >= 0 && index < manager.driverCount();
            require(!listed || std::memchr(buffer.data(), '\0', buffer.size()) != nullptr,
                    "short name ended within its buffer");
            require(listed || buffer[0] == 'x', "no name written for an unlisted index");
        }
    }
}

int liveDrivers(const DriverLogs& logs)
{
    int live = 0;
    for (const auto& log : logs)
        live += log->live;
    return live;
}

// Drivers are opened by short name, so the one opened is the first of
// that name.
std::int32_t firstIndexNamed(const DriverManager& manager, const char* name)
{
    for (std::int32_t index = 0; index < manager.driverCount(); ++index) {
        char listed[shortNameCapacity];
        manager.driverName(index, listed, shortNameCapacity);
        if (std::strcmp(listed, name) == 0)
            return index;
    }
    return -1;
}

// Opens every listed driver by its short name, one after the other
// without closing in between, as a host switching drivers would: only the
// current driver is alive, and a failed open leaves the one before it
// current.
void openEachByName(DriverManager& manager, const DriverLogs& logs)
{
    driverManager = &manager;
    for (std::int32_t index = 0; index < manager.driverCount(); ++index) {
        char name[shortNameCapacity];
        manager.driverName(index, name, shortNameCapacity);
        const std::int32_t before = manager.currentDriverIndex();
        if (manager.openDriver(name)) {
            require(manager.currentDriverIndex() == firstIndexNamed(manager, name), "opened the first of that name");
            require(activeDriver != nullptr, "an opened driver is active");
        } else {
            require(manager.currentDriverIndex() == before, "a failed open leaves the driver before it current");
        }
        require(liveDrivers(logs) == (manager.currentDriverIndex() >= 0 ? 1 : 0), "only the current driver is alive");
    }
    ASIOExit();
    require(manager.currentDriverIndex() == -1 && liveDrivers(logs) == 0, "closing releases the current driver");
    driverManager = nullptr;
}

// The class lookup shared across the scan finds what a lookup of its own
// per driver finds: the same entries, in the same order.
void checkAgainstLiteralLookup(const DriverManager& manager)
{
    DriverEntry* literalList = readInstalledDrivers(literalFindServerPath);
    const DriverEntry* entry = manager.firstEntry();
    for (const DriverEntry* literal = literalList; literal != nullptr; literal = literal->next) {
        require(entry != nullptr && entry->index == literal->index && sameGuid(entry->clsid, literal->clsid) &&
                    std::strcmp(entry->name, literal->name) == 0,
                "the scan lists what the literal class lookup lists");
        entry = entry->next;
    }
    require(entry == nullptr, "the scan lists no more than the literal class lookup");
    while (literalList != nullptr) {
        DriverEntry* next = literalList->next;
        delete literalList;
        literalList = next;
    }
    require(memory::openKeyCount() == 0, "the literal lookup closes every key it opens");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    memory::reset();
    activeDriver = nullptr;
    FuzzInput input(data, size);
    DriverLogs logs;
    const std::vector<std::string> classNames = addClasses(input, logs);
    addDrivers(input, classNames);

    {
        DriverManager manager;
        require(memory::openKeyCount() == 0, "the scan closes every key it opens");
        checkList(manager);
        checkAgainstLiteralLookup(manager);
        const int comUse = manager.driverCount() != 0 ? 1 : 0;
        require(memory::comStartCount() == comUse && memory::comDepth() == comUse,
                "COM started exactly when a driver is listed");
        checkShortNames(manager);
        openEachByName(manager, logs);
        require(memory::openKeyCount() == 0, "opening drivers leaves no key open");
    }
    require(memory::comDepth() == 0, "COM ended with the manager");
    for (const auto& log : logs)
        require(log->live == 0 && log->callsAfterRelease == 0, "every driver object released exactly once");

    memory::reset();
    return 0;
}
