// The buffer, latency and channel sections of a driver's report. A query
// that does not succeed leaves out its own line and nothing else.
#include <iostream>
#include <string>

#include "app/channelReport.h"
#include "app/printableText.h"
#include "app/sampleTypeName.h"
#include "driver/asioCalls.h"
#include "driver/boundedText.h"

namespace {

// One direction's heading and the lines of its channels 0 to count - 1.
void reportChannelDetails(bool isInput, std::int32_t count)
{
    std::cout << (isInput ? "\n    --- Input Channel Details ---" : "\n    --- Output Channel Details ---")
              << std::endl;
    for (std::int32_t i = 0; i < count; ++i) {
        // A fresh record per channel, so a driver that answers without
        // filling it shows no other channel's details.
        ASIOChannelInfo info{};
        info.channel = i;
        info.isInput = isInput ? 1 : 0;
        if (ASIOGetChannelInfo(&info) != ASE_OK)
            continue;
        std::cout << (isInput ? "        In " : "        Out ") << i << ": ["
                  << printableText(std::string(info.name, fieldLength(info.name, sizeof info.name)))
                  << "] | Audio Type: " << sampleTypeName(info.type) << std::endl;
    }
}

} // namespace

void reportBufferSizes()
{
    std::int32_t minSize = 0, maxSize = 0, preferredSize = 0, granularity = 0;
    if (ASIOGetBufferSize(&minSize, &maxSize, &preferredSize, &granularity) == ASE_OK)
        std::cout << "    Buffer Size Limits:  Min=" << minSize << " | Max=" << maxSize
                  << " | Preferred=" << preferredSize << " | Granularity=" << granularity << std::endl;
}

void reportLatencies()
{
    std::int32_t inputLatency = 0, outputLatency = 0;
    if (ASIOGetLatencies(&inputLatency, &outputLatency) == ASE_OK)
        std::cout << "    Hardware Latency:    Input=" << inputLatency << " samples | Output=" << outputLatency
                  << " samples" << std::endl;
}

void reportChannels()
{
    std::int32_t inputs = 0, outputs = 0;
    if (ASIOGetChannels(&inputs, &outputs) != ASE_OK)
        return;
    std::cout << "    Channel Layout:      Total Inputs=" << inputs << " | Total Outputs=" << outputs << std::endl;
    reportChannelDetails(true, inputs);
    reportChannelDetails(false, outputs);
}
