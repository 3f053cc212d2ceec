// A scriptable driver whose every answer comes from its script. It logs
// each call, and notes as a "problem" every call a well-behaved host never
// makes and every request a real driver could choke on. Its last Release
// does not free it: a later call is logged, not a use of freed memory.
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
    std::string name; // cut at the field's 32 bytes, then without terminator
};

// What the driver answers while it is in one stream format.
struct Format {
    ASIOError channelsResult = ASE_OK;
    std::int32_t inputCount = 0;
    std::int32_t outputCount = 0;
    std::vector<Channel> inputs; // channel i answers from entry i, or fails
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
    lockHeap, // answers, its own thread keeping the host's heap locked
    ask, // asks its user in a message box, and answers once answered
    freezeWindow, // shows a window, never serves it again, and hangs
    write, // writes the code's lines of 64 bytes to standard output, then answers
    endThreadLoading, // ends its thread with the code, holding the system's loader
    startProcess, // starts a lingering process that inherits handles, then answers
    slowEndsOnInterrupt, // answers after the code's milliseconds; Ctrl+C ends its process
};

// Whether a driver in this trouble answers afterwards, as a driver out of
// trouble would.
bool answersAfter(Trouble trouble);

struct Script {
    std::string label = "fake"; // names the objects in the log
    ASIOBool initResult = 1;
    // Written whole, terminator added, as a driver overrunning a short
    // buffer would.
    std::string errorMessage = "Fake driver error";
    std::string driverName = "Fake Driver";
    std::int32_t driverVersion = 1;

    ASIOError bufferSizeResult = ASE_OK;
    std::int32_t bufferSizes[4] = {64, 2048, 256, 64}; // min, max, preferred, granularity
    ASIOError latenciesResult = ASE_OK;
    std::int32_t latencies[2] = {0, 0};

    // It starts in PCM; only ASE_SUCCESS to a format request switches.
    Format pcm;
    Format dsd;
    ASIOError toDsdResult = ASE_NotPresent;
    ASIOError toPcmResult = ASE_SUCCESS;

    // Where the trouble strikes: a call as the log writes it
    // ("getChannelInfo(1,out)"), an operation ("init"), or "*" for all.
    std::string troubleOn;
    Trouble trouble = Trouble::none;
    std::uint32_t troubleCode = 0;
};

// Carries out a trouble (but recover): the stand-in throws for its guard,
// the test driver DLL does it for real. If it returns, the driver answers.
using TroubleMaker = void (*)(Trouble trouble, std::uint32_t code);

// The events of a run's driver objects, each "label#n: event" (n counts
// objects from 1): "created", each call ("canSampleRate(44100)"),
// "Release -> n", "trouble: ..." as scripted, "problem: ..." for the host.
struct Log {
    std::vector<std::string> events;
    int created = 0;
    int open = 0; // objects holding references and not in trouble
    void (*echo)(const std::string& event) = nullptr; // gets each event too
};

// The host's problems, and each object not in trouble that was not
// released to 0 exactly once.
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
    std::int32_t announced[2] = {-1, -1}; // channels told, by isInput; -1 before
    bool owedPcm = false; // switched to DSD, and not yet asked back
};

} // namespace fake
