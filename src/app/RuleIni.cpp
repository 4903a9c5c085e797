#include "app/RuleIni.h"

#include <optional>
#include <vector>

#include "app/LikePattern.h"
#include "app/TextFunctions.h"
#include "platform/files.h"

namespace {

// Lines end with CR LF or a lone CR; a lone LF belongs to the line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lines.push_back(line);
      line.clear();
      if (i + 1 < text.size() && text[i + 1] == '\n')
        ++i;
    } else {
      line += text[i];
    }
  }
  if (!line.empty())
    lines.push_back(line);
  return lines;
}

// The line is the key's line when it starts with Key, or when Key matches the line
// (with every Key= taken out) as a pattern. A section header is never read as a
// pattern: "[SecurityHealth]" would be a character class holding c, and every
// section whose name has a c, d or f in it would lose its C, D or F line to it.
std::optional<bool> IsKeyLine(const std::string& line, const std::string& key) {
  std::string lower_line = LowerCase(line);
  std::string lower_key = LowerCase(key);
  if (lower_line.compare(0, lower_key.size(), lower_key) == 0 &&
      lower_line.size() >= lower_key.size())
    return true;
  if (!line.empty() && line[0] == '[')
    return false;
  return MatchesLikePattern(lower_key, RemoveAll(lower_line, lower_key + "="));
}

// The text after the first Key= up to a second one; no value when there is no Key=.
std::optional<std::string> ValueOnLine(const std::string& line, const std::string& key) {
  std::string marker = LowerCase(key) + "=";
  std::string lower_line = LowerCase(line);
  std::size_t first = lower_line.find(marker);
  if (first == std::string::npos)
    return std::nullopt;
  std::size_t start = first + marker.size();
  std::size_t second = lower_line.find(marker, start);
  return line.substr(start, second == std::string::npos ? std::string::npos : second - start);
}

std::optional<std::string> FindValue(const std::string& text,
                                     const std::string& section,
                                     const std::string& key) {
  bool in_section = false;
  for (const std::string& line : SplitLines(text)) {
    if (!line.empty() && line[0] == '[') {
      if (!in_section && LowerCase(line) == LowerCase("[" + section + "]")) {
        in_section = true;
      } else {
        std::string header = RemoveAll(RemoveAll(LowerCase(line), "["), "]");
        std::optional<bool> matches = MatchesLikePattern(LowerCase(section), header);
        if (!matches)
          return std::nullopt;
        if (*matches)
          in_section = true;
        else if (in_section)
          return std::nullopt;  // the section ended without the key
      }
    }
    if (!in_section)
      continue;
    std::optional<bool> key_line = IsKeyLine(line, key);
    if (!key_line)
      return std::nullopt;
    if (*key_line)
      return ValueOnLine(line, key);
  }
  return std::nullopt;
}

}  // namespace

std::string ReadExIniValue(const std::string& file,
                           const std::string& section,
                           const std::string& key,
                           const std::string& default_value) {
  std::string text;
  if (!platform::ReadWholeFile(file, &text))
    return default_value;
  return ReadExIniText(text, section, key, default_value);
}

std::string ReadExIniText(const std::string& text,
                          const std::string& section,
                          const std::string& key,
                          const std::string& default_value) {
  std::optional<std::string> value = FindValue(text, section, key);
  return value && !value->empty() ? *value : default_value;
}
