#include "app/TextCompare.h"

#include <cctype>

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && LowerCase(a) == LowerCase(b);
}

std::string::size_type FindIgnoringCase(const std::string& text, const std::string& what,
                                        std::string::size_type from) {
  return LowerCase(text).find(LowerCase(what), from);
}
