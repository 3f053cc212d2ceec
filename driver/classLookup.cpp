#include "driver/classLookup.h"

#include <cstring>

#include "driver/registryText.h"

using platform::registryOk;
using platform::RegKey;

namespace {

constexpr std::uint32_t classNameCapacity = 512;
constexpr std::uint32_t serverPathCapacity = 512;

bool isLowerHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx} in lower case. Only such a text
// names the same key when opened as a path as when compared with the
// lowercased names: it has no backslash, and no other name lowercases to it.
bool isCanonicalClassId(const char* text)
{
    if (std::strlen(text) != 38 || text[0] != '{' || text[37] != '}')
        return false;
    for (int i = 1; i < 37; ++i) {
        const bool hyphen = i == 9 || i == 14 || i == 19 || i == 24;
        if (hyphen ? text[i] != '-' : !isLowerHex(text[i]))
            return false;
    }
    return true;
}

} // namespace

bool classHasServer(RegKey classKey)
{
    RegKey serverKey;
    if (platform::openSubkey(classKey, "InprocServer32", &serverKey) != registryOk)
        return false;
    char path[serverPathCapacity];
    const bool found = readRegistryText(serverKey, nullptr, path, sizeof path) && platform::testFile(path) != 0;
    platform::closeKey(serverKey);
    return found;
}

bool ClassLookup::findServerPath(const char* clsidText)
{
    RegKey clsidKey;
    if (platform::openRootKey(platform::RootKey::classesRoot, "clsid", &clsidKey) != registryOk)
        return false;

    // A canonical class id opened directly finds the key the enumeration
    // would find, and finding none is as final: the enumeration only finds
    // keys that exist.
    RegKey classKey;
    bool opened;
    if (directOpenIsExact(clsidKey) && isCanonicalClassId(clsidText)) {
        opened = platform::openSubkey(clsidKey, clsidText, &classKey) == registryOk;
    } else {
        const char* className = findClassName(clsidKey, clsidText);
        opened = className != nullptr && platform::openSubkey(clsidKey, className, &classKey) == registryOk;
    }
    const bool found = opened && classHasServer(classKey);
    if (opened)
        platform::closeKey(classKey);
    platform::closeKey(clsidKey);
    return found;
}

// The name of the first class key whose lowercased name is clsidText,
// enumerating further only when the names seen so far hold none. The
// enumeration ends at its first failure, a name that does not fit the
// buffer included, as a lookup of its own would.
const char* ClassLookup::findClassName(RegKey clsidKey, const char* clsidText)
{
    const auto seen = firstPosition.find(clsidText);
    if (seen != firstPosition.end())
        return classNames[seen->second].c_str();
    char name[classNameCapacity];
    while (!enumerationEnded) {
        const auto position = static_cast<std::uint32_t>(classNames.size());
        if (platform::enumSubkey(clsidKey, position, name, sizeof name) != registryOk) {
            enumerationEnded = true;
            break;
        }
        classNames.emplace_back(name);
        platform::lowerText(name, static_cast<std::uint32_t>(std::strlen(name)));
        firstPosition.emplace(name, classNames.size() - 1);
        if (std::strcmp(name, clsidText) == 0)
            return classNames.back().c_str();
    }
    return nullptr;
}

// Opening a class key by its name finds the key the enumeration would find
// only when the enumeration reaches every key, that is, when no name can be
// too long for the enumeration's buffer.
bool ClassLookup::directOpenIsExact(RegKey clsidKey)
{
    if (!directOpenExact) {
        std::uint32_t longest = 0;
        directOpenExact = platform::maxSubkeyNameSize(clsidKey, &longest) == registryOk && longest <= classNameCapacity;
    }
    return *directOpenExact;
}
