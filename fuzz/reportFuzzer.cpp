// Guards against a report that crashes, reads or writes out of bounds, leaks, or mistreats a driver (an object
// released twice or never, called after its release, left in DSD), whatever the drivers answer. Each input is .reg
// text: driver registrations and fake driver scripts (see README.md, "Fake driver scripts"), seeded with the
// end-to-end scenarios and the scripts they use; the whole program runs over it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "app/programRun.h"
#include "driver/asioCalls.h"
#include "driver/driverManager.h"
#include "platform/memory/memoryPlatform.h"
#include "testing/standIn.h"
#include "testing/streamCapture.h"

namespace {

// A failed check stops the run; libFuzzer reports it as a crash and keeps
// the input.
void require(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    memory::reset();
    activeDriver = nullptr;
    driverManager = nullptr;
    fake::Log log;
    standIn::fill(readRegistryText(std::string(reinterpret_cast<const char*>(data), size)), log);

    StreamCapture capture;
    const int status = runProgram();

    require(status == 0, "a complete run");
    require(driverManager == nullptr && activeDriver == nullptr, "no manager or driver left behind");
    require(memory::openKeyCount() == 0 && memory::comDepth() == 0, "no key open, COM ended");
    for (const std::string& mistake : fake::hostMistakes(log.events))
        require(false, mistake.c_str());
    std::istringstream errors(capture.err());
    for (std::string line; std::getline(errors, line);)
        require(line.rfind("!!! Error: ", 0) == 0, "every error line is one");
    memory::reset();
    return 0;
}
