// The audio driver interface as installed drivers implement it, and the
// records and values exchanged through it. Records use 4-byte packing and
// fixed 32-bit integers so that their layout matches the drivers' on every
// compiler and word size.
#pragma once

#include <cstdint>

#include "platform/com.h"

using ASIOBool = std::int32_t;
using ASIOError = std::int32_t;
using ASIOSampleType = std::int32_t;
using ASIOSampleRate = double;

constexpr ASIOError ASE_OK = 0;
constexpr ASIOError ASE_SUCCESS = 0x3f4847a0;
constexpr ASIOError ASE_NotPresent = -1000;

constexpr std::int32_t kAsioSetIoFormat = 0x23111961;
constexpr std::int32_t kASIOPCMFormat = 0;
constexpr std::int32_t kASIODSDFormat = 1;

constexpr ASIOSampleType ASIOSTInt16MSB = 0;
constexpr ASIOSampleType ASIOSTInt24MSB = 1;
constexpr ASIOSampleType ASIOSTInt32MSB = 2;
constexpr ASIOSampleType ASIOSTFloat32MSB = 3;
constexpr ASIOSampleType ASIOSTFloat64MSB = 4;
constexpr ASIOSampleType ASIOSTInt32MSB16 = 8;
constexpr ASIOSampleType ASIOSTInt32MSB18 = 9;
constexpr ASIOSampleType ASIOSTInt32MSB20 = 10;
constexpr ASIOSampleType ASIOSTInt32MSB24 = 11;
constexpr ASIOSampleType ASIOSTInt16LSB = 16;
constexpr ASIOSampleType ASIOSTInt24LSB = 17;
constexpr ASIOSampleType ASIOSTInt32LSB = 18;
constexpr ASIOSampleType ASIOSTFloat32LSB = 19;
constexpr ASIOSampleType ASIOSTFloat64LSB = 20;
constexpr ASIOSampleType ASIOSTInt32LSB16 = 24;
constexpr ASIOSampleType ASIOSTInt32LSB18 = 25;
constexpr ASIOSampleType ASIOSTInt32LSB20 = 26;
constexpr ASIOSampleType ASIOSTInt32LSB24 = 27;
constexpr ASIOSampleType ASIOSTDSDInt8LSB1 = 32;
constexpr ASIOSampleType ASIOSTDSDInt8MSB1 = 33;
constexpr ASIOSampleType ASIOSTDSDInt8NER8 = 40;

#pragma pack(push, 4)

struct ASIODriverInfo {
    std::int32_t asioVersion;
    std::int32_t driverVersion;
    char name[32];
    char errorMessage[124];
    void* sysRef;
};

struct ASIOChannelInfo {
    std::int32_t channel;
    ASIOBool isInput;
    ASIOBool isActive;
    std::int32_t channelGroup;
    ASIOSampleType type;
    char name[32];
};

struct ASIOIoFormat {
    std::int32_t FormatType;
    char reserved[508];
};

#pragma pack(pop)

static_assert(sizeof(ASIODriverInfo) == 164 + sizeof(void*), "ASIODriverInfo layout");
static_assert(sizeof(void*) != 8 || sizeof(ASIODriverInfo) == 172, "ASIODriverInfo on 64-bit");
static_assert(sizeof(void*) != 4 || sizeof(ASIODriverInfo) == 168, "ASIODriverInfo on 32-bit");
static_assert(sizeof(ASIOChannelInfo) == 52, "ASIOChannelInfo layout");
static_assert(sizeof(ASIOIoFormat) == 512, "ASIOIoFormat layout");

// The operations in the order of the drivers' table. The host calls only
// some of them; the rest are declared so that every slot sits where the
// drivers put it. Their record arguments are passed as untyped pointers
// because nothing here builds or reads those records.
struct IASIO : public IUnknown {
    virtual ASIOBool init(void* sysHandle) = 0;
    virtual void getDriverName(char* name) = 0;
    virtual std::int32_t getDriverVersion() = 0;
    virtual void getErrorMessage(char* text) = 0;
    virtual ASIOError start() = 0;
    virtual ASIOError stop() = 0;
    virtual ASIOError getChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels) = 0;
    virtual ASIOError getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) = 0;
    virtual ASIOError getBufferSize(std::int32_t* minSize, std::int32_t* maxSize, std::int32_t* preferredSize,
                                    std::int32_t* granularity) = 0;
    virtual ASIOError canSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError getSampleRate(ASIOSampleRate* sampleRate) = 0;
    virtual ASIOError setSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError getClockSources(void* clocks, std::int32_t* numSources) = 0;
    virtual ASIOError setClockSource(std::int32_t reference) = 0;
    virtual ASIOError getSamplePosition(void* samplePosition, void* timeStamp) = 0;
    virtual ASIOError getChannelInfo(ASIOChannelInfo* info) = 0;
    virtual ASIOError createBuffers(void* bufferInfos, std::int32_t numChannels, std::int32_t bufferSize,
                                    void* callbacks) = 0;
    virtual ASIOError disposeBuffers() = 0;
    virtual ASIOError controlPanel() = 0;
    virtual ASIOError future(std::int32_t selector, void* parameter) = 0;
    virtual ASIOError outputReady() = 0;
};
