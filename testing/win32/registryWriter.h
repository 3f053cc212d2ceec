// Writes the real registry, for tests and measurements (below
// HKEY_LOCAL_MACHINE: an administrator on Windows, any user under Wine),
// in the view the flags name (KEY_WOW64_32KEY, KEY_WOW64_64KEY, or 0 for
// the program's own); throws std::runtime_error on failure.
#pragma once

#include <windows.h>

#include <string>

#include "testing/registryText.h"

// Writes a key or value of .reg text, HKEY_CLASSES_ROOT's below the local
// machine's classes; texts are UTF-8.
void writeRegistryItem(const RegistryItem& item, REGSAM view = 0);

// Removes the key at path (UTF-8) below HKEY_LOCAL_MACHINE with all it
// holds; a key that is not there is no failure.
void removeMachineKey(const std::string& path, REGSAM view = 0);

// The path below HKEY_LOCAL_MACHINE where a key of root lives: the classes
// root shows the machine's classes, kept in Software\Classes.
std::string machinePath(platform::RootKey root, const std::string& path);
