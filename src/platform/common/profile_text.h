// The profile reader over a file's text, for the reader's own callers and for driving it
// with any text at all (fuzz/).
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// What ReadProfileText gives for a file holding Text.
std::string ReadProfileFromText(const std::string& text,
                                const std::string& section,
                                const std::string& key,
                                const std::string& default_value,
                                std::size_t capacity);

}  // namespace platform
