// Guards against any fault of the Windows program that a scenario shows, lines not ended by CR LF, drivers listed from
// the other word size's registry view, a paused reader taken for a hung driver, a driver asking its user taken for a
// hung one, output left open after the program's end, and a program moved away as it starts reporting a driver
// without the limit: the real program runs end to end over the real registry (see README.md).
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <future>
#include <map>
#include <sstream>

#include "scenarioRun.h"
#include "testing/win32/registryWriter.h"

namespace {

namespace fs = std::filesystem;

// A run this long counts as hung: against a program waiting for input, not a time limit.
constexpr DWORD runLimit = 300000;

const REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

std::vector<RegistryItem> registryItems(const fs::path& path)
{
    return readRegistryText(fileText(path), fs::path(SCENARIO_DRIVER).make_preferred().string());
}

// Removes the driver list, the scripts and every class key items write.
void removeItems(const std::vector<RegistryItem>& items, REGSAM view)
{
    removeMachineKey("Software\\ASIO", view);
    removeMachineKey("Software\\asio-testdriver", view);
    for (const RegistryItem& item : items)
        if (item.root == platform::RootKey::classesRoot && item.path.size() > 6)
            removeMachineKey(machinePath(item.root, item.path.substr(0, item.path.find('\\', 6))), view);
}

// The stream's text with LF line ends; a line not ended by CR LF is a problem.
std::string streamText(const fs::path& path, const char* stream, ScenarioRun& run)
{
    const std::string text = fileText(path);
    std::string lines;
    for (std::size_t at = 0; at < text.size(); ++at)
        if (text.compare(at, 2, "\r\n") != 0)
            lines += text[at];
    const auto lineEnds = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    if (lines.find('\r') != std::string::npos || lineEnds != text.size() - lines.size() ||
        (!lines.empty() && lines.back() != '\n'))
        run.problems.push_back(std::string(stream) + ": a line not ended by CR LF");
    return lines;
}

SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};

HANDLE inheritableFile(const fs::path& path, DWORD access, DWORD disposition)
{
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// When the reader's last read began and when the pipe's end ended it.
struct LastRead {
    ULONGLONG began = 0;
    ULONGLONG ended = 0;
};

// Reads the output into out, pausing longer than the program's limit
// after the first 4 KB, as a paused console or a pager does.
LastRead readPausing(HANDLE pipe, const fs::path& out)
{
    std::ofstream file(out, std::ios::binary);
    char buffer[4096];
    std::size_t total = 0;
    bool paused = false;
    DWORD read = 0;
    for (LastRead last;; last.began = GetTickCount64()) {
        if (!ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) || read == 0) {
            last.ended = GetTickCount64();
            return last;
        }
        file.write(buffer, read);
        total += read;
        if (!paused && total >= sizeof buffer) {
            Sleep(static_cast<DWORD>(programLimit() + 2) * 1000);
            paused = true;
        }
    }
}

// The message boxes shown, each with the time it was first seen.
using Boxes = std::map<HWND, ULONGLONG>;

BOOL CALLBACK noteBox(HWND window, LPARAM boxes)
{
    wchar_t name[16];
    if (IsWindowVisible(window) && GetClassNameW(window, name, 16) != 0 && std::wstring(name) == L"#32770")
        reinterpret_cast<Boxes*>(boxes)->emplace(window, GetTickCount64());
    return TRUE;
}

// Waits for the program's end, answering each message box its drivers
// show only once it has been open for longer than the program's limit.
// Returns the boxes answered.
int waitAnswering(HANDLE process, bool answers)
{
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG answerAfter = static_cast<ULONGLONG>(programLimit() + 3) * 1000;
    Boxes boxes;
    int answered = 0;
    while (WaitForSingleObject(process, answers ? 200 : runLimit) == WAIT_TIMEOUT &&
           GetTickCount64() - start < runLimit) {
        EnumWindows(noteBox, reinterpret_cast<LPARAM>(&boxes));
        for (auto& [box, seen] : boxes)
            if (seen != 0 && GetTickCount64() - seen > answerAfter) {
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                seen = 0;
                ++answered;
            }
    }
    return answered;
}

// Runs the program; with "moves-program" a copy moved away as it starts
// (so it can start no child); with "pauses-reader" its output is piped to
// a pausing reader, which must see the pipe close as the program ends;
// with "answers-windows" its drivers' message boxes are answered late, and
// the file says how many there must be.
int runProgram(const fs::path& directory, const fs::path& out, const fs::path& err, ScenarioRun& run)
{
    const char* chosen = std::getenv("ASIO_REPORT_PROGRAM");
    fs::path program = chosen != nullptr ? chosen : SCENARIO_PROGRAM;
    const bool moves = fs::exists(directory / "moves-program");
    const bool pauses = fs::exists(directory / "pauses-reader");
    const std::string boxesExpected = fileText(directory / "answers-windows");
    const fs::path moved = fs::temp_directory_path() / "asio-report-moved.exe";
    if (moves) {
        const fs::path copy = fs::temp_directory_path() / program.filename();
        fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
        program = copy;
    }
    HANDLE pipe = nullptr;
    HANDLE output = nullptr;
    if (pauses)
        CreatePipe(&pipe, &output, &inheritable, 0);
    else
        output = inheritableFile(out, GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE input = inheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
    const HANDLE errors = err.empty() ? output : inheritableFile(err, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors;
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    PROCESS_INFORMATION started{};
    DWORD status = ~0u;
    const bool ok = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                   moves ? CREATE_SUSPENDED : 0, nullptr, nullptr, &startup, &started) != FALSE;
    CloseHandle(input);
    CloseHandle(output);
    if (errors != output)
        CloseHandle(errors);
    if (ok) {
        if (moves) {
            if (!MoveFileExW(program.c_str(), moved.c_str(), MOVEFILE_REPLACE_EXISTING))
                run.problems.push_back("the program could not be moved");
            ResumeThread(started.hThread);
        }
        std::future<LastRead> reader;
        if (pauses)
            reader = std::async(std::launch::async, readPausing, pipe, out);
        const int answered = waitAnswering(started.hProcess, !boxesExpected.empty());
        if (WaitForSingleObject(started.hProcess, 0) != WAIT_OBJECT_0) {
            run.problems.push_back("still running after the run's limit");
            TerminateProcess(started.hProcess, 1);
        }
        if (!boxesExpected.empty() && std::to_string(answered) + "\n" != boxesExpected)
            run.problems.push_back("message boxes answered: " + std::to_string(answered) + " (windows need a screen)");
        const ULONGLONG ended = GetTickCount64();
        if (pauses) {
            const LastRead last = reader.get();
            // The pipe may end before the program's end is seen here.
            if (last.ended > std::max(last.began, ended) + 5000)
                run.problems.push_back("the output stayed open after the program ended");
        }
        GetExitCodeProcess(started.hProcess, &status);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    } else {
        run.problems.push_back("the program did not start");
    }
    if (pipe != nullptr)
        CloseHandle(pipe);
    if (moves)
        DeleteFileW(moved.c_str());
    return static_cast<int>(status);
}

} // namespace

// Children scripted on the stand-in have no place here.
bool runsScenario(const fs::path& directory)
{
    return !fs::exists(directory / "scriptedChildren.txt");
}

ScenarioRun runScenario(const fs::path& directory, bool combined)
{
    std::vector<RegistryItem> items = registryItems(SCENARIO_PROFILES);
    const std::vector<RegistryItem> scenario = registryItems(directory / "registry.reg");
    items.insert(items.end(), scenario.begin(), scenario.end());
    const std::vector<RegistryItem> other = registryItems(directory / "otherView.reg");
    for (const RegistryItem& item : items)
        writeRegistryItem(item);
    for (const RegistryItem& item : other)
        writeRegistryItem(item, otherView);

    const fs::path log = std::string(SCENARIO_DRIVER) + ".log";
    const fs::path temp = fs::temp_directory_path();
    fs::remove(log);
    ScenarioRun run;
    run.status =
        runProgram(directory, temp / "asio-report-stdout", combined ? fs::path() : temp / "asio-report-stderr", run);
    run.out = streamText(temp / "asio-report-stdout", combined ? "combined" : "stdout", run);
    if (!combined)
        run.err = streamText(temp / "asio-report-stderr", "stderr", run);
    std::istringstream events(fileText(log));
    for (std::string event; std::getline(events, event);)
        run.events.push_back(event);

    removeItems(items, 0);
    removeItems(other, otherView);
    return run;
}
