// A scriptable driver: a real implementation of the driver interface whose
// every answer comes from its script. It logs each call it receives, and
// it notes as a "problem" every call a well-behaved host never makes, and
// every request a real driver could choke on: one after its last Release
// or after its trouble, one before a successful init (but the error
// message after a failed one), a second init, a channel it did not
// announce in its current format, a format it has none of, a format
// request with reserved bytes set, a switch to DSD while in DSD, a switch
// to PCM without an accepted switch to DSD, a last Release while still
// owed the switch back, an object created while another is still open.
//
// An object is not freed by its last Release: it stays, answering nothing,
// so that a call after the last Release is logged instead of touching
// freed memory. Its owner frees it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "driver/asio.h"

namespace fake {

struct Channel {
    ASIOError result = ASE_OK;
    ASIOSampleType type = ASIOSTInt32LSB;
    // The bytes written into the record's 32-byte name field: longer text
    // is cut at 32 bytes and so carries no terminator.
    std::string name;
};

// What the driver answers while it is in one stream format.
struct Format {
    ASIOError channelsResult = ASE_OK;
    std::int32_t inputCount = 0;
    std::int32_t outputCount = 0;
    // Channel i of a direction answers from entry i; past the table the
    // query fails.
    std::vector<Channel> inputs;
    std::vector<Channel> outputs;
    std::set<double> rates;
};

// What a driver does instead of answering one call.
enum class Trouble {
    none,
    fault, // raises a hardware exception with the code
    recover, // raises an exception, handles it itself, then answers
    hang, // never answers
    hangLoading, // never answers, and holds the system's loader meanwhile
    exitProcess, // ends the process with the code as exit status
    faultOnThread, // waits for a thread of its own, which faults
    overflowStack, // recurses without end
    slow, // answers after the code's milliseconds
};

struct Script {
    // Names the objects in the log.
    std::string label = "fake";
    ASIOBool initResult = 1;
    // The bytes written into the caller's buffer, terminator added, as
    // given: a text longer than the record's field overruns a host that
    // hands the driver the field itself.
    std::string errorMessage = "Fake driver error";
    std::string driverName = "Fake Driver";
    std::int32_t driverVersion = 1;

    ASIOError bufferSizeResult = ASE_OK;
    std::int32_t bufferSizes[4] = {64, 2048, 256, 64}; // min, max, preferred, granularity
    ASIOError latenciesResult = ASE_OK;
    std::int32_t latencies[2] = {0, 0};

    // The driver starts in PCM. Only an answer of ASE_SUCCESS to a format
    // request changes the format.
    Format pcm;
    Format dsd;
    ASIOError toDsdResult = ASE_NotPresent;
    ASIOError toPcmResult = ASE_SUCCESS;

    // The call, as the log writes it ("getChannelInfo(1,out)",
    // "future(kAsioSetIoFormat,1)", "Release", "created"), by its
    // operation alone ("init"), or "*" for every call, where the trouble
    // strikes.
    std::string troubleOn;
    Trouble trouble = Trouble::none;
    std::uint32_t troubleCode = 0;
};

// How the surroundings carry out a driver's trouble (all but recover):
// the stand-in throws what its guard catches, the test driver DLL does it
// for real. It may return, and the driver then answers as usual.
using TroubleMaker = void (*)(Trouble trouble, std::uint32_t code);

// The events of every driver object of one run, each "label#n: event",
// objects numbered from 1 in the order they were created. Events are
// "created", each call with its arguments ("canSampleRate(44100)"),
// "Release -> n" with the count it leaves, "trouble: ..." when an object
// misbehaves as scripted, and "problem: ..." for a host's misstep.
struct Log {
    std::vector<std::string> events;
    int created = 0;
    int open = 0; // objects holding references and not in trouble
    // When set, also receives every event as it is logged.
    void (*echo)(const std::string& event) = nullptr;
};

// What a log's events tell of the host: its problems, and every object
// that was not released exactly once to 0 although it never got into
// trouble.
std::vector<std::string> hostMistakes(const std::vector<std::string>& events);

class Driver final : public IASIO {
public:
    // Starts with one reference, in PCM, and logs "created".
    Driver(Script script, Log& log, TroubleMaker makeTrouble);

    HRESULT STDMETHODCALLTYPE QueryInterface(const IID& iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    ASIOBool init(void* sysHandle) override;
    void getDriverName(char* name) override;
    std::int32_t getDriverVersion() override;
    void getErrorMessage(char* text) override;
    ASIOError start() override { return unexpected("start"); }
    ASIOError stop() override { return unexpected("stop"); }
    ASIOError getChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels) override;
    ASIOError getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) override;
    ASIOError getBufferSize(std::int32_t* minSize, std::int32_t* maxSize, std::int32_t* preferredSize,
                            std::int32_t* granularity) override;
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getSampleRate(ASIOSampleRate*) override { return unexpected("getSampleRate"); }
    ASIOError setSampleRate(ASIOSampleRate) override { return unexpected("setSampleRate"); }
    ASIOError getClockSources(void*, std::int32_t*) override { return unexpected("getClockSources"); }
    ASIOError setClockSource(std::int32_t) override { return unexpected("setClockSource"); }
    ASIOError getSamplePosition(void*, void*) override { return unexpected("getSamplePosition"); }
    ASIOError getChannelInfo(ASIOChannelInfo* info) override;
    ASIOError createBuffers(void*, std::int32_t, std::int32_t, void*) override { return unexpected("createBuffers"); }
    ASIOError disposeBuffers() override { return unexpected("disposeBuffers"); }
    ASIOError controlPanel() override { return unexpected("controlPanel"); }
    ASIOError future(std::int32_t selector, void* parameter) override;
    ASIOError outputReady() override { return unexpected("outputReady"); }

private:
    bool enter(const std::string& call);
    void switchFormat(bool toDsd);
    void note(const std::string& event);
    ASIOError unexpected(const char* call);
    const Format& current() const { return inDsd ? script.dsd : script.pcm; }

    const Script script;
    Log& log;
    const TroubleMaker makeTrouble;
    const int number;
    int references = 1;
    bool inTrouble = false;
    enum class Readiness { fresh, ready, failed } readiness = Readiness::fresh;
    bool inDsd = false;
    // The output and input counts the host was told in the current format
    // (index: isInput), -1 before; it asks for no other channel.
    std::int32_t announced[2] = {-1, -1};
    bool owedPcm = false; // switched to DSD, and not yet asked back
};

} // namespace fake
