#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "app/report.h"
#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "support/reportLines.h"
#include "support/standIn.h"

using memory::FakeChannel;
using memory::FakeScript;
using namespace reportLines;

namespace {

const std::string header = rule +
    "Fake\n"
    "    ASIO Driver Version: 1\n"
    "    Driver Message:      No ASIO Driver Error\n";

const std::string defaultBuffers = "    Buffer Size Limits:  Min=64 | Max=2048 | Preferred=256 | Granularity=64\n";
const std::string defaultLatency = "    Hardware Latency:    Input=0 samples | Output=0 samples\n";
const std::string toDsd = "future(kAsioSetIoFormat,1)";
const std::string toPcm = "future(kAsioSetIoFormat,0)";

struct Report {
    std::string out;
    std::string err;
    std::shared_ptr<memory::FakeDriverLog> log;

    int callsOf(const std::string& call) const
    {
        int count = 0;
        for (const std::string& logged : log->calls)
            count += logged == call;
        return count;
    }
};

class ReportTest : public StandInTest {
protected:
    Report reportOf(const FakeScript& script)
    {
        auto log = installFakeDriver(1, "Fake", std::nullopt, script);
        const CapturedReport report = reportDriverNamed("Fake");
        // Every report leaves the driver released once, in PCM.
        EXPECT_EQ(log->created, 1);
        EXPECT_EQ(log->live, 0);
        EXPECT_EQ(log->callsAfterRelease, 0);
        EXPECT_EQ(log->calls.back(), "Release -> 0");
        return {report.out, report.err, log};
    }
};

FakeChannel channel(const std::string& name, ASIOSampleType type)
{
    FakeChannel result;
    result.name = name;
    result.type = type;
    return result;
}

TEST_F(ReportTest, FullFeaturedDriver)
{
    FakeScript script;
    script.driverVersion = 3;
    script.minSize = 32;
    script.maxSize = 4096;
    script.preferredSize = 512;
    script.granularity = -1;
    script.inputLatency = 288;
    script.outputLatency = 320;
    script.pcm.inputCount = 2;
    script.pcm.outputCount = 3;
    script.pcm.inputs = {channel("Mic 1", ASIOSTInt32LSB), channel("Mic 2", ASIOSTInt24LSB)};
    script.pcm.outputs = {channel("Main L", ASIOSTFloat32LSB), channel("Main R", ASIOSTFloat64LSB),
                          channel("Phones", ASIOSTInt16LSB)};
    script.pcm.rates = {44100, 48000, 96000, 352800};
    script.toDsdResult = ASE_SUCCESS;
    script.dsd.outputCount = 2;
    script.dsd.outputs = {channel("DSD L", ASIOSTDSDInt8MSB1)};
    script.dsd.rates = {2822400, 11289600};

    const Report report = reportOf(script);
    EXPECT_EQ(report.out, R"(
---------------------------------------------------------
Fake
    ASIO Driver Version: 3
    Driver Message:      No ASIO Driver Error
    Buffer Size Limits:  Min=32 | Max=4096 | Preferred=512 | Granularity=-1
    Hardware Latency:    Input=288 samples | Output=320 samples
    Channel Layout:      Total Inputs=2 | Total Outputs=3

    --- Input Channel Details ---
        In 0: [Mic 1] | Audio Type: Int32 LSB
        In 1: [Mic 2] | Audio Type: Int24 LSB (or 20-bit)

    --- Output Channel Details ---
        Out 0: [Main L] | Audio Type: Float32 LSB (IEEE Float)
        Out 1: [Main R] | Audio Type: Float64 LSB (IEEE Double)
        Out 2: [Phones] | Audio Type: Int16 LSB

    Supported Hardware PCM Sample Rates:
        * 44100 Hz (PCM)
        * 48000 Hz (PCM)
        * 96000 Hz (PCM)
        * 352800 Hz (PCM)

    Direct Stream Digital (DSD) Capabilities:
        * [SUCCESS] Native DSD Mode Switch: SUPPORTED
        * Active Channels in DSD Mode: In=0 | Out=2
        * Native DSD Packing Type: DSD 1-bit (8 samples/byte, MSB first)
        * Clock Support Verified: DSD64 (2.82 MHz)
        * Clock Support Verified: DSD256 (11.28 MHz)
)");
    EXPECT_EQ(report.err, "");
    const std::vector<std::string> calls = {
        "created",
        "init(null)",
        "getDriverName",
        "getDriverVersion",
        "getBufferSize",
        "getLatencies",
        "getChannels",
        "getChannelInfo(0,in)",
        "getChannelInfo(1,in)",
        "getChannelInfo(0,out)",
        "getChannelInfo(1,out)",
        "getChannelInfo(2,out)",
        "canSampleRate(44100)",
        "canSampleRate(48000)",
        "canSampleRate(88200)",
        "canSampleRate(96000)",
        "canSampleRate(176400)",
        "canSampleRate(192000)",
        "canSampleRate(352800)",
        "canSampleRate(384000)",
        toDsd,
        "getChannels",
        "getChannelInfo(0,out)",
        "canSampleRate(2822400)",
        "canSampleRate(5644800)",
        "canSampleRate(11289600)",
        "canSampleRate(22579200)",
        toPcm,
        "Release -> 0",
    };
    EXPECT_EQ(report.log->calls, calls);
    EXPECT_FALSE(report.log->inDsd);
}

struct SectionCase {
    const char* name;
    std::function<void(FakeScript&)> script;
    std::string sections; // what stands between the identity lines and the PCM heading
};

TEST_F(ReportTest, BufferLatencyAndChannelSections)
{
    const std::string noChannels =
        "    Channel Layout:      Total Inputs=0 | Total Outputs=0\n" + inputHeading + outputHeading;
    const std::vector<SectionCase> cases = {
        {"buffer size fails", [](FakeScript& s) { s.bufferSizeResult = -998; }, defaultLatency + noChannels},
        {"latencies fail", [](FakeScript& s) { s.latenciesResult = -1000; }, defaultBuffers + noChannels},
        {"channels fail", [](FakeScript& s) { s.pcm.channelsResult = -999; }, defaultBuffers + defaultLatency},
        {"everything fails",
         [](FakeScript& s) { s.bufferSizeResult = s.latenciesResult = s.pcm.channelsResult = -999; }, ""},
        {"no inputs, two outputs",
         [](FakeScript& s) {
             s.pcm.outputCount = 2;
             s.pcm.outputs = {channel("L", ASIOSTInt32LSB), channel("R", ASIOSTInt32LSB)};
         },
         defaultBuffers + defaultLatency + "    Channel Layout:      Total Inputs=0 | Total Outputs=2\n" +
             inputHeading + outputHeading + "        Out 0: [L] | Audio Type: Int32 LSB\n" +
             "        Out 1: [R] | Audio Type: Int32 LSB\n"},
        {"negative counts",
         [](FakeScript& s) {
             s.pcm.inputCount = -2;
             s.pcm.outputCount = INT32_MIN;
         },
         defaultBuffers + defaultLatency + "    Channel Layout:      Total Inputs=-2 | Total Outputs=-2147483648\n" +
             inputHeading + outputHeading},
        {"second of three inputs fails",
         [](FakeScript& s) {
             s.pcm.inputCount = 3;
             s.pcm.inputs = {channel("A", ASIOSTInt16MSB), channel("B", ASIOSTInt16MSB), channel("C", ASIOSTInt16MSB)};
             s.pcm.inputs[1].result = -996;
         },
         defaultBuffers + defaultLatency + "    Channel Layout:      Total Inputs=3 | Total Outputs=0\n" +
             inputHeading + "        In 0: [A] | Audio Type: Int16 MSB\n" +
             "        In 2: [C] | Audio Type: Int16 MSB\n" + outputHeading},
        {"more channels counted than answered",
         [](FakeScript& s) {
             s.pcm.inputCount = 2;
             s.pcm.inputs = {channel("Only", ASIOSTInt32MSB)};
         },
         defaultBuffers + defaultLatency + "    Channel Layout:      Total Inputs=2 | Total Outputs=0\n" +
             inputHeading + "        In 0: [Only] | Audio Type: Int32 MSB\n" + outputHeading},
        {"odd names and type codes",
         [](FakeScript& s) {
             s.pcm.outputCount = 6;
             s.pcm.outputs = {channel("", 5),
                              channel(std::string(32, 'u') + "beyond the field", 41),
                              channel("x", -1),
                              channel("y", INT32_MIN),
                              channel("Gerät Ω", ASIOSTFloat64MSB),
                              channel("z", ASIOSTDSDInt8NER8)};
         },
         defaultBuffers + defaultLatency + "    Channel Layout:      Total Inputs=0 | Total Outputs=6\n" +
             inputHeading + outputHeading + "        Out 0: [] | Audio Type: Unknown Type (5)\n" + "        Out 1: [" +
             std::string(32, 'u') + "] | Audio Type: Unknown Type (41)\n" +
             "        Out 2: [x] | Audio Type: Unknown Type (-1)\n" +
             "        Out 3: [y] | Audio Type: Unknown Type (-2147483648)\n" +
             "        Out 4: [Gerät Ω] | Audio Type: Float64 MSB (IEEE Double)\n" +
             "        Out 5: [z] | Audio Type: DSD 8-bit (1 sample/byte)\n"},
        {"control characters in names",
         [](FakeScript& s) {
             s.pcm.inputCount = 1;
             s.pcm.inputs = {channel("L\nR", ASIOSTInt32LSB)};
             s.pcm.outputCount = 1;
             s.pcm.outputs = {channel("\r\t\x1b[2J\x7f\x01", ASIOSTInt32LSB)};
         },
         defaultBuffers + defaultLatency + "    Channel Layout:      Total Inputs=1 | Total Outputs=1\n" +
             inputHeading + "        In 0: [L?R] | Audio Type: Int32 LSB\n" + outputHeading +
             "        Out 0: [???[2J??] | Audio Type: Int32 LSB\n"},
    };
    for (const SectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        memory::reset();
        FakeScript script;
        c.script(script);
        const Report report = reportOf(script);
        EXPECT_EQ(report.out, header + c.sections + pcmHeading + dsdHeading + dsdRejected + noDop);
        EXPECT_EQ(report.err, "");
    }
}

TEST_F(ReportTest, LargeChannelCountsAreListedInFull)
{
    FakeScript script;
    script.pcm.inputCount = 2000;
    script.pcm.inputs.assign(2000, channel("ch", ASIOSTInt32LSB));
    const Report report = reportOf(script);
    EXPECT_NE(report.out.find("        In 1999: [ch] | Audio Type: Int32 LSB\n" + outputHeading), std::string::npos);
    EXPECT_EQ(report.callsOf("getChannelInfo(1999,in)"), 1);
}

TEST_F(ReportTest, PcmRatesInProbeOrder)
{
    FakeScript script;
    script.pcm.rates = {384000, 44100, 176400, 22050};
    const Report report = reportOf(script);
    EXPECT_NE(report.out.find(pcmHeading + "        * 44100 Hz (PCM)\n        * 176400 Hz (PCM)\n" +
                              "        * 384000 Hz (PCM)\n" + dsdHeading),
              std::string::npos);
    EXPECT_EQ(report.callsOf("canSampleRate(22050)"), 0);
}

} // namespace
