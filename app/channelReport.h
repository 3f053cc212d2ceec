// The buffer, latency and channel sections of a driver's report, each a
// function of its own, called in the report's order.
#pragma once

// "Buffer Size Limits:": the driver's buffer sizes.
void reportBufferSizes();

// "Hardware Latency:": the input and output latencies.
void reportLatencies();

// "Channel Layout:" and each channel's name and sample type; nothing when
// the driver cannot count its channels.
void reportChannels();
