#pragma once

// The class lookup as a single driver would make it: open
// HKEY_CLASSES_ROOT\clsid, enumerate its keys from the first, lowercasing
// each name, up to the first equal to clsidText, and test that class's
// server. The cost the shared lookup is measured against.
bool literalFindServerPath(const char* clsidText);
