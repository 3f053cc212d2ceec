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
