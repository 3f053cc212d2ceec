// Text from the registry or from a driver, as the report prints it. Such
// text is written by third parties: a control character in it would break
// the report's line or be executed by the terminal.
#pragma once

#include <string>

// text with each control character (0x00 to 0x1F and 0x7F) turned into
// '?'; bytes from 0x80 up, UTF-8 text, stay as they are.
std::string printableText(std::string text);
