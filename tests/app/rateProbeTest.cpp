#include <algorithm>
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

const std::string allClocks = "        * Clock Support Verified: DSD64 (2.82 MHz)\n"
                              "        * Clock Support Verified: DSD128 (5.64 MHz)\n"
                              "        * Clock Support Verified: DSD256 (11.28 MHz)\n"
                              "        * Clock Support Verified: DSD512 (22.57 MHz)\n";

struct DsdCase {
    const char* name;
    std::function<void(FakeScript&)> script;
    std::string section; // everything after the DSD heading
    bool switchedBack;
    bool packingQueried;
};

// A driver that accepts DSD with two channels each way, packed as 1-bit
// LSB first, at every DSD clock.
FakeScript dsdDriver()
{
    FakeScript script;
    script.toDsdResult = ASE_SUCCESS;
    script.dsd.inputCount = 2;
    script.dsd.outputCount = 2;
    FakeChannel packed;
    packed.type = ASIOSTDSDInt8LSB1;
    script.dsd.outputs = {packed, packed};
    script.dsd.rates = {2822400, 5644800, 11289600, 22579200};
    return script;
}

class RateProbeTest : public StandInTest { };

TEST_F(RateProbeTest, DsdPaths)
{
    const std::string channels = "        * Active Channels in DSD Mode: In=2 | Out=2\n";
    const std::string packing = "        * Native DSD Packing Type: DSD 1-bit (8 samples/byte, LSB first)\n";
    const std::vector<DsdCase> cases = {
        {"accepted", [](FakeScript&) {}, dsdAccepted + channels + packing + allClocks, true, true},
        {"accepted, no clock", [](FakeScript& s) { s.dsd.rates.clear(); }, dsdAccepted + channels + packing, true,
         true},
        {"accepted, some clocks",
         [](FakeScript& s) {
             s.dsd.rates = {5644800, 22579200};
         },
         dsdAccepted + channels + packing + "        * Clock Support Verified: DSD128 (5.64 MHz)\n" +
             "        * Clock Support Verified: DSD512 (22.57 MHz)\n",
         true, true},
        {"accepted, channel count fails", [](FakeScript& s) { s.dsd.channelsResult = -999; }, dsdAccepted + allClocks,
         true, false},
        {"accepted, no outputs", [](FakeScript& s) { s.dsd.outputCount = 0; },
         dsdAccepted + "        * Active Channels in DSD Mode: In=2 | Out=0\n" + allClocks, true, false},
        {"accepted, negative outputs", [](FakeScript& s) { s.dsd.outputCount = INT32_MIN; },
         dsdAccepted + "        * Active Channels in DSD Mode: In=2 | Out=-2147483648\n" + allClocks, true, false},
        {"accepted, packing query fails", [](FakeScript& s) { s.dsd.outputs[0].result = -998; },
         dsdAccepted + channels + allClocks, true, true},
        {"accepted, unknown packing", [](FakeScript& s) { s.dsd.outputs[0].type = 99; },
         dsdAccepted + channels + "        * Native DSD Packing Type: Unknown Type (99)\n" + allClocks, true, true},
        {"accepted, switch back refused", [](FakeScript& s) { s.toPcmResult = -998; },
         dsdAccepted + channels + packing + allClocks, true, true},
        {"refused, 176.4 kHz supported",
         [](FakeScript& s) {
             s.toDsdResult = -998;
             s.pcm.rates = {176400};
         },
         dsdRejected + dopNote, false, false},
        {"refused, 176.4 kHz not supported", [](FakeScript& s) { s.toDsdResult = -1000; }, dsdRejected + noDop, false,
         false},
        {"ASE_OK is a refusal", [](FakeScript& s) { s.toDsdResult = ASE_OK; }, dsdRejected + noDop, false, false},
    };
    for (const DsdCase& c : cases) {
        SCOPED_TRACE(c.name);
        memory::reset();
        FakeScript script = dsdDriver();
        c.script(script);
        auto log = installFakeDriver(1, "Dsd", std::nullopt, script);
        const std::string out = reportDriverNamed("Dsd").out;
        const std::size_t heading = out.find(dsdHeading);
        ASSERT_NE(heading, std::string::npos);
        EXPECT_EQ(out.substr(heading + dsdHeading.size()), c.section);

        const auto count = [&log](const std::string& call) {
            return std::count(log->calls.begin(), log->calls.end(), call);
        };
        EXPECT_EQ(count("future(kAsioSetIoFormat,1)"), 1);
        EXPECT_EQ(count("future(kAsioSetIoFormat,0)"), c.switchedBack ? 1 : 0);
        // The PCM outputs are none, so any output channel query is the
        // packing query.
        EXPECT_EQ(count("getChannelInfo(0,out)"), c.packingQueried ? 1 : 0);
        // A refusal asks for 176.4 kHz a second time; the switch back is
        // the last call before the release.
        EXPECT_EQ(count("canSampleRate(176400)"), c.switchedBack ? 1 : 2);
        if (c.switchedBack) {
            EXPECT_EQ(log->calls.at(log->calls.size() - 2), "future(kAsioSetIoFormat,0)");
        }
        EXPECT_EQ(log->live, 0);
    }
}

TEST_F(RateProbeTest, WithoutActiveDriverNothingIsAccepted)
{
    StreamCapture capture;
    probePcmRates();
    probeDsd();
    EXPECT_EQ(capture.out(), "\n    Supported Hardware PCM Sample Rates:\n" + dsdHeading + dsdRejected + noDop);
}

} // namespace
