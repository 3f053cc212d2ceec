// The keys and values of .reg text: "[root\path]" lines (HKEY_LOCAL_MACHINE
// or HKEY_CLASSES_ROOT; other roots are skipped), then "name"="text" or
// @="text" (stored with a terminator) or "name"=hex:61,62 (those bytes).
// A text's every @SERVER@ becomes server, the test driver DLL, if given.
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

std::vector<RegistryItem> readRegistryText(const std::string& text, const std::string& server = "");
