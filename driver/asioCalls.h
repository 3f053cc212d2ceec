// The host's calls on the one active driver (activeDriver, which the
// driver manager sets). Each forwards to the driver when one is active;
// with none, it returns ASE_NotPresent and sets its outputs to fixed
// values without touching any driver. Nothing here releases a driver:
// that is the driver manager's.
#pragma once

#include <cstdint>

#include "driver/driverManager.h"

// Initialises the active driver with info->sysRef and fills name,
// driverVersion and errorMessage. When the driver's init fails, its error
// message is kept and activeDriver is cleared, while the driver manager
// still holds the object.
ASIOError ASIOInit(ASIODriverInfo* info);

// Closes the active driver through the driver manager.
ASIOError ASIOExit();

ASIOError ASIOGetBufferSize(std::int32_t* minSize, std::int32_t* maxSize, std::int32_t* preferredSize,
                            std::int32_t* granularity);
ASIOError ASIOGetLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency);
ASIOError ASIOGetChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels);
ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info);
ASIOError ASIOCanSampleRate(ASIOSampleRate sampleRate);
ASIOError ASIOFuture(std::int32_t selector, void* parameter);
