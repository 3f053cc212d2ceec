// Fuzzes the report against drivers whose every answer comes from the
// input: result codes, the values written, counts, channel names with and
// without terminator, the answers to the DSD switch and the switch back,
// init, driver name and error message. The whole program runs over up to
// three such drivers. Whatever they answer, each object must be released
// exactly once and never called after, a driver switched to DSD must be
// switched back, and every line printed must have one of the report's
// forms.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/programRun.h"
#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "fuzzCheck.h"
#include "fuzzInput.h"
#include "platform/memory/fakeDriver.h"
#include "platform/memory/memoryPlatform.h"
#include "reportLineForms.h"
#include "support/streamCapture.h"

namespace {

using memory::FakeChannel;
using memory::FakeFormat;
using memory::FakeScript;
using platform::RootKey;

constexpr std::uint32_t maxDrivers = 3;
// Counts above this are cut, so that one run stays short.
constexpr std::int32_t maxChannels = 256;
// Past the 32-byte name fields and the 124-byte message field, so that
// texts without a terminator are among the cases.
constexpr std::size_t maxNameLength = 40;
constexpr std::size_t maxMessageLength = 140;

// The calls a driver may fault in, as its log names them; the first, none.
const char* const faultingCalls[] = {
    "",
    "init",
    "getErrorMessage",
    "getDriverName",
    "getDriverVersion",
    "getBufferSize",
    "getLatencies",
    "getChannels",
    "getChannelInfo(0,in)",
    "getChannelInfo(1,out)",
    "canSampleRate(44100)",
    "canSampleRate(2822400)",
    "future(kAsioSetIoFormat,1)",
    "future(kAsioSetIoFormat,0)",
    "Release",
};

// Every rate the report asks for.
constexpr ASIOSampleRate probedRates[] = {44100,  48000,  88200,   96000,   176400,   192000,
                                          352800, 384000, 2822400, 5644800, 11289600, 22579200};

const std::string toDsd = "future(kAsioSetIoFormat,1)";
const std::string toPcm = "future(kAsioSetIoFormat,0)";

// The codes that matter to the report are picked directly; any other
// comes as four bytes.
ASIOError resultCode(FuzzInput& input)
{
    switch (input.below(4)) {
    case 0:
        return ASE_OK;
    case 1:
        return ASE_SUCCESS;
    case 2:
        return ASE_NotPresent;
    default:
        return input.int32();
    }
}

// Any negative count, or one from 0 to maxChannels.
std::int32_t channelCount(FuzzInput& input)
{
    const std::int32_t count = input.int32();
    return count > maxChannels ? count % (maxChannels + 1) : count;
}

// Every code with a text of its own lies below 64.
ASIOSampleType sampleType(FuzzInput& input)
{
    const std::uint8_t code = input.byte();
    return code < 64 ? code : input.int32();
}

std::vector<FakeChannel> channels(FuzzInput& input)
{
    std::vector<FakeChannel> table(input.byte());
    for (FakeChannel& channel : table) {
        channel.result = resultCode(input);
        channel.type = sampleType(input);
        channel.name = input.bytes(maxNameLength);
        channel.isActive = input.int32();
        channel.channelGroup = input.int32();
    }
    return table;
}

FakeFormat format(FuzzInput& input)
{
    FakeFormat format;
    format.channelsResult = resultCode(input);
    format.inputCount = channelCount(input);
    format.outputCount = channelCount(input);
    format.inputs = channels(input);
    format.outputs = channels(input);
    const std::uint32_t accepted = input.byte() | static_cast<std::uint32_t>(input.byte()) << 8;
    for (std::size_t i = 0; i < std::size(probedRates); ++i)
        if ((accepted >> i & 1) != 0)
            format.rates.insert(probedRates[i]);
    format.rateRefusal = resultCode(input);
    return format;
}

FakeScript script(FuzzInput& input)
{
    FakeScript script;
    switch (input.below(3)) {
    case 0:
        script.initResult = 1;
        break;
    case 1:
        script.initResult = 0;
        break;
    default:
        script.initResult = input.int32();
    }
    script.errorMessage = input.bytes(maxMessageLength);
    script.driverName = input.bytes(maxNameLength);
    script.driverVersion = input.int32();
    script.bufferSizeResult = resultCode(input);
    script.minSize = input.int32();
    script.maxSize = input.int32();
    script.preferredSize = input.int32();
    script.granularity = input.int32();
    script.latenciesResult = resultCode(input);
    script.inputLatency = input.int32();
    script.outputLatency = input.int32();
    script.pcm = format(input);
    script.dsd = format(input);
    script.toDsdResult = resultCode(input);
    script.toPcmResult = resultCode(input);
    script.faultOn = faultingCalls[input.below(std::size(faultingCalls))];
    script.faultCode = static_cast<std::uint32_t>(input.int32());
    return script;
}

struct InstalledDriver {
    FakeScript script;
    std::shared_ptr<memory::FakeDriverLog> log; // null when the class is not registered
};

// Registers the driver under its own subkey and class id. Its description
// is one of three names, so that two drivers may share one.
InstalledDriver install(FuzzInput& input, std::uint32_t number)
{
    const std::string classId = "{0000000" + std::to_string(number) + "-0000-0000-0000-0000000000AA}";
    const std::string driverKey = "software\\asio\\Driver" + std::to_string(number);
    memory::setValue(RootKey::localMachine, driverKey, "clsid", classId + '\0');
    memory::setValue(RootKey::localMachine, driverKey, "description",
                     "Driver " + std::to_string(1 + input.below(3)) + '\0');
    const std::string server = "C:\\drivers\\" + std::to_string(number) + ".dll";
    memory::setValue(RootKey::classesRoot, "clsid\\" + classId + "\\InprocServer32", "", server + '\0');
    memory::addFile(server);

    InstalledDriver driver;
    const bool loadable = input.below(8) != 0;
    driver.script = script(input);
    CLSID clsid;
    if (loadable && platform::parseClassId(classId.c_str(), &clsid))
        driver.log = memory::registerFakeDriver(clsid, driver.script);
    return driver;
}

std::ptrdiff_t callsOf(const memory::FakeDriverLog& log, const std::string& call)
{
    return std::count(log.calls.begin(), log.calls.end(), call);
}

void checkDriver(const InstalledDriver& driver)
{
    if (!driver.log)
        return;
    const memory::FakeDriverLog& log = *driver.log;
    require(log.callsAfterRelease == 0, "no call after the last release");
    // A driver that faults is abandoned where it faulted: never called
    // again, nor released. Each report of it (two drivers may share a
    // name) creates an object of its own, which faults the same way.
    const std::string& fault = driver.script.faultOn;
    const bool faulted = !fault.empty() && !log.calls.empty() && log.calls.back().rfind(fault, 0) == 0;
    if (faulted) {
        require(log.live == log.created && callsOf(log, "Release -> 0") == 0,
                "a faulted object is abandoned, not released");
        return;
    }
    require(log.live == 0 && callsOf(log, "Release -> 0") == log.created, "every object released exactly once");

    for (const std::string& call : log.calls)
        require(call.rfind("future(", 0) != 0 || call == toDsd || call == toPcm,
                "only the two format requests, with clean records");
    const bool dsdAccepted = driver.script.toDsdResult == ASE_SUCCESS;
    const std::ptrdiff_t switches = callsOf(log, toDsd);
    require(callsOf(log, toPcm) == (dsdAccepted ? switches : 0),
            "switched back to PCM exactly when the switch to DSD succeeded");
    const bool leftInDsd = dsdAccepted && switches != 0 && driver.script.toPcmResult != ASE_SUCCESS;
    require(log.inDsd == leftInDsd, "left in DSD only by a driver refusing the switch back");
}

void checkLines(const std::string& text, bool (*isFormLine)(const std::string&), const char* what)
{
    require(text.empty() || text.back() == '\n', what);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!isFormLine(line))
            std::fprintf(stderr, "line: \"%s\"\n", line.c_str());
        require(isFormLine(line), what);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    memory::reset();
    activeDriver = nullptr;
    driverManager = nullptr;
    FuzzInput input(data, size);
    std::vector<InstalledDriver> drivers;
    const std::uint32_t count = input.below(maxDrivers + 1);
    for (std::uint32_t number = 0; number < count; ++number)
        drivers.push_back(install(input, number));

    std::string out;
    std::string err;
    int status = 0;
    {
        StreamCapture capture;
        status = runProgram();
        out = capture.out();
        err = capture.err();
    }

    require(status == 0, "a complete run");
    require(driverManager == nullptr && activeDriver == nullptr, "no manager or driver left behind");
    require(memory::openKeyCount() == 0 && memory::comDepth() == 0, "no key open, COM ended");
    for (const InstalledDriver& driver : drivers)
        checkDriver(driver);
    checkLines(out, isOutputLine, "every output line has a report line's form");
    checkLines(err, isErrorLine, "every error line is one of the error lines");

    memory::reset();
    return 0;
}
