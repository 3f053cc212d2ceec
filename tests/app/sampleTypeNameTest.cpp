#include <gtest/gtest.h>

#include <climits>

#include "app/sampleTypeName.h"

namespace {

TEST(SampleTypeNameTest, EveryCodeWithATextAndTheirNeighbours)
{
    const std::pair<ASIOSampleType, const char*> cases[] = {
        {0, "Int16 MSB"},
        {1, "Int24 MSB (or 20-bit)"},
        {2, "Int32 MSB"},
        {3, "Float32 MSB (IEEE Float)"},
        {4, "Float64 MSB (IEEE Double)"},
        {5, "Unknown Type (5)"},
        {7, "Unknown Type (7)"},
        {8, "Int32 MSB (16-bit aligned)"},
        {9, "Int32 MSB (18-bit aligned)"},
        {10, "Int32 MSB (20-bit aligned)"},
        {11, "Int32 MSB (24-bit aligned)"},
        {12, "Unknown Type (12)"},
        {15, "Unknown Type (15)"},
        {16, "Int16 LSB"},
        {17, "Int24 LSB (or 20-bit)"},
        {18, "Int32 LSB"},
        {19, "Float32 LSB (IEEE Float)"},
        {20, "Float64 LSB (IEEE Double)"},
        {21, "Unknown Type (21)"},
        {23, "Unknown Type (23)"},
        {24, "Int32 LSB (16-bit aligned)"},
        {25, "Int32 LSB (18-bit aligned)"},
        {26, "Int32 LSB (20-bit aligned)"},
        {27, "Int32 LSB (24-bit aligned)"},
        {28, "Unknown Type (28)"},
        {31, "Unknown Type (31)"},
        {32, "DSD 1-bit (8 samples/byte, LSB first)"},
        {33, "DSD 1-bit (8 samples/byte, MSB first)"},
        {34, "Unknown Type (34)"},
        {39, "Unknown Type (39)"},
        {40, "DSD 8-bit (1 sample/byte)"},
        {41, "Unknown Type (41)"},
        {-1, "Unknown Type (-1)"},
        {0x10000, "Unknown Type (65536)"},
        {INT32_MAX, "Unknown Type (2147483647)"},
        {INT32_MIN, "Unknown Type (-2147483648)"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(sampleTypeName(code), text) << code;
}

} // namespace
