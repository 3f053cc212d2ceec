// Finding a driver's class under HKEY_CLASSES_ROOT\clsid. The registry is
// searched by enumerating class keys and comparing their lowercased names
// with the driver's lowercased class id; the first equal name is the
// class. A scan looks up every driver in one ClassLookup, which shares
// that enumeration between the lookups.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

class ClassLookup {
public:
    // True when HKEY_CLASSES_ROOT\clsid holds a class key whose lowercased
    // name is clsidText (lowercased) and whose in-process server path is
    // readable and passes the file test.
    bool findServerPath(const char* clsidText);

private:
    const char* findClassName(platform::RegKey clsidKey, const char* clsidText);
    bool directOpenIsExact(platform::RegKey clsidKey);

    // The class key names in enumeration order, as far as the lookups so
    // far have had to go, and the first position of each lowercased name.
    std::vector<std::string> classNames;
    std::unordered_map<std::string, std::size_t> firstPosition;
    bool enumerationEnded = false;
    std::optional<bool> directOpenExact; // asked once per scan
};

// The server test for an open class key: its InprocServer32 default value
// is readable and names a file the file test accepts.
bool classHasServer(platform::RegKey classKey);
