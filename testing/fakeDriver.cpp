#include "testing/fakeDriver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>

namespace fake {
namespace {

constexpr ASIOError invalidParameter = -998;

std::string describe(const char* before, double value, const char* after)
{
    char number[32];
    std::snprintf(number, sizeof number, "%.12g", value);
    return before + std::string(number) + after;
}

void copyBytes(char* field, const std::string& bytes, std::size_t capacity)
{
    std::memcpy(field, bytes.c_str(), std::min(bytes.size() + 1, capacity));
}

} // namespace

std::vector<std::string> hostMistakes(const std::vector<std::string>& events)
{
    std::vector<std::string> mistakes;
    std::map<std::string, int> releases; // per object not in trouble
    for (const std::string& line : events) {
        const std::string object = line.substr(0, line.find(": "));
        const std::string event = line.substr(std::min(line.size(), object.size() + 2));
        if (event.rfind("problem: ", 0) == 0)
            mistakes.push_back(line);
        else if (event == "created")
            releases[object] = 0;
        else if (event.rfind("trouble: ", 0) == 0)
            releases.erase(object);
        else if (event == "Release -> 0" && releases.count(object) != 0)
            ++releases[object];
    }
    for (const auto& [object, count] : releases)
        if (count != 1)
            mistakes.push_back(object + ": released to 0 " + std::to_string(count) + " times");
    return mistakes;
}

Driver::Driver(Script script, Log& log, TroubleMaker makeTrouble)
    : script(std::move(script))
    , log(log)
    , makeTrouble(makeTrouble)
    , number(++log.created)
{
    const int othersOpen = log.open++;
    enter("created");
    if (othersOpen != 0)
        note("problem: created while another driver is open");
}

HRESULT STDMETHODCALLTYPE Driver::QueryInterface(const IID&, void** object)
{
    unexpected("QueryInterface");
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE Driver::AddRef()
{
    unexpected("AddRef");
    return references == 0 ? 0 : static_cast<ULONG>(++references);
}

ULONG STDMETHODCALLTYPE Driver::Release()
{
    if (!enter("Release"))
        return 0;
    if (--references == 0) {
        --log.open;
        if (owedPcm)
            note("problem: released while left in DSD");
    }
    note(describe("Release -> ", references, ""));
    return static_cast<ULONG>(references);
}

ASIOBool Driver::init(void* sysHandle)
{
    enter(sysHandle == nullptr ? "init(null)" : "init(window)");
    if (readiness != Readiness::fresh)
        note("problem: initialised twice");
    readiness = script.initResult != 0 ? Readiness::ready : Readiness::failed;
    return script.initResult;
}

void Driver::getDriverName(char* name)
{
    enter("getDriverName");
    copyBytes(name, script.driverName, script.driverName.size() + 1);
}

std::int32_t Driver::getDriverVersion()
{
    enter("getDriverVersion");
    return script.driverVersion;
}

void Driver::getErrorMessage(char* text)
{
    enter("getErrorMessage");
    copyBytes(text, script.errorMessage, script.errorMessage.size() + 1);
}

ASIOError Driver::getChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels)
{
    enter("getChannels");
    const Format& format = current();
    if (format.channelsResult == ASE_OK) {
        *numInputChannels = announced[1] = format.inputCount;
        *numOutputChannels = announced[0] = format.outputCount;
    }
    return format.channelsResult;
}

ASIOError Driver::getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency)
{
    enter("getLatencies");
    if (script.latenciesResult == ASE_OK) {
        *inputLatency = script.latencies[0];
        *outputLatency = script.latencies[1];
    }
    return script.latenciesResult;
}

ASIOError Driver::getBufferSize(std::int32_t* minSize, std::int32_t* maxSize, std::int32_t* preferredSize,
                                std::int32_t* granularity)
{
    enter("getBufferSize");
    if (script.bufferSizeResult == ASE_OK) {
        *minSize = script.bufferSizes[0];
        *maxSize = script.bufferSizes[1];
        *preferredSize = script.bufferSizes[2];
        *granularity = script.bufferSizes[3];
    }
    return script.bufferSizeResult;
}

ASIOError Driver::canSampleRate(ASIOSampleRate sampleRate)
{
    enter(describe("canSampleRate(", sampleRate, ")"));
    const Format& format = current();
    return format.rates.count(sampleRate) != 0 ? ASE_OK : invalidParameter;
}

ASIOError Driver::getChannelInfo(ASIOChannelInfo* info)
{
    const std::string call = describe("getChannelInfo(", info->channel, info->isInput ? ",in)" : ",out)");
    enter(call);
    if ((info->isInput != 0 && info->isInput != 1) || info->channel < 0 || info->channel >= announced[info->isInput])
        note("problem: asked for a channel it did not announce: " + call);
    const std::vector<Channel>& table = info->isInput ? current().inputs : current().outputs;
    if (info->channel < 0 || static_cast<std::size_t>(info->channel) >= table.size())
        return invalidParameter;
    const Channel& channel = table[static_cast<std::size_t>(info->channel)];
    if (channel.result == ASE_OK) {
        info->type = channel.type;
        copyBytes(info->name, channel.name, sizeof info->name);
    }
    return channel.result;
}

ASIOError Driver::future(std::int32_t selector, void* parameter)
{
    if (selector != kAsioSetIoFormat)
        return unexpected(describe("future(", selector, ")").c_str());
    const auto* format = static_cast<const ASIOIoFormat*>(parameter);
    enter(describe("future(kAsioSetIoFormat,", format->FormatType, ")"));
    if (std::any_of(std::begin(format->reserved), std::end(format->reserved), [](char c) { return c != 0; }))
        note("problem: format request with reserved bytes set");
    if (format->FormatType == kASIODSDFormat) {
        if (owedPcm)
            note("problem: DSD requested again before switching back");
        if (script.toDsdResult == ASE_SUCCESS) {
            switchFormat(true);
            owedPcm = true;
        }
        return script.toDsdResult;
    }
    if (format->FormatType != kASIOPCMFormat) {
        note("problem: asked for a format it has none of");
        return invalidParameter;
    }
    if (!owedPcm)
        note("problem: switched to PCM without an accepted switch to DSD");
    owedPcm = false;
    if (script.toPcmResult == ASE_SUCCESS)
        switchFormat(false);
    return script.toPcmResult;
}

bool answersAfter(Trouble trouble)
{
    return trouble == Trouble::slow || trouble == Trouble::ask || trouble == Trouble::write ||
        trouble == Trouble::startProcess || trouble == Trouble::slowEndsOnInterrupt;
}

// Logs a call and plays the trouble; false after the last Release.
bool Driver::enter(const std::string& call)
{
    if (references == 0 || inTrouble) {
        note("problem: called after its " + std::string(inTrouble ? "trouble" : "release") + ": " + call);
        return false;
    }
    note(call);
    // Before a successful init, only the message after a failed one is fair.
    const std::string operation = call.substr(0, call.find('('));
    if (operation != "created" && operation != "init" && operation != "Release" && readiness != Readiness::ready &&
        (readiness == Readiness::fresh || operation != "getErrorMessage"))
        note("problem: called before a successful init: " + call);
    const std::string& on = script.troubleOn; // the whole call, its operation, or "*"
    if ((on != "*" && on != call && on != operation) || script.trouble == Trouble::none)
        return true;
    if (script.trouble == Trouble::recover) {
        try {
            throw std::runtime_error(call);
        } catch (const std::runtime_error&) {
            note("recovered in " + call);
        }
        return true;
    }
    // A driver that answers afterwards is no driver in trouble.
    if (answersAfter(script.trouble)) {
        makeTrouble(script.trouble, script.troubleCode);
        return true;
    }
    // A host abandons a driver in trouble: no call, no release.
    inTrouble = true;
    --log.open;
    note("trouble: " + call);
    makeTrouble(script.trouble, script.troubleCode);
    inTrouble = false;
    ++log.open;
    return true;
}

void Driver::switchFormat(bool toDsd)
{
    inDsd = toDsd;
    // The channels of the other format are not yet known to the host.
    announced[0] = announced[1] = -1;
}

void Driver::note(const std::string& event)
{
    log.events.push_back(script.label + "#" + std::to_string(number) + ": " + event);
    if (log.echo != nullptr)
        log.echo(log.events.back());
}

ASIOError Driver::unexpected(const char* call)
{
    enter(call);
    note(std::string("problem: unexpected call ") + call);
    return ASE_NotPresent;
}

} // namespace fake
