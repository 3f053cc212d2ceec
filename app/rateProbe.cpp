// The sample-rate and DSD sections of a driver's report. The DSD probe is
// the one request that changes a driver's configuration: a driver that
// accepts the switch to DSD is always switched back to PCM.
#include <iostream>

#include "app/rateProbe.h"
#include "app/sampleTypeName.h"
#include "driver/asioCalls.h"

namespace {

constexpr ASIOSampleRate pcmProbeRates[] = {44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};

struct DsdClockProbe {
    ASIOSampleRate rate;
    const char* label;
};

constexpr DsdClockProbe dsdClockProbes[] = {
    {2822400, "DSD64 (2.82 MHz)"},
    {5644800, "DSD128 (5.64 MHz)"},
    {11289600, "DSD256 (11.28 MHz)"},
    {22579200, "DSD512 (22.57 MHz)"},
};

// A rate that suggests DSD over PCM where native DSD is refused.
constexpr ASIOSampleRate dopHintRate = 176400;

ASIOError requestFormat(ASIOIoFormat& format, std::int32_t formatType)
{
    format = ASIOIoFormat{};
    format.FormatType = formatType;
    return ASIOFuture(kAsioSetIoFormat, &format);
}

void reportDsdMode()
{
    std::int32_t inputs = 0, outputs = 0;
    if (ASIOGetChannels(&inputs, &outputs) == ASE_OK) {
        std::cout << "        * Active Channels in DSD Mode: In=" << inputs << " | Out=" << outputs << std::endl;
        if (outputs > 0) {
            ASIOChannelInfo info{};
            info.channel = 0;
            info.isInput = 0;
            if (ASIOGetChannelInfo(&info) == ASE_OK)
                std::cout << "        * Native DSD Packing Type: " << sampleTypeName(info.type) << std::endl;
        }
    }
    for (const DsdClockProbe& probe : dsdClockProbes)
        if (ASIOCanSampleRate(probe.rate) == ASE_OK)
            std::cout << "        * Clock Support Verified: " << probe.label << std::endl;
}

} // namespace

void probePcmRates()
{
    std::cout << "\n    Supported Hardware PCM Sample Rates:" << std::endl;
    for (ASIOSampleRate rate : pcmProbeRates)
        if (ASIOCanSampleRate(rate) == ASE_OK)
            std::cout << "        * " << rate << " Hz (PCM)" << std::endl;
}

void probeDsd()
{
    std::cout << "\n    Direct Stream Digital (DSD) Capabilities:" << std::endl;
    ASIOIoFormat format;
    if (requestFormat(format, kASIODSDFormat) == ASE_SUCCESS) {
        std::cout << "        * [SUCCESS] Native DSD Mode Switch: SUPPORTED" << std::endl;
        reportDsdMode();
        requestFormat(format, kASIOPCMFormat);
        return;
    }
    std::cout << "        * Native DSD mode switch rejected by driver." << std::endl;
    if (ASIOCanSampleRate(dopHintRate) == ASE_OK)
        std::cout << "        * [i] Note: Device supports 176.4 kHz clocks. DSD playback is likely handled via DoP "
                     "(DSD over PCM) encapsulation."
                  << std::endl;
    else
        std::cout << "        * Native DSD & DoP wrappers appear unsupported on this interface profile." << std::endl;
}
