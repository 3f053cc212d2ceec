#include "literalClassLookup.h"

#include <cstdint>
#include <cstring>

#include "driver/classLookup.h"

bool literalFindServerPath(const char* clsidText)
{
    platform::RegKey clsidKey;
    if (platform::openRootKey(platform::RootKey::classesRoot, "clsid", &clsidKey) != platform::registryOk)
        return false;
    bool found = false;
    char name[512];
    for (std::uint32_t j = 0; platform::enumSubkey(clsidKey, j, name, sizeof name) == platform::registryOk; ++j) {
        char lowered[512];
        std::strcpy(lowered, name);
        platform::lowerText(lowered, static_cast<std::uint32_t>(std::strlen(lowered)));
        if (std::strcmp(lowered, clsidText) != 0)
            continue;
        platform::RegKey classKey;
        if (platform::openSubkey(clsidKey, name, &classKey) == platform::registryOk) {
            found = classHasServer(classKey);
            platform::closeKey(classKey);
        }
        break;
    }
    platform::closeKey(clsidKey);
    return found;
}
