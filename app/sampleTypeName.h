#pragma once

#include <string>

#include "driver/asio.h"

// The display text of a sample type code; codes without a text of their
// own read "Unknown Type (code)".
std::string sampleTypeName(ASIOSampleType type);
