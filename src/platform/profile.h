// Private profile (INI) files with the platform's rules: sections and keys matched
// without regard to case, blanks around values removed, files and sections created on write.
// The text is the program's own UTF-8 on both platforms.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// What the platform copies into a buffer of `capacity` characters: at most capacity - 1.
// A missing file, section or key gives the default.
std::string ReadProfileText(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& default_value,
                             std::size_t capacity);
bool WriteProfileText(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace platform
