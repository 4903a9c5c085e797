// Case-insensitive comparison for the portable layer, which stands in for a system whose
// names (files, registry keys, profile sections) ignore case.
#pragma once

#include <cctype>
#include <string>

namespace platform::portable {

inline std::string LowerText(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

inline bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && LowerText(a) == LowerText(b);
}

}  // namespace platform::portable
