// INI files through the platform's profile functions (ver.ini, updates.ini, virrules.ini).
#pragma once

#include <string>

// The value, cut to 998 characters, or Default when the file, section or key is missing.
// An existing key with an empty value gives the empty text.
std::string GetIniValue(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& default_value);
// True once the write was attempted.
bool SetIniValue(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value);
