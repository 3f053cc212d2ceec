#include "reportLineForms.h"

#include <cctype>
#include <cstddef>
#include <set>

#include "app/sampleTypeName.h"

namespace {

// In a form, '#' stands for a decimal integer, '~' for a channel name (up
// to the 32 bytes of its field, none of them a control character), '$'
// for the text of a sample type, which ends the line, '@' for the name of
// a driver operation and '%' for eight upper-case hexadecimal digits.
const char* const outputForms[] = {
    "",
    "Found # ASIO Driver(s)",
    "!!! Error: No ASIO drivers found on this operating system.",
    "---------------------------------------------------------",
    "Driver #",
    "    ASIO Driver Version: #",
    "    Driver Message:      No ASIO Driver Error",
    "    Buffer Size Limits:  Min=# | Max=# | Preferred=# | Granularity=#",
    "    Hardware Latency:    Input=# samples | Output=# samples",
    "    Channel Layout:      Total Inputs=# | Total Outputs=#",
    "    --- Input Channel Details ---",
    "    --- Output Channel Details ---",
    "        In #: [~] | Audio Type: $",
    "        Out #: [~] | Audio Type: $",
    "    Supported Hardware PCM Sample Rates:",
    "        * 44100 Hz (PCM)",
    "        * 48000 Hz (PCM)",
    "        * 88200 Hz (PCM)",
    "        * 96000 Hz (PCM)",
    "        * 176400 Hz (PCM)",
    "        * 192000 Hz (PCM)",
    "        * 352800 Hz (PCM)",
    "        * 384000 Hz (PCM)",
    "    Direct Stream Digital (DSD) Capabilities:",
    "        * [SUCCESS] Native DSD Mode Switch: SUPPORTED",
    "        * Active Channels in DSD Mode: In=# | Out=#",
    "        * Native DSD Packing Type: $",
    "        * Clock Support Verified: DSD64 (2.82 MHz)",
    "        * Clock Support Verified: DSD128 (5.64 MHz)",
    "        * Clock Support Verified: DSD256 (11.28 MHz)",
    "        * Clock Support Verified: DSD512 (22.57 MHz)",
    "        * Native DSD mode switch rejected by driver.",
    ("        * [i] Note: Device supports 176.4 kHz clocks. DSD playback is likely handled via DoP (DSD over PCM) "
     "encapsulation."),
    "        * Native DSD & DoP wrappers appear unsupported on this interface profile.",
    "Press any key to exit...",
};

const char* const errorForms[] = {
    "!!! Error: Could not load driver into memory.",
    "!!! Error: ASIOInit failed.",
    "!!! Error: Driver crashed in @ (exception 0x%).",
};

constexpr std::size_t channelNameField = 32;

bool matchesFrom(const char* form, const std::string& line, std::size_t at);

// Every code with a text of its own lies below 64; any other reads
// "Unknown Type (code)".
bool isSampleTypeText(const std::string& text)
{
    static const std::set<std::string> ownTexts = [] {
        std::set<std::string> texts;
        for (ASIOSampleType type = 0; type < 64; ++type)
            texts.insert(sampleTypeName(type));
        return texts;
    }();
    return ownTexts.count(text) != 0 || matchesFrom("Unknown Type (#)", text, 0);
}

bool isControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
}

bool matchesFrom(const char* form, const std::string& line, std::size_t at)
{
    for (; *form != '\0'; ++form) {
        if (*form == '#') {
            if (at < line.size() && line[at] == '-')
                ++at;
            const std::size_t digits = at;
            while (at < line.size() && line[at] >= '0' && line[at] <= '9')
                ++at;
            if (at == digits)
                return false;
        } else if (*form == '~') {
            for (std::size_t end = at; end <= line.size() && end - at <= channelNameField; ++end) {
                if (matchesFrom(form + 1, line, end))
                    return true;
                if (end < line.size() && isControl(line[end]))
                    return false;
            }
            return false;
        } else if (*form == '@') {
            const std::size_t start = at;
            while (at < line.size() && std::isalpha(static_cast<unsigned char>(line[at])))
                ++at;
            if (at == start)
                return false;
        } else if (*form == '%') {
            for (int digit = 0; digit < 8; ++digit, ++at)
                if (at >= line.size() || !std::isxdigit(static_cast<unsigned char>(line[at])) ||
                    std::islower(static_cast<unsigned char>(line[at])))
                    return false;
        } else if (*form == '$') {
            return isSampleTypeText(line.substr(at));
        } else {
            if (at >= line.size() || line[at] != *form)
                return false;
            ++at;
        }
    }
    return at == line.size();
}

template <std::size_t count>
bool matchesAny(const char* const (&forms)[count], const std::string& line)
{
    for (const char* form : forms)
        if (matchesFrom(form, line, 0))
            return true;
    return false;
}

} // namespace

bool isOutputLine(const std::string& line)
{
    return matchesAny(outputForms, line);
}

bool isErrorLine(const std::string& line)
{
    return matchesAny(errorForms, line);
}
