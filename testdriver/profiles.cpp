#include "testdriver/profiles.h"

#include <string>

#include <windows.h>

using memory::FakeChannel;
using memory::FakeScript;

namespace {

// The class ids differ only in their last byte.
constexpr CLSID classId(unsigned char number)
{
    return CLSID{0x7E57A5D0, 0x0000, 0x4E57, {0xA5, 0xD0, 0x00, 0x00, 0x00, 0x00, 0x00, number}};
}

FakeChannel channel(ASIOSampleType type, const std::string& name, std::int32_t group = 0)
{
    FakeChannel result;
    result.type = type;
    result.name = name;
    result.channelGroup = group;
    return result;
}

// Several named channels of varied sample types, common PCM rates, and a
// native DSD mode with its own channels, packing type and clocks.
FakeScript dsdInterface()
{
    FakeScript script;
    script.driverName = "Test Interface DSD";
    script.driverVersion = 3;
    script.minSize = 32;
    script.maxSize = 2048;
    script.preferredSize = 256;
    script.granularity = 32;
    script.inputLatency = 288;
    script.outputLatency = 320;
    script.pcm.inputCount = 4;
    script.pcm.outputCount = 4;
    script.pcm.inputs = {channel(ASIOSTInt32LSB, "Mic/Line 1"), channel(ASIOSTInt32LSB, "Mic/Line 2"),
                         channel(ASIOSTInt24LSB, "S/PDIF In L", 1), channel(ASIOSTInt24LSB, "S/PDIF In R", 1)};
    script.pcm.outputs = {channel(ASIOSTInt32LSB, "Main Out L"), channel(ASIOSTInt32LSB, "Main Out R"),
                          channel(ASIOSTFloat32LSB, "Phones L", 1), channel(ASIOSTFloat32LSB, "Phones R", 1)};
    script.pcm.rates = {44100, 48000, 88200, 96000, 176400, 192000};
    script.dsd.inputCount = 2;
    script.dsd.outputCount = 2;
    script.dsd.inputs = {channel(ASIOSTDSDInt8MSB1, "DSD In L"), channel(ASIOSTDSDInt8MSB1, "DSD In R")};
    script.dsd.outputs = {channel(ASIOSTDSDInt8MSB1, "DSD Out L"), channel(ASIOSTDSDInt8MSB1, "DSD Out R")};
    script.dsd.rates = {2822400, 5644800, 11289600};
    script.toDsdResult = ASE_SUCCESS;
    return script;
}

// A stereo interface that refuses DSD.
FakeScript pcmInterface()
{
    FakeScript script;
    script.driverName = "Test Interface PCM";
    script.driverVersion = 2;
    script.inputLatency = 512;
    script.outputLatency = 544;
    script.pcm.inputCount = 2;
    script.pcm.outputCount = 2;
    script.pcm.inputs = {channel(ASIOSTInt24LSB, "Input 1"), channel(ASIOSTInt24LSB, "Input 2")};
    script.pcm.outputs = {channel(ASIOSTInt24LSB, "Output 1"), channel(ASIOSTInt24LSB, "Output 2")};
    script.pcm.rates = {44100, 48000, 96000};
    return script;
}

// A microphone: one input, no output, one rate and one buffer size.
FakeScript usbMicrophone()
{
    FakeScript script;
    script.driverName = "Test USB Microphone";
    script.minSize = 480;
    script.maxSize = 480;
    script.preferredSize = 480;
    script.granularity = 0;
    script.inputLatency = 960;
    script.pcm.inputCount = 1;
    script.pcm.inputs = {channel(ASIOSTInt16LSB, "Mic")};
    script.pcm.rates = {48000};
    return script;
}

FakeScript initFails()
{
    FakeScript script;
    script.driverName = "Test Unplugged Interface";
    script.initResult = 0;
    script.errorMessage = "Device not connected";
    return script;
}

// Every query fails; only init, the name and the version answer.
FakeScript queriesFail()
{
    FakeScript script;
    script.driverName = "Test Failing Queries";
    script.bufferSizeResult = ASE_NotPresent;
    script.latenciesResult = ASE_NotPresent;
    script.pcm.channelsResult = ASE_NotPresent;
    return script;
}

// Answers that a host must print as given or survive: negative numbers,
// granularity -1, a negative channel count, a failing channel, channels
// past the table, unknown sample types, and a name that fills its field
// with no terminator.
FakeScript oddAnswers()
{
    FakeScript script;
    script.driverName = "Test Odd Answers, A Name Past 32 Bytes";
    script.driverVersion = -2;
    script.minSize = -64;
    script.maxSize = 0;
    script.preferredSize = 4096;
    script.granularity = -1;
    script.inputLatency = -1;
    script.outputLatency = -256;
    FakeChannel failing = channel(ASIOSTInt32LSB, "Never Shown");
    failing.result = ASE_NotPresent;
    // 40 bytes: the field holds the first 32 and no terminator.
    const std::string longName = "Input Whose Name Is Forty Bytes Long!!!!";
    script.pcm.inputs = {channel(99, "Unknown Type 99"), failing, channel(-5, longName)};
    // The fourth input is past the table, so its query fails too.
    script.pcm.inputCount = 4;
    script.pcm.outputCount = -2;
    script.pcm.rates = {44100};
    return script;
}

// Answers ASE_OK, not ASE_SUCCESS, to the DSD request: not a switch.
FakeScript dsdAnsweredOk()
{
    FakeScript script = pcmInterface();
    script.driverName = "Test DSD Answered OK";
    script.dsd = dsdInterface().dsd;
    script.toDsdResult = ASE_OK;
    return script;
}

// Switches to DSD and refuses to switch back.
FakeScript stuckInDsd()
{
    FakeScript script = dsdInterface();
    script.driverName = "Test Stuck In DSD";
    script.toPcmResult = ASE_NotPresent;
    return script;
}

// A driver that faults in call, with exception code, instead of answering.
FakeScript faultsIn(FakeScript script, const char* name, const char* call, std::uint32_t code)
{
    script.driverName = name;
    script.faultOn = call;
    script.faultCode = code;
    return script;
}

// Raises an exception and handles it itself inside a query: nothing the
// host may notice.
FakeScript recoversItself()
{
    FakeScript script = pcmInterface();
    script.driverName = "Test Recovering Interface";
    script.recoverOn = "getBufferSize";
    return script;
}

std::vector<Profile> makeProfiles()
{
    return {
        {"dsd", classId(1), "Test Interface DSD", dsdInterface()},
        {"pcm", classId(2), "Test Interface PCM", pcmInterface()},
        {"mic", classId(3), "Test USB Microphone", usbMicrophone()},
        {"initfails", classId(4), nullptr, initFails()},
        {"queriesfail", classId(5), nullptr, queriesFail()},
        {"odd", classId(6), nullptr, oddAnswers()},
        {"dsdok", classId(7), nullptr, dsdAnsweredOk()},
        {"stuckdsd", classId(8), nullptr, stuckInDsd()},
        {"crashinit", classId(0x11), nullptr,
         faultsIn(pcmInterface(), "Test Crash In Init", "init", EXCEPTION_ACCESS_VIOLATION)},
        {"crashchannels", classId(0x12), nullptr,
         faultsIn(pcmInterface(), "Test Crash In Channels", "getChannels", EXCEPTION_ACCESS_VIOLATION)},
        {"crashchannelinfo", classId(0x13), nullptr,
         faultsIn(pcmInterface(), "Test Crash In Channel Info", "getChannelInfo(1,out)",
                  EXCEPTION_ILLEGAL_INSTRUCTION)},
        {"crashdsd", classId(0x14), nullptr,
         faultsIn(dsdInterface(), "Test Crash In DSD", "future(kAsioSetIoFormat,1)", EXCEPTION_INT_DIVIDE_BY_ZERO)},
        {"crashpcm", classId(0x15), nullptr,
         faultsIn(dsdInterface(), "Test Crash Back To PCM", "future(kAsioSetIoFormat,0)", EXCEPTION_ACCESS_VIOLATION)},
        {"crashrelease", classId(0x16), nullptr,
         faultsIn(pcmInterface(), "Test Crash In Release", "Release", EXCEPTION_ACCESS_VIOLATION)},
        {"recovers", classId(0x17), nullptr, recoversItself()},
    };
}

} // namespace

const std::vector<Profile>& profiles()
{
    static const std::vector<Profile> table = makeProfiles();
    return table;
}

const Profile* findProfile(const CLSID& clsid)
{
    for (const Profile& profile : profiles())
        if (sameGuid(profile.clsid, clsid))
            return &profile;
    return nullptr;
}
