#include "app/TextFunctions.h"

#include <cctype>

namespace {

// Replaces each occurrence of `what` found in `haystack` (a same-length view of text used
// only for searching) by `with`.
std::string ReplaceFound(const std::string& text,
                         const std::string& haystack,
                         const std::string& what,
                         const std::string& with) {
  if (what.empty())
    return text;
  std::string result;
  std::string::size_type start = 0, found;
  while ((found = haystack.find(what, start)) != std::string::npos) {
    result += text.substr(start, found - start) + with;
    start = found + what.size();
  }
  return result + text.substr(start);
}

}  // namespace

std::string LowerCase(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string UpperCase(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && LowerCase(a) == LowerCase(b);
}

std::string::size_type FindIgnoringCase(const std::string& text,
                                        const std::string& what,
                                        std::string::size_type from) {
  return LowerCase(text).find(LowerCase(what), from);
}

std::vector<std::string> SplitText(const std::string& text, const std::string& separator) {
  std::vector<std::string> pieces;
  if (separator.empty())
    return {text};
  std::string::size_type start = 0, found;
  while ((found = text.find(separator, start)) != std::string::npos) {
    pieces.push_back(text.substr(start, found - start));
    start = found + separator.size();
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

std::string ReplaceAll(const std::string& text, const std::string& what, const std::string& with) {
  return ReplaceFound(text, text, what, with);
}

std::string RemoveAll(const std::string& text, const std::string& what) {
  return ReplaceFound(text, text, what, "");
}

std::string RemoveAllIgnoringCase(const std::string& text, const std::string& what) {
  return ReplaceFound(text, LowerCase(text), LowerCase(what), "");
}
