// A scriptable driver: a real implementation of the driver interface whose
// every answer is set by its script, and which logs each call it receives
// with its arguments. The stand-in registers it as a driver class; the
// test driver DLL serves it over COM.
//
// An object is not freed by its last Release: it stays, answering nothing,
// so that a call after the last Release is logged instead of touching
// freed memory. Its owner frees it.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "driver/asio.h"

namespace memory {

struct FakeChannel {
    ASIOError result = ASE_OK;
    ASIOBool isActive = 0;
    std::int32_t channelGroup = 0;
    ASIOSampleType type = ASIOSTInt32LSB;
    // The bytes written into the record's 32-byte name field, as given:
    // longer text is cut at 32 bytes and so carries no terminator.
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
    // The answer to a rate not in rates: by default the driver has no
    // clock for it.
    ASIOError rateRefusal = -995;
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

    // The driver starts in PCM. Only an answer of ASE_SUCCESS to a format
    // request changes the format.
    FakeFormat pcm;
    FakeFormat dsd;
    ASIOError toDsdResult = ASE_NotPresent;
    ASIOError toPcmResult = ASE_SUCCESS;

    // The call, as the log writes it ("getChannelInfo(1,out)",
    // "future(kAsioSetIoFormat,1)", "Release") or by its operation alone
    // ("init"), that faults with faultCode instead of answering.
    std::string faultOn;
    std::uint32_t faultCode = 0xC0000005;
    // The call that raises an exception and handles it itself before
    // answering as usual.
    std::string recoverOn;
};

// Raises a driver's fault: the stand-in throws what its guard catches, the
// test driver DLL raises a real hardware exception.
[[noreturn]] void raiseDriverFault(std::uint32_t code);

// What the objects of one driver class were asked. Events are "created",
// the calls with their arguments ("canSampleRate(44100)"), "Release -> n"
// with the count it leaves, and "after release: " before any call made
// once the count reached 0.
struct FakeDriverLog {
    std::vector<std::string> calls;
    int created = 0;
    int live = 0; // objects still holding references
    int callsAfterRelease = 0;
    bool inDsd = false; // the format the latest object is in
    // When set, also receives every event as it is logged.
    std::function<void(const std::string& event)> echo;
};

class FakeDriver final : public IASIO {
public:
    // Starts with one reference, in PCM, and logs "created".
    FakeDriver(FakeScript script, std::shared_ptr<FakeDriverLog> log);

    HRESULT STDMETHODCALLTYPE QueryInterface(const IID& iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    ASIOBool init(void* sysHandle) override;
    void getDriverName(char* name) override;
    std::int32_t getDriverVersion() override;
    void getErrorMessage(char* text) override;
    ASIOError start() override;
    ASIOError stop() override;
    ASIOError getChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels) override;
    ASIOError getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) override;
    ASIOError getBufferSize(std::int32_t* minSize, std::int32_t* maxSize, std::int32_t* preferredSize,
                            std::int32_t* granularity) override;
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getClockSources(void* clocks, std::int32_t* numSources) override;
    ASIOError setClockSource(std::int32_t reference) override;
    ASIOError getSamplePosition(void* samplePosition, void* timeStamp) override;
    ASIOError getChannelInfo(ASIOChannelInfo* info) override;
    ASIOError createBuffers(void* bufferInfos, std::int32_t numChannels, std::int32_t bufferSize,
                            void* callbacks) override;
    ASIOError disposeBuffers() override;
    ASIOError controlPanel() override;
    ASIOError future(std::int32_t selector, void* parameter) override;
    ASIOError outputReady() override;

private:
    bool record(const std::string& call);
    ASIOError unexpected(const char* call);
    const FakeFormat& current() const;

    const FakeScript script;
    const std::shared_ptr<FakeDriverLog> log;
    int references = 1;
};

// Registers a driver class under clsid in the stand-in; every object
// created from it follows script and logs into the returned log. The
// objects live until the stand-in is reset.
std::shared_ptr<FakeDriverLog> registerFakeDriver(const CLSID& clsid, const FakeScript& script);

} // namespace memory
