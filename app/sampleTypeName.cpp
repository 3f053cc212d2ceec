#include "app/sampleTypeName.h"

namespace {

struct SampleTypeText {
    ASIOSampleType type;
    const char* text;
};

constexpr SampleTypeText sampleTypeTexts[] = {
    {ASIOSTInt16MSB, "Int16 MSB"},
    {ASIOSTInt24MSB, "Int24 MSB (or 20-bit)"},
    {ASIOSTInt32MSB, "Int32 MSB"},
    {ASIOSTFloat32MSB, "Float32 MSB (IEEE Float)"},
    {ASIOSTFloat64MSB, "Float64 MSB (IEEE Double)"},
    {ASIOSTInt32MSB16, "Int32 MSB (16-bit aligned)"},
    {ASIOSTInt32MSB18, "Int32 MSB (18-bit aligned)"},
    {ASIOSTInt32MSB20, "Int32 MSB (20-bit aligned)"},
    {ASIOSTInt32MSB24, "Int32 MSB (24-bit aligned)"},
    {ASIOSTInt16LSB, "Int16 LSB"},
    {ASIOSTInt24LSB, "Int24 LSB (or 20-bit)"},
    {ASIOSTInt32LSB, "Int32 LSB"},
    {ASIOSTFloat32LSB, "Float32 LSB (IEEE Float)"},
    {ASIOSTFloat64LSB, "Float64 LSB (IEEE Double)"},
    {ASIOSTInt32LSB16, "Int32 LSB (16-bit aligned)"},
    {ASIOSTInt32LSB18, "Int32 LSB (18-bit aligned)"},
    {ASIOSTInt32LSB20, "Int32 LSB (20-bit aligned)"},
    {ASIOSTInt32LSB24, "Int32 LSB (24-bit aligned)"},
    {ASIOSTDSDInt8LSB1, "DSD 1-bit (8 samples/byte, LSB first)"},
    {ASIOSTDSDInt8MSB1, "DSD 1-bit (8 samples/byte, MSB first)"},
    {ASIOSTDSDInt8NER8, "DSD 8-bit (1 sample/byte)"},
};

} // namespace

std::string sampleTypeName(ASIOSampleType type)
{
    for (const SampleTypeText& entry : sampleTypeTexts)
        if (entry.type == type)
            return entry.text;
    return "Unknown Type (" + std::to_string(type) + ")";
}
