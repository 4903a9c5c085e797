// Our own reader and writer with the rules of GetPrivateProfileString and
// WritePrivateProfileString, for both builds: Windows reads and writes these files in the
// ANSI code page, where a name outside it is lost, while ours keep the program's UTF-8
// (and plain ASCII files are byte for byte what Windows writes). Section and key names
// are compared without regard to case, blanks around names and values removed, one pair
// of surrounding quotes dropped, the first of two equal keys wins, files and sections
// created on write.
#include "platform/profile.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/files.h"
#include "platform/common/profile_text.h"

namespace platform {
namespace {

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Trim(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos)
    return "";
  std::size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
        ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty())
    lines.push_back(line);
  return lines;
}

// "[name]" gives name; anything else is not a header.
bool SectionName(const std::string& line, std::string* name) {
  std::string trimmed = Trim(line);
  if (trimmed.empty() || trimmed[0] != '[')
    return false;
  std::size_t close = trimmed.find(']');
  *name = Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

bool KeyLine(const std::string& line, std::string* key, std::string* value) {
  std::string trimmed = Trim(line);
  if (trimmed.empty() || trimmed[0] == ';')
    return false;
  std::size_t equals = trimmed.find('=');
  *key = Trim(trimmed.substr(0, equals));
  *value = equals == std::string::npos ? "" : Trim(trimmed.substr(equals + 1));
  return true;
}

std::string Unquote(const std::string& value) {
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    return value.substr(1, value.size() - 2);
  return value;
}

}  // namespace

std::string ReadProfileText(const std::string& file,
                            const std::string& section,
                            const std::string& key,
                            const std::string& default_value,
                            std::size_t capacity) {
  std::string text;
  if (!ReadWholeFile(file, &text))
    text.clear();
  return ReadProfileFromText(text, section, key, default_value, capacity);
}

std::string ReadProfileFromText(const std::string& text,
                                const std::string& section,
                                const std::string& key,
                                const std::string& default_value,
                                std::size_t capacity) {
  std::string result = Trim(default_value);
  bool in_section = false;
  for (const std::string& line : SplitLines(text)) {
    std::string name, line_key, value;
    if (SectionName(line, &name)) {
      if (in_section)
        break;
      in_section = SameText(name, Trim(section));
    } else if (in_section && KeyLine(line, &line_key, &value) && SameText(line_key, Trim(key))) {
      result = Unquote(value);
      break;
    }
  }
  if (capacity == 0)
    return "";
  if (result.size() > capacity - 1)
    result.resize(capacity - 1);
  return result;
}

bool WriteProfileText(const std::string& file,
                      const std::string& section,
                      const std::string& key,
                      const std::string& value) {
  std::string text;
  ReadWholeFile(file, &text);
  std::vector<std::string> lines = SplitLines(text);
  std::string entry = Trim(key) + "=" + value;

  std::size_t section_line = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name;
    if (SectionName(lines[i], &name) && SameText(name, Trim(section))) {
      section_line = i;
      break;
    }
  }
  if (section_line == lines.size()) {
    lines.push_back("[" + section + "]");
    lines.push_back(entry);
  } else {
    std::size_t insert_at = section_line + 1;
    bool replaced = false;
    for (std::size_t i = section_line + 1; i < lines.size(); ++i) {
      std::string name, line_key, line_value;
      if (SectionName(lines[i], &name))
        break;
      if (KeyLine(lines[i], &line_key, &line_value)) {
        if (SameText(line_key, Trim(key))) {
          lines[i] = entry;
          replaced = true;
          break;
        }
        insert_at = i + 1;
      }
    }
    if (!replaced)
      lines.insert(lines.begin() + static_cast<long>(insert_at), entry);
  }

  std::string out;
  for (const std::string& line : lines)
    out += line + "\r\n";
  return WriteWholeFile(file, out);
}

}  // namespace platform
