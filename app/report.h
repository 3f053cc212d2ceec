// The per-driver report and its sections. Every line goes to standard
// output, or to standard error for the lines that report a failure, and is
// ended with a newline and a flush.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com.h"

// Prints the report's header, then reports the driver in a child process
// of its own, or on a thread of this one when no child can. The child of
// the driver to report next, when named, starts meanwhile.
void reportDriver(const char* name, const char* nextName = nullptr);

// Opens the named driver, reports it after its header, and closes it
// again; a driver that crashes ends its report with crashLine. No driver
// is current before or after.
void reportDriverInProcess(const char* name);

// The line that ends the report of a driver that crashed where it says,
// "in getChannels" or "after getChannels".
std::string crashLine(const std::string& where, std::uint32_t code);

// A report child's whole run: reports the driver named name, of class
// clsid, when its turn comes, and returns the exit status.
int reportAsChild(const char* name, const CLSID& clsid);

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
