// The forms of the lines the program prints, for checking a run's output
// line by line whatever the drivers answered.
#pragma once

#include <string>

// True when line, without its newline, has the form of a line of standard
// output: a heading, a rule, a driver's name or one of the report's lines
// with its numbers, channel name and sample type filled in.
bool isOutputLine(const std::string& line);

// True when line, without its newline, is one of the error lines of
// standard error.
bool isErrorLine(const std::string& line);
