// Redirects standard output and standard error into strings, and gives
// standard input no characters, for as long as it lives.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

class StreamCapture {
public:
    StreamCapture()
        : savedOut(std::cout.rdbuf(outText.rdbuf()))
        , savedErr(std::cerr.rdbuf(errText.rdbuf()))
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

private:
    std::ostringstream outText;
    std::ostringstream errText;
    std::istringstream inText;
    std::streambuf* savedOut;
    std::streambuf* savedErr;
    std::streambuf* savedIn;
};
