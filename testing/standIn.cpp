#include "testing/standIn.h"

#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/memory/memoryPlatform.h"
#include "testing/fakeScript.h"
#include "testing/registryText.h"

using platform::registryOk;
using platform::RootKey;

namespace standIn {
namespace {

void troubleForTheGuard(fake::Trouble trouble, std::uint32_t code)
{
    if (trouble == fake::Trouble::fault)
        throw memory::DriverFault{code};
}

// The text of a value of a script's key, up to its terminator.
bool readValue(platform::RegKey key, const char* name, std::string* text)
{
    std::vector<char> buffer(256);
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    std::int32_t status = platform::queryValue(key, name, buffer.data(), &size);
    if (status == platform::errorMoreData) {
        buffer.resize(size);
        status = platform::queryValue(key, name, buffer.data(), &size);
    }
    if (status == registryOk)
        *text = std::string(buffer.data(), size).c_str();
    return status == registryOk;
}

bool readScriptValue(const std::string& classId, const char* name, std::string* text)
{
    platform::RegKey key;
    const std::string path = std::string(fake::scriptsKey) + "\\" + classId;
    if (platform::openRootKey(RootKey::localMachine, path.c_str(), &key) != registryOk)
        return false;
    const bool found = readValue(key, name, text);
    platform::closeKey(key);
    return found;
}

const fake::Script* find(const Scripts& scripts, const CLSID& clsid)
{
    for (const auto& [scripted, script] : scripts)
        if (sameGuid(scripted, clsid))
            return script.get();
    return nullptr;
}

} // namespace

void importRegistry(const std::string& text)
{
    for (const RegistryItem& item : readRegistryText(text)) {
        // A key the registry cannot hold is left out with its values.
        try {
            if (item.isValue)
                memory::setValue(item.root, item.path, item.name, item.data);
            else
                memory::addKey(item.root, item.path);
        } catch (const std::invalid_argument&) {
        }
    }
}

Scripts readScripts(const Scripts& base)
{
    Scripts scripts;
    platform::RegKey key;
    if (platform::openRootKey(RootKey::localMachine, fake::scriptsKey, &key) != registryOk)
        return scripts;
    const auto known = [&base](const std::string& classId) -> const fake::Script* {
        CLSID clsid;
        return platform::parseClassId(classId.c_str(), &clsid) ? find(base, clsid) : nullptr;
    };
    char name[256];
    for (std::uint32_t i = 0; platform::enumSubkey(key, i, name, sizeof name) == registryOk; ++i) {
        CLSID clsid;
        platform::RegKey classKey;
        if (!platform::parseClassId(name, &clsid) || platform::openSubkey(key, name, &classKey) != registryOk)
            continue;
        // The script's own values come through its open key.
        const std::string classId = name;
        const auto read = [&](const std::string& id, const char* value, std::string* text) {
            return id == classId ? readValue(classKey, value, text) : readScriptValue(id, value, text);
        };
        scripts.emplace_back(clsid, std::make_shared<const fake::Script>(fake::readScript(read, classId, known)));
        platform::closeKey(classKey);
    }
    platform::closeKey(key);
    return scripts;
}

void registerScriptedDrivers(fake::Log& log, const Scripts& base)
{
    Scripts scripts = readScripts(base);
    for (const auto& [clsid, script] : base)
        if (find(scripts, clsid) == nullptr)
            scripts.emplace_back(clsid, script);
    auto objects = std::make_shared<std::vector<std::unique_ptr<fake::Driver>>>();
    for (const auto& [clsid, script] : scripts) {
        memory::registerClass(clsid, [clsid = clsid, script = script, &log, objects](const IID& iid, void** object) {
            // The driver's class id doubles as the id of its interface.
            if (!sameGuid(iid, clsid))
                return E_NOINTERFACE;
            objects->push_back(std::make_unique<fake::Driver>(*script, log, troubleForTheGuard));
            *object = static_cast<IASIO*>(objects->back().get());
            return S_OK;
        });
    }
}

} // namespace standIn
