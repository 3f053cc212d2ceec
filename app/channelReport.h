// The buffer, latency and channel sections of a driver's report.
#pragma once

// Buffer-size limits, hardware latencies, the channel layout and each
// channel's name and sample type.
void reportBuffersAndChannels();
