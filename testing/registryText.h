// The keys and values of .reg text, as tests write registries: "[root\path]"
// lines (HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT), then their values as
// "name"="text" or @="text" (stored with a terminator) or as
// "name"=hex:61,62 (stored as those bytes). Any other line is skipped, and
// so are the values of a key of another root.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

struct RegistryItem {
    platform::RootKey root;
    std::string path;
    bool isValue; // else the key alone
    std::string name;
    std::string data;
    bool isText; // data is a text and its terminator, else bytes
};

std::vector<RegistryItem> readRegistryText(const std::string& text);
