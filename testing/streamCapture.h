// Redirects standard output and standard error into strings, or both into
// one, and gives standard input the characters of input, for as long as it
// lives.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

class StreamCapture {
public:
    explicit StreamCapture(const std::string& input = "", bool combined = false)
        : inText(input)
        , savedOut(std::cout.rdbuf(outText.rdbuf()))
        , savedErr(std::cerr.rdbuf(combined ? outText.rdbuf() : errText.rdbuf()))
        , savedIn(std::cin.rdbuf(inText.rdbuf()))
    {
    }

    ~StreamCapture()
    {
        std::cout.rdbuf(savedOut);
        std::cerr.rdbuf(savedErr);
        std::cin.rdbuf(savedIn);
        std::cin.clear();
    }

    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    std::string out() const { return outText.str(); }
    std::string err() const { return errText.str(); }
    // What standard input has not given out yet.
    std::string unread() { return inText.str().substr(static_cast<std::size_t>(inText.tellg())); }

private:
    std::ostringstream outText;
    std::ostringstream errText;
    std::istringstream inText;
    std::streambuf* savedOut;
    std::streambuf* savedErr;
    std::streambuf* savedIn;
};
