// A scriptable driver for the in-memory stand-in: a real implementation of
// the driver interface whose every answer is set by its script, and which
// logs each call it receives. Objects are never freed while their class is
// registered, so a call after the last Release is logged instead of
// touching freed memory.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "driver/asio.h"
#include "platform/memory/memoryPlatform.h"

namespace memory {

struct FakeChannel {
    ASIOError result = ASE_OK;
    ASIOBool isActive = 0;
    std::int32_t channelGroup = 0;
    ASIOSampleType type = ASIOSTInt32LSB;
    // The bytes written into the record's 32-byte name field, as given:
    // longer text is cut at 32 bytes and may carry no terminator.
    std::string name;
};

// What the driver answers while it is in one stream format.
struct FakeFormat {
    ASIOError channelsResult = ASE_OK;
    std::int32_t inputCount = 0;
    std::int32_t outputCount = 0;
    // Channel i of a direction answers from entry i; past the table the
    // query fails.
    std::vector<FakeChannel> inputs;
    std::vector<FakeChannel> outputs;
    std::set<double> rates;
};

struct FakeScript {
    ASIOBool initResult = 1;
    std::string errorMessage = "Fake driver error";
    std::string driverName = "Fake Driver";
    std::int32_t driverVersion = 1;

    ASIOError bufferSizeResult = ASE_OK;
    std::int32_t minSize = 64;
    std::int32_t maxSize = 2048;
    std::int32_t preferredSize = 256;
    std::int32_t granularity = 64;

    ASIOError latenciesResult = ASE_OK;
    std::int32_t inputLatency = 0;
    std::int32_t outputLatency = 0;

    FakeFormat pcm;
    FakeFormat dsd;
    // Answers to the request for DSD and to the request back to PCM. Only
    // ASE_SUCCESS changes the format.
    ASIOError toDsdResult = ASE_SUCCESS;
    ASIOError toPcmResult = ASE_SUCCESS;
};

// The objects of one registered class and everything they were asked.
struct FakeDriverLog {
    std::vector<std::string> calls;
    int created = 0;
    int live = 0; // objects holding references
    int callsAfterRelease = 0;
    bool inDsd = false; // the format the last object was left in
};

// Registers a fake driver class under clsid; every object created from it
// follows script and logs into the returned log.
std::shared_ptr<FakeDriverLog> registerFakeDriver(const CLSID& clsid, const FakeScript& script);

} // namespace memory
