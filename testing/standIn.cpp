#include "testing/standIn.h"

#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/memory/memoryPlatform.h"
#include "testing/fakeScript.h"

namespace standIn {
namespace {

void troubleForTheGuard(fake::Trouble trouble, std::uint32_t code)
{
    if (trouble == fake::Trouble::fault)
        throw memory::DriverFault{code};
}

// Names of keys and values match whatever their case, as in the registry.
std::string lower(std::string name)
{
    platform::lowerText(name.data(), static_cast<std::uint32_t>(name.size()));
    return name;
}

} // namespace

void fill(const std::vector<RegistryItem>& items, fake::Log& log)
{
    // Each script's values up to their terminator, by class id, by name.
    std::map<std::string, std::map<std::string, std::string>> values;
    const std::string scriptKeys = lower(fake::scriptsKey) + "\\";
    for (const RegistryItem& item : items) {
        try {
            if (item.isValue)
                memory::setValue(item.root, item.path, item.name, item.data);
            else
                memory::addKey(item.root, item.path);
        } catch (const std::invalid_argument&) {
            continue;
        }
        const std::string path = lower(item.path);
        if (item.root == platform::RootKey::localMachine && path.rfind(scriptKeys, 0) == 0) {
            std::map<std::string, std::string>& script = values[path.substr(scriptKeys.size())];
            if (item.isValue)
                script[lower(item.name)] = item.data.c_str();
        }
    }
    const auto read = [&values](const std::string& classId, const char* name, std::string* text) {
        const auto script = values.find(lower(classId));
        if (script == values.end() || script->second.count(lower(name)) == 0)
            return false;
        *text = script->second.at(lower(name));
        return true;
    };
    auto objects = std::make_shared<std::vector<std::unique_ptr<fake::Driver>>>();
    for (const auto& entry : values) {
        CLSID clsid;
        if (!platform::parseClassId(entry.first.c_str(), &clsid))
            continue;
        auto script = std::make_shared<const fake::Script>(fake::readScript(read, entry.first));
        memory::registerClass(clsid, [clsid, script, &log, objects](const IID& iid, void** object) {
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
