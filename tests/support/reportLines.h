// The report's fixed lines as the tests expect them, each with its
// newline, and the leading line feed of those that begin with one.
#pragma once

#include <string>

namespace reportLines {

inline const std::string rule = "\n---------------------------------------------------------\n";
inline const std::string inputHeading = "\n    --- Input Channel Details ---\n";
inline const std::string outputHeading = "\n    --- Output Channel Details ---\n";
inline const std::string pcmHeading = "\n    Supported Hardware PCM Sample Rates:\n";
inline const std::string dsdHeading = "\n    Direct Stream Digital (DSD) Capabilities:\n";
inline const std::string dsdAccepted = "        * [SUCCESS] Native DSD Mode Switch: SUPPORTED\n";
inline const std::string dsdRejected = "        * Native DSD mode switch rejected by driver.\n";
inline const std::string dopNote =
    "        * [i] Note: Device supports 176.4 kHz clocks. DSD playback is likely handled via DoP "
    "(DSD over PCM) encapsulation.\n";
inline const std::string noDop = "        * Native DSD & DoP wrappers appear unsupported on this interface profile.\n";

} // namespace reportLines
