// The loose reader of prerules.ini: section and key names matched without regard to
// case, headers that are wildcard patterns, keys matched by prefix or as patterns.
#pragma once

#include <string>

// The value after Key= on the key's line (blanks kept), or Default when there is none,
// it is empty, or anything fails.
std::string ReadExIniValue(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& default_value);
// The same over the file's text, lines ending with CR LF or a lone CR.
std::string ReadExIniText(const std::string& text, const std::string& section,
                          const std::string& key, const std::string& default_value);
