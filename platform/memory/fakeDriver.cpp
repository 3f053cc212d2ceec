#include "platform/memory/fakeDriver.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace memory {
namespace {

class FakeDriver final : public IASIO {
public:
    FakeDriver(const FakeScript& script, std::shared_ptr<FakeDriverLog> log)
        : script(script)
        , log(std::move(log))
    {
        ++this->log->created;
        ++this->log->live;
        this->log->inDsd = false;
    }

    HRESULT QueryInterface(const IID&, void** object) override
    {
        record("QueryInterface");
        *object = nullptr;
        return E_NOINTERFACE;
    }

    ULONG AddRef() override
    {
        record("AddRef");
        return static_cast<ULONG>(++references);
    }

    ULONG Release() override
    {
        if (!record("Release"))
            return 0;
        if (--references == 0)
            --log->live;
        return static_cast<ULONG>(references);
    }

    ASIOBool init(void* sysHandle) override
    {
        record(describe("init(", sysHandle == nullptr ? "null" : "window", ")"));
        return script.initResult;
    }

    void getDriverName(char* name) override
    {
        record("getDriverName");
        copyBytes(name, script.driverName, 32);
    }

    std::int32_t getDriverVersion() override
    {
        record("getDriverVersion");
        return script.driverVersion;
    }

    void getErrorMessage(char* text) override
    {
        record("getErrorMessage");
        copyBytes(text, script.errorMessage, 124);
    }

    ASIOError start() override { return unexpected("start"); }
    ASIOError stop() override { return unexpected("stop"); }

    ASIOError getChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels) override
    {
        record("getChannels");
        const FakeFormat& format = current();
        if (format.channelsResult == ASE_OK) {
            *numInputChannels = format.inputCount;
            *numOutputChannels = format.outputCount;
        }
        return format.channelsResult;
    }

    ASIOError getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) override
    {
        record("getLatencies");
        if (script.latenciesResult == ASE_OK) {
            *inputLatency = script.inputLatency;
            *outputLatency = script.outputLatency;
        }
        return script.latenciesResult;
    }

    ASIOError getBufferSize(std::int32_t* minSize, std::int32_t* maxSize, std::int32_t* preferredSize,
                            std::int32_t* granularity) override
    {
        record("getBufferSize");
        if (script.bufferSizeResult == ASE_OK) {
            *minSize = script.minSize;
            *maxSize = script.maxSize;
            *preferredSize = script.preferredSize;
            *granularity = script.granularity;
        }
        return script.bufferSizeResult;
    }

    ASIOError canSampleRate(ASIOSampleRate sampleRate) override
    {
        record(describe("canSampleRate(", sampleRate, ")"));
        return current().rates.count(sampleRate) != 0 ? ASE_OK : noClock;
    }

    ASIOError getSampleRate(ASIOSampleRate*) override { return unexpected("getSampleRate"); }
    ASIOError setSampleRate(ASIOSampleRate) override { return unexpected("setSampleRate"); }
    ASIOError getClockSources(void*, std::int32_t*) override { return unexpected("getClockSources"); }
    ASIOError setClockSource(std::int32_t) override { return unexpected("setClockSource"); }
    ASIOError getSamplePosition(void*, void*) override { return unexpected("getSamplePosition"); }

    ASIOError getChannelInfo(ASIOChannelInfo* info) override
    {
        record(describe("getChannelInfo(", info->channel, info->isInput ? ",in)" : ",out)"));
        const FakeFormat& format = current();
        const std::vector<FakeChannel>& table = info->isInput ? format.inputs : format.outputs;
        if (info->channel < 0 || static_cast<std::size_t>(info->channel) >= table.size())
            return invalidParameter;
        const FakeChannel& channel = table[static_cast<std::size_t>(info->channel)];
        if (channel.result == ASE_OK) {
            info->isActive = channel.isActive;
            info->channelGroup = channel.channelGroup;
            info->type = channel.type;
            copyBytes(info->name, channel.name, sizeof info->name);
        }
        return channel.result;
    }

    ASIOError createBuffers(void*, std::int32_t, std::int32_t, void*) override { return unexpected("createBuffers"); }
    ASIOError disposeBuffers() override { return unexpected("disposeBuffers"); }
    ASIOError controlPanel() override { return unexpected("controlPanel"); }

    ASIOError future(std::int32_t selector, void* parameter) override
    {
        if (selector != kAsioSetIoFormat) {
            record(describe("future(", selector, ")"));
            return invalidParameter;
        }
        const auto* format = static_cast<const ASIOIoFormat*>(parameter);
        const bool reservedZero =
            std::all_of(std::begin(format->reserved), std::end(format->reserved), [](char c) { return c == 0; });
        record(describe("future(kAsioSetIoFormat,", format->FormatType, reservedZero ? ")" : ",reserved set)"));
        if (format->FormatType == kASIODSDFormat) {
            if (script.toDsdResult == ASE_SUCCESS)
                log->inDsd = true;
            return script.toDsdResult;
        }
        if (format->FormatType == kASIOPCMFormat) {
            if (script.toPcmResult == ASE_SUCCESS)
                log->inDsd = false;
            return script.toPcmResult;
        }
        return invalidParameter;
    }

    ASIOError outputReady() override { return unexpected("outputReady"); }

private:
    static constexpr ASIOError invalidParameter = -998;
    static constexpr ASIOError noClock = -995;

    // Logs a call; false when it came after the last Release.
    bool record(const std::string& call)
    {
        if (references == 0) {
            ++log->callsAfterRelease;
            log->calls.push_back("after release: " + call);
            return false;
        }
        log->calls.push_back(call);
        return true;
    }

    ASIOError unexpected(const char* call)
    {
        record(call);
        return ASE_NotPresent;
    }

    template <typename Value>
    static std::string describe(const char* before, const Value& value, const char* after)
    {
        std::ostringstream text;
        text << before << value << after;
        return text.str();
    }

    static void copyBytes(char* field, const std::string& bytes, std::size_t capacity)
    {
        const std::size_t length = std::min(bytes.size() + 1, capacity);
        std::memcpy(field, bytes.c_str(), length);
    }

    const FakeFormat& current() const { return log->inDsd ? script.dsd : script.pcm; }

    const FakeScript script;
    const std::shared_ptr<FakeDriverLog> log;
    int references = 1;
};

struct FakeClass {
    FakeScript script;
    std::shared_ptr<FakeDriverLog> log;
    std::vector<std::unique_ptr<FakeDriver>> objects;
};

} // namespace

std::shared_ptr<FakeDriverLog> registerFakeDriver(const CLSID& clsid, const FakeScript& script)
{
    auto fakeClass = std::make_shared<FakeClass>(FakeClass{script, std::make_shared<FakeDriverLog>(), {}});
    registerClass(clsid, [fakeClass, clsid](const IID& iid, void** object) {
        if (!sameGuid(iid, clsid))
            return E_NOINTERFACE;
        fakeClass->log->calls.push_back("created");
        fakeClass->objects.push_back(std::make_unique<FakeDriver>(fakeClass->script, fakeClass->log));
        *object = static_cast<IASIO*>(fakeClass->objects.back().get());
        return S_OK;
    });
    return fakeClass->log;
}

} // namespace memory
