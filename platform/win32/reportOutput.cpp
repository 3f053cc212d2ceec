#include "platform/win32/reportOutput.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <initializer_list>
#include <iostream>
#include <streambuf>
#include <string>

#include "platform/win32/ownThreadWatch.h"
#include "platform/win32/processEnd.h"

namespace {

// Copies of the program's standard output and error, as the report's
// writes find them when they begin: the C runtime closes its own handles
// to them when the driver's streams take their places.
HANDLE reportStreams[2];

HANDLE ownCopy(DWORD stream)
{
    const HANDLE source = GetStdHandle(stream);
    HANDLE copy = nullptr;
    if (source == nullptr || source == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), source, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return source;
    return copy;
}

HANDLE reportStream(DWORD stream)
{
    return reportStreams[stream == STD_OUTPUT_HANDLE ? 0 : 1];
}

// In a child that relays its driver's output, every write, the report's and
// the relays', holds this: the writing mark they share is one write's, and
// a relay never writes between the report's look at the pipes and its own
// write.
CRITICAL_SECTION writeLock;
bool relaying;
ReportBlock* relayBlock;

struct Relay {
    HANDLE pipe = nullptr; // its reading end
    HANDLE to = nullptr;
};
Relay relays[2];

// How often the relay looks for what the driver wrote.
constexpr DWORD relayLook = 20;

bool writeWhole(HANDLE handle, const char* bytes, std::size_t size)
{
    DWORD written = 0;
    bool ok = true;
    for (std::size_t at = 0; ok && at < size; at += written)
        ok = WriteFile(handle, bytes + at, static_cast<DWORD>(size - at), &written, nullptr) && written != 0;
    return ok;
}

// Writes what the driver wrote so far, each piece marked as a write;
// writeLock held.
void relayWritten()
{
    for (const Relay& relay : relays) {
        char buffer[4096];
        DWORD available = 0;
        DWORD read = 0;
        while (PeekNamedPipe(relay.pipe, nullptr, 0, nullptr, &available, nullptr) && available != 0 &&
               ReadFile(relay.pipe, buffer, std::min<DWORD>(available, sizeof buffer), &read, nullptr) && read != 0) {
            markWritingIn(relayBlock, true);
            writeWhole(relay.to, buffer, read);
            markWritingIn(relayBlock, false);
        }
    }
}

DWORD WINAPI relayDriverWrites(void*)
{
    for (;;) {
        EnterCriticalSection(&writeLock);
        relayWritten();
        LeaveCriticalSection(&writeLock);
        Sleep(relayLook);
    }
}

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
        // A reader that pauses holds the write up for as long as it likes.
        const OwnThreadWaits waits;
        if (relaying) {
            EnterCriticalSection(&writeLock);
            // The driver's text written before comes first.
            relayWritten();
        }
        markWriting(true);
        const bool ok = writeWhole(reportStream(stream), bytes.data(), bytes.size());
        markWriting(false);
        if (relaying)
            LeaveCriticalSection(&writeLock);
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

// Makes the pipe's writing end the driver's stream: standard output or
// error of the process and of the C runtime.
void giveDriverPipe(DWORD stream, HANDLE write)
{
    // The C runtime's descriptor gets a copy of its own, which it makes the
    // process's too; neither may pass on to a process the driver starts.
    HANDLE copy = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), write, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(copy), _O_TEXT);
        const int standard = stream == STD_OUTPUT_HANDLE ? 1 : 2;
        if (descriptor != -1) {
            _dup2(descriptor, standard);
            _close(descriptor);
            SetHandleInformation(reinterpret_cast<HANDLE>(_get_osfhandle(standard)), HANDLE_FLAG_INHERIT, 0);
        }
    }
    SetStdHandle(stream, write);
}

} // namespace

void writeReportMarked()
{
    // Never destroyed: the streams may still be flushed as the process ends.
    static MarkedOutput* const out = new MarkedOutput(STD_OUTPUT_HANDLE);
    static MarkedOutput* const err = new MarkedOutput(STD_ERROR_HANDLE);
    if (reportStreams[0] == nullptr) {
        reportStreams[0] = ownCopy(STD_OUTPUT_HANDLE);
        reportStreams[1] = ownCopy(STD_ERROR_HANDLE);
    }
    std::cout.flush();
    std::cerr.flush();
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
}

void relayDriverOutput(ReportBlock* block)
{
    relayBlock = block;
    InitializeCriticalSection(&writeLock);
    HANDLE writes[2] = {};
    bool ok = true;
    for (int i = 0; i < 2; ++i) {
        relays[i].to = reportStreams[i];
        ok = ok && CreatePipe(&relays[i].pipe, &writes[i], nullptr, 1 << 16);
    }
    HANDLE relay = ok ? CreateThread(nullptr, 0, relayDriverWrites, nullptr, 0, nullptr) : nullptr;
    if (relay == nullptr) {
        // Without its relay the driver writes where it always did.
        for (int i = 0; i < 2; ++i)
            for (HANDLE end : {relays[i].pipe, writes[i]})
                if (end != nullptr)
                    CloseHandle(end);
        return;
    }
    CloseHandle(relay);
    relaying = true;
    giveDriverPipe(STD_OUTPUT_HANDLE, writes[0]);
    giveDriverPipe(STD_ERROR_HANDLE, writes[1]);
    atProcessEnd(relayWhatIsLeft);
}

void relayWhatIsLeft()
{
    // Another thread of the child may hold the lock, and never let go.
    if (relaying && TryEnterCriticalSection(&writeLock)) {
        relayWritten();
        LeaveCriticalSection(&writeLock);
    }
}
