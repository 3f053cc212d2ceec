// Writes registry content with the system's own calls, for tests and
// measurements that need a real registry. Writing below
// HKEY_LOCAL_MACHINE takes an administrator on Windows; a Wine prefix
// always allows it.
#pragma once

#include <windows.h>

#include <string>

// Creates the key at path below root, with any missing parents, and stores
// data byte for byte as its string value valueName (the default value for
// an empty name); a text's terminator is part of data. Throws
// std::runtime_error on failure.
void writeRegistryValue(HKEY root, const std::string& path, const std::string& valueName, const std::string& data);

// Creates the key at path below root with any missing parents.
void createRegistryKey(HKEY root, const std::string& path);
