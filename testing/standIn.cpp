#include "testing/standIn.h"

#include <algorithm>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/memory/memoryPlatform.h"
#include "testing/fakeScript.h"

using platform::registryOk;
using platform::RootKey;

namespace standIn {
namespace {

// A quoted .reg text from at (its opening quote) up to its closing quote,
// with \\ and \" unescaped; at moves past it.
std::string quoted(const std::string& line, std::size_t& at)
{
    std::string text;
    for (++at; at < line.size() && line[at] != '"'; ++at) {
        if (line[at] == '\\' && at + 1 < line.size())
            ++at;
        text += line[at];
    }
    at = std::min(at + 1, line.size());
    return text;
}

std::string hexBytes(const std::string& list)
{
    std::string bytes;
    std::istringstream items(list);
    for (std::string item; std::getline(items, item, ',');)
        bytes += static_cast<char>(std::strtoul(item.c_str(), nullptr, 16));
    return bytes;
}

void troubleForTheGuard(fake::Trouble trouble, std::uint32_t code)
{
    if (trouble == fake::Trouble::fault)
        throw memory::DriverFault{code};
}

// The text of a script's value, up to its terminator.
bool readScriptValue(const std::string& classId, const char* name, std::string* text)
{
    platform::RegKey key;
    const std::string path = std::string(fake::scriptsKey) + "\\" + classId;
    if (platform::openRootKey(RootKey::localMachine, path.c_str(), &key) != registryOk)
        return false;
    std::vector<char> buffer(256);
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    std::int32_t status = platform::queryValue(key, name, buffer.data(), &size);
    if (status == platform::errorMoreData) {
        buffer.resize(size);
        status = platform::queryValue(key, name, buffer.data(), &size);
    }
    platform::closeKey(key);
    if (status == registryOk)
        *text = std::string(buffer.data(), size).c_str();
    return status == registryOk;
}

} // namespace

void importRegistry(const std::string& text)
{
    std::istringstream lines(text);
    bool keyValid = false;
    RootKey root = RootKey::localMachine;
    std::string path;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind('[', 0) == 0) {
            const std::string key = line.substr(1, line.rfind(']') - 1);
            const std::size_t slash = key.find('\\');
            keyValid = slash != std::string::npos;
            root = key.substr(0, slash) == "HKEY_CLASSES_ROOT" ? RootKey::classesRoot : RootKey::localMachine;
            keyValid = keyValid && (root == RootKey::classesRoot || key.substr(0, slash) == "HKEY_LOCAL_MACHINE");
            path = keyValid ? key.substr(slash + 1) : "";
            try {
                if (keyValid)
                    memory::addKey(root, path);
            } catch (const std::invalid_argument&) {
                keyValid = false;
            }
            continue;
        }
        if (!keyValid || line.empty() || (line[0] != '"' && line[0] != '@'))
            continue;
        std::size_t at = 0;
        const std::string name = line[0] == '@' ? (++at, std::string()) : quoted(line, at);
        if (line.compare(at, 2, "=\"") == 0) {
            ++at;
            memory::setText(root, path, name, quoted(line, at));
        } else if (line.compare(at, 5, "=hex:") == 0) {
            memory::setValue(root, path, name, hexBytes(line.substr(at + 5)));
        }
    }
}

void registerScriptedDrivers(fake::Log& log)
{
    platform::RegKey scripts;
    if (platform::openRootKey(RootKey::localMachine, fake::scriptsKey, &scripts) != registryOk)
        return;
    char name[256];
    for (std::uint32_t i = 0; platform::enumSubkey(scripts, i, name, sizeof name) == registryOk; ++i) {
        CLSID clsid;
        if (!platform::parseClassId(name, &clsid))
            continue;
        const fake::Script script = fake::readScript(readScriptValue, name);
        auto objects = std::make_shared<std::vector<std::unique_ptr<fake::Driver>>>();
        memory::registerClass(clsid, [clsid, script, &log, objects](const IID& iid, void** object) {
            // The driver's class id doubles as the id of its interface.
            if (!sameGuid(iid, clsid))
                return E_NOINTERFACE;
            objects->push_back(std::make_unique<fake::Driver>(script, log, troubleForTheGuard));
            *object = static_cast<IASIO*>(objects->back().get());
            return S_OK;
        });
    }
    platform::closeKey(scripts);
}

} // namespace standIn
