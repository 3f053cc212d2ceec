#include "platform/win32/reportOutput.h"

#include <windows.h>

#include <iostream>
#include <streambuf>
#include <string>

#include "platform/win32/reportBlock.h"

namespace {

class MarkedOutput : public std::streambuf {
public:
    explicit MarkedOutput(DWORD stream)
        : stream(stream)
    {
    }

protected:
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            pending().push_back(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        pending().append(text, static_cast<std::size_t>(count));
        return count;
    }

    int sync() override
    {
        std::string& text = pending();
        if (text.empty())
            return 0;
        std::string bytes;
        for (char c : text) {
            if (c == '\n')
                bytes.push_back('\r');
            bytes.push_back(c);
        }
        text.clear();
        const HANDLE handle = GetStdHandle(stream);
        markWriting(true);
        DWORD written = 0;
        bool ok = true;
        for (std::size_t at = 0; ok && at < bytes.size(); at += written)
            ok = WriteFile(handle, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &written, nullptr) &&
                written != 0;
        markWriting(false);
        return ok ? 0 : -1;
    }

private:
    // A report thread's pieces never mix with the program's.
    std::string& pending()
    {
        thread_local std::string out;
        thread_local std::string err;
        return stream == STD_OUTPUT_HANDLE ? out : err;
    }

    const DWORD stream;
};

} // namespace

void writeReportMarked()
{
    // Never destroyed: the streams may still be flushed as the process ends.
    static MarkedOutput* const out = new MarkedOutput(STD_OUTPUT_HANDLE);
    static MarkedOutput* const err = new MarkedOutput(STD_ERROR_HANDLE);
    std::cout.flush();
    std::cerr.flush();
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
}
