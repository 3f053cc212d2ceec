#include "testing/fakeScript.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <sstream>

namespace fake {
namespace {

// Scripts that stand in for each other end here, however they loop.
constexpr int maxLikeDepth = 4;

using Values = std::function<bool(const char* name, std::string* text)>;

// A number as the registry text gives it, wrapped to 32 bits; 0 for text
// that is none.
std::int32_t number(const std::string& text)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(std::strtoll(text.c_str(), nullptr, 0)));
}

// The numbers of a value, one for each field in order; a field the value
// gives no number for keeps its own.
void readNumbers(const Values& read, const char* name, std::initializer_list<std::int32_t*> fields)
{
    std::string text;
    if (!read(name, &text))
        return;
    std::istringstream words(text);
    std::string word;
    for (std::int32_t* field : fields)
        if (words >> word)
            *field = number(word);
}

std::vector<Channel> readChannels(const std::string& text)
{
    std::vector<Channel> channels;
    std::istringstream entries(text);
    for (std::string entry; std::getline(entries, entry, '|');) {
        std::istringstream words(entry);
        std::string result, type;
        words >> result >> type;
        Channel channel;
        channel.result = number(result);
        channel.type = number(type);
        // One blank ends the type; the name is the rest, whatever its bytes.
        words.get();
        std::getline(words, channel.name, '\0');
        channels.push_back(channel);
    }
    return channels;
}

void readFormat(const Values& read, const std::string& name, Format* format)
{
    readNumbers(read, name.c_str(), {&format->channelsResult, &format->inputCount, &format->outputCount});
    format->inputCount = std::min(format->inputCount, maxChannels);
    format->outputCount = std::min(format->outputCount, maxChannels);
    std::string text;
    if (read((name + " in").c_str(), &text))
        format->inputs = readChannels(text);
    if (read((name + " out").c_str(), &text))
        format->outputs = readChannels(text);
    if (read((name + " rates").c_str(), &text)) {
        format->rates.clear();
        std::istringstream rates(text);
        for (std::string rate; rates >> rate;)
            format->rates.insert(std::strtod(rate.c_str(), nullptr));
    }
}

// The names scripts give the troubles, in the order of fake::Trouble.
// clang-format off
constexpr const char* troubleNames[] = {"none", "fault", "recover", "hang", "hangLoading", "exit", "threadFault",
    "overflow", "slow", "lockHeap", "ask", "freezeWindow", "write", "endThreadLoading", "startProcess",
    "slowEndsOnInterrupt"};
// clang-format on
static_assert(std::size(troubleNames) == static_cast<std::size_t>(Trouble::slowEndsOnInterrupt) + 1);

Trouble troubleNamed(const std::string& kind)
{
    const auto named = std::find(std::begin(troubleNames), std::end(troubleNames), kind);
    return named == std::end(troubleNames) ? Trouble::none : static_cast<Trouble>(named - std::begin(troubleNames));
}

Script readScript(const ValueReader& reader, const std::string& classId, int depth)
{
    const Values read = [&reader, &classId](const char* name, std::string* text) {
        return reader(classId, name, text);
    };
    std::string like;
    Script script = depth < maxLikeDepth && read("like", &like) ? readScript(reader, like, depth + 1) : Script{};
    read("label", &script.label);
    readNumbers(read, "init", {&script.initResult});
    read("message", &script.errorMessage);
    read("name", &script.driverName);
    for (std::string* text : {&script.errorMessage, &script.driverName})
        text->resize(std::min(text->size(), maxTextLength));
    readNumbers(read, "version", {&script.driverVersion});
    std::int32_t* sizes = script.bufferSizes;
    readNumbers(read, "bufferSize", {&script.bufferSizeResult, &sizes[0], &sizes[1], &sizes[2], &sizes[3]});
    readNumbers(read, "latencies", {&script.latenciesResult, &script.latencies[0], &script.latencies[1]});
    readFormat(read, "pcm", &script.pcm);
    readFormat(read, "dsd", &script.dsd);
    readNumbers(read, "toDsd", {&script.toDsdResult});
    readNumbers(read, "toPcm", {&script.toPcmResult});
    std::string trouble;
    if (read("trouble", &trouble)) {
        std::istringstream words(trouble);
        std::string kind, code;
        words >> kind >> script.troubleOn >> code;
        script.trouble = troubleNamed(kind);
        script.troubleCode = static_cast<std::uint32_t>(number(code));
    }
    return script;
}

} // namespace

Script readScript(const ValueReader& read, const std::string& classId)
{
    return readScript(read, classId, 0);
}

} // namespace fake
