#include "driver/asioCalls.h"

#include "driver/boundedText.h"
#include "driver/driverGuard.h"

namespace {

// Drivers write their texts into these before the bounded copy into the
// record, so that one writing past the record's field cannot reach the
// fields behind it.
constexpr std::size_t driverTextCapacity = 256;

} // namespace

ASIOError ASIOInit(ASIODriverInfo* info)
{
    info->driverVersion = 0;
    copyText(info->name, "No ASIO Driver");
    if (activeDriver == nullptr)
        return ASE_NotPresent;

    char text[driverTextCapacity] = {};
    if (callDriver("init", [info] { return activeDriver->init(info->sysRef); }) == 0) {
        callDriver("getErrorMessage", [&text] { activeDriver->getErrorMessage(text); });
        copyText(info->errorMessage, text);
        activeDriver = nullptr;
        return ASE_NotPresent;
    }
    copyText(info->errorMessage, "No ASIO Driver Error");
    callDriver("getDriverName", [&text] { activeDriver->getDriverName(text); });
    copyText(info->name, text);
    info->driverVersion = callDriver("getDriverVersion", [] { return activeDriver->getDriverVersion(); });
    return ASE_OK;
}

ASIOError ASIOExit()
{
    if (activeDriver != nullptr)
        driverManager->closeCurrent();
    activeDriver = nullptr;
    return ASE_OK;
}

ASIOError ASIOGetBufferSize(std::int32_t* minSize, std::int32_t* maxSize, std::int32_t* preferredSize,
                            std::int32_t* granularity)
{
    if (activeDriver == nullptr) {
        *minSize = *maxSize = *preferredSize = *granularity = 0;
        return ASE_NotPresent;
    }
    return callDriver("getBufferSize",
                      [&] { return activeDriver->getBufferSize(minSize, maxSize, preferredSize, granularity); });
}

ASIOError ASIOGetLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency)
{
    if (activeDriver == nullptr) {
        *inputLatency = *outputLatency = 0;
        return ASE_NotPresent;
    }
    return callDriver("getLatencies", [&] { return activeDriver->getLatencies(inputLatency, outputLatency); });
}

ASIOError ASIOGetChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels)
{
    if (activeDriver == nullptr) {
        *numInputChannels = *numOutputChannels = 0;
        return ASE_NotPresent;
    }
    return callDriver("getChannels", [&] { return activeDriver->getChannels(numInputChannels, numOutputChannels); });
}

ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info)
{
    if (activeDriver == nullptr) {
        info->channelGroup = -1;
        info->type = ASIOSTInt16MSB;
        copyText(info->name, "None");
        return ASE_NotPresent;
    }
    return callDriver("getChannelInfo", [info] { return activeDriver->getChannelInfo(info); });
}

ASIOError ASIOCanSampleRate(ASIOSampleRate sampleRate)
{
    if (activeDriver == nullptr)
        return ASE_NotPresent;
    return callDriver("canSampleRate", [sampleRate] { return activeDriver->canSampleRate(sampleRate); });
}

ASIOError ASIOFuture(std::int32_t selector, void* parameter)
{
    if (activeDriver == nullptr)
        return ASE_NotPresent;
    return callDriver("future", [selector, parameter] { return activeDriver->future(selector, parameter); });
}
