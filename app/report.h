// The per-driver report and its sections. Every line goes to standard
// output, or to standard error for the lines that report a failure, and is
// ended with a newline and a flush.
#pragma once

#include <cstdint>

// Opens the named driver, reports it, and closes it again. No driver is
// current before or after.
void reportDriver(const char* name);

// Buffer-size limits, hardware latencies, the channel layout and each
// channel's name and sample type.
void reportBuffersAndChannels();

// One direction's heading and the lines of its channels 0 to count - 1.
void reportChannelDetails(bool isInput, std::int32_t count);

// Which of eight common PCM rates the driver accepts.
void probePcmRates();

// Whether the driver switches to native DSD, and what it offers there; a
// driver that switched is switched back to PCM.
void probeDsd();
