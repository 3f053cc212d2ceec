#include "platform/memory/fakeDriver.h"

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace memory {
namespace {

constexpr ASIOError invalidParameter = -998;

template <typename Value>
std::string describe(const char* before, const Value& value, const char* after)
{
    std::ostringstream text;
    text << std::setprecision(12) << before << value << after;
    return text.str();
}

// Whether a script's call text names a logged call: the whole call, or its
// operation alone ("init" names "init(null)").
bool names(const std::string& scripted, const std::string& call)
{
    return !scripted.empty() && (call == scripted || call.rfind(scripted + "(", 0) == 0);
}

// Writes bytes and their terminator into a field, cut at its capacity.
void copyBytes(char* field, const std::string& bytes, std::size_t capacity)
{
    std::memcpy(field, bytes.c_str(), std::min(bytes.size() + 1, capacity));
}

} // namespace

FakeDriver::FakeDriver(FakeScript script, std::shared_ptr<FakeDriverLog> log)
    : script(std::move(script))
    , log(std::move(log))
{
    ++this->log->created;
    ++this->log->live;
    this->log->inDsd = false;
    record("created");
}

HRESULT STDMETHODCALLTYPE FakeDriver::QueryInterface(const IID&, void** object)
{
    record("QueryInterface");
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE FakeDriver::AddRef()
{
    if (!record("AddRef"))
        return 0;
    return static_cast<ULONG>(++references);
}

ULONG STDMETHODCALLTYPE FakeDriver::Release()
{
    if (references == 0 || script.faultOn == "Release") {
        record("Release");
        return 0;
    }
    if (--references == 0)
        --log->live;
    log->calls.push_back(describe("Release -> ", references, ""));
    if (log->echo)
        log->echo(log->calls.back());
    return static_cast<ULONG>(references);
}

ASIOBool FakeDriver::init(void* sysHandle)
{
    record(sysHandle == nullptr ? "init(null)" : "init(window)");
    return script.initResult;
}

void FakeDriver::getDriverName(char* name)
{
    record("getDriverName");
    copyBytes(name, script.driverName, 32);
}

std::int32_t FakeDriver::getDriverVersion()
{
    record("getDriverVersion");
    return script.driverVersion;
}

void FakeDriver::getErrorMessage(char* text)
{
    record("getErrorMessage");
    copyBytes(text, script.errorMessage, 124);
}

ASIOError FakeDriver::start()
{
    return unexpected("start");
}

ASIOError FakeDriver::stop()
{
    return unexpected("stop");
}

ASIOError FakeDriver::getChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels)
{
    record("getChannels");
    const FakeFormat& format = current();
    if (format.channelsResult == ASE_OK) {
        *numInputChannels = format.inputCount;
        *numOutputChannels = format.outputCount;
    }
    return format.channelsResult;
}

ASIOError FakeDriver::getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency)
{
    record("getLatencies");
    if (script.latenciesResult == ASE_OK) {
        *inputLatency = script.inputLatency;
        *outputLatency = script.outputLatency;
    }
    return script.latenciesResult;
}

ASIOError FakeDriver::getBufferSize(std::int32_t* minSize, std::int32_t* maxSize, std::int32_t* preferredSize,
                                    std::int32_t* granularity)
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

ASIOError FakeDriver::canSampleRate(ASIOSampleRate sampleRate)
{
    record(describe("canSampleRate(", sampleRate, ")"));
    const FakeFormat& format = current();
    return format.rates.count(sampleRate) != 0 ? ASE_OK : format.rateRefusal;
}

ASIOError FakeDriver::getSampleRate(ASIOSampleRate*)
{
    return unexpected("getSampleRate");
}

ASIOError FakeDriver::setSampleRate(ASIOSampleRate)
{
    return unexpected("setSampleRate");
}

ASIOError FakeDriver::getClockSources(void*, std::int32_t*)
{
    return unexpected("getClockSources");
}

ASIOError FakeDriver::setClockSource(std::int32_t)
{
    return unexpected("setClockSource");
}

ASIOError FakeDriver::getSamplePosition(void*, void*)
{
    return unexpected("getSamplePosition");
}

ASIOError FakeDriver::getChannelInfo(ASIOChannelInfo* info)
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

ASIOError FakeDriver::createBuffers(void*, std::int32_t, std::int32_t, void*)
{
    return unexpected("createBuffers");
}

ASIOError FakeDriver::disposeBuffers()
{
    return unexpected("disposeBuffers");
}

ASIOError FakeDriver::controlPanel()
{
    return unexpected("controlPanel");
}

ASIOError FakeDriver::future(std::int32_t selector, void* parameter)
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

ASIOError FakeDriver::outputReady()
{
    return unexpected("outputReady");
}

// Logs a call; false when it came after the last Release.
bool FakeDriver::record(const std::string& call)
{
    if (references == 0) {
        ++log->callsAfterRelease;
        log->calls.push_back("after release: " + call);
    } else {
        log->calls.push_back(call);
    }
    if (log->echo)
        log->echo(log->calls.back());
    if (references != 0 && names(script.faultOn, call))
        raiseDriverFault(script.faultCode);
    if (names(script.recoverOn, call)) {
        try {
            throw std::runtime_error(call);
        } catch (const std::runtime_error&) {
            record("recovered in " + call);
        }
    }
    return references != 0;
}

ASIOError FakeDriver::unexpected(const char* call)
{
    record(call);
    return ASE_NotPresent;
}

const FakeFormat& FakeDriver::current() const
{
    return log->inDsd ? script.dsd : script.pcm;
}

} // namespace memory
