#include "guard/CommandResolution.h"

#include <algorithm>
#include <vector>

#include "app/ErrorScope.h"
#include "app/TextFunctions.h"
#include "app/Paths.h"
#include "platform/files.h"
#include "platform/system.h"

namespace {

const char* const kSearchExtensions[] = {"exe", "com", "scr", "pif", "bat", "cmd"};
const char* const kCommandExtensions[] = {".exe", ".com", ".scr", ".bat", ".pif"};

// Every expansion removes the "%" signs, so the loop ends by itself; the cap is only a
// guard against a mistake of ours turning into a hang of the guard.
constexpr int kMaxRounds = 64;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

bool IsDrivePath(const std::string& s) {
  return s.size() >= 2 && s[1] == ':';
}

// "%name%rest": the variable's value, Glue, and the text after the second "%" up to a
// third; every "%" removed. False (text untouched) when there is no variable to read:
// no second "%", or nothing between the two.
bool ExpandLeadingVariable(std::string& s, const std::string& glue) {
  std::vector<std::string> pieces = SplitText(s, "%");
  if (pieces.size() < 3 || pieces[1].empty())
    return false;
  s = RemoveAll(platform::GetEnv(pieces[1]) + glue + pieces[2], "%");
  return true;
}

// An unquoted drive path with blanks: cut after its first program extension.
std::string CutAfterExtension(const std::string& s) {
  for (const char* extension : kCommandExtensions) {
    std::string::size_type found = s.find(extension);
    if (found != std::string::npos)
      return s.substr(0, found) + extension;
  }
  std::size_t blanks = static_cast<std::size_t>(std::count(s.begin(), s.end(), ' '));
  std::string::size_type dot = s.find('.');
  if (blanks >= 2 && dot != std::string::npos)
    return s.substr(0, dot + 4);
  return s;
}

std::string WithFirstExistingExtension(const std::string& s) {
  for (const char* extension : kCommandExtensions)
    if (FileExists(s + extension))
      return s + extension;
  return s;
}

// The folders an environment value names: each item of a ";" list; an item naming a
// folder gives itself, one naming a file gives its folder.
std::vector<std::string> FoldersOfValue(const std::string& value) {
  std::vector<std::string> folders;
  for (std::string item : SplitText(value, ";")) {
    item = RemoveAll(item, "\"");
    while (item.size() > 3 && item.back() == '\\')
      item.pop_back();
    if (item.empty())
      continue;
    if (platform::FolderExists(item)) {
      folders.push_back(item);
    } else {
      std::string parent = GetFolderPath(item);
      if (!parent.empty() && platform::FolderExists(parent))
        folders.push_back(parent);
    }
  }
  return folders;
}

std::string Join(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

}  // namespace

std::string FindWithExtension(const std::string& path) {
  ErrorScope error(ErrorScope::AtEnd::kClear);
  std::string found;
  error.Try([&] {
    // The dot is looked for in the name: folders such as "jdk1.8\bin" have dots too.
    if (Contains(GetFileName(path), ".")) {
      if (FileExists(path))
        found = path;
      return;
    }
    for (const char* extension : kSearchExtensions) {
      std::string candidate = path + "." + extension;
      if (FileExists(candidate)) {
        found = candidate;
        return;
      }
    }
  });
  return found;
}

std::string FindInSystemFolders(const std::string& name) {
  ErrorScope error(ErrorScope::AtEnd::kClear);
  std::string found;
  error.Try([&] {
    if (name.empty() || Contains(name, "\\"))
      return;
    std::string windir = platform::GetEnv("windir");
    if (!windir.empty()) {
      for (const char* sub : {"\\", "\\system32\\", "\\system\\"}) {
        found = FindWithExtension(windir + sub + name);
        if (!found.empty())
          return;
      }
    }
    std::vector<std::string> entries = platform::EnvironmentEntries();
    for (std::size_t i = 0; i < entries.size() && i < 255; ++i) {
      std::vector<std::string> parts = SplitText(entries[i], "=");
      if (parts.size() < 2 || parts[1].empty())
        continue;
      for (const std::string& folder : FoldersOfValue(parts[1])) {
        found = FindWithExtension(Join(folder, name));
        if (!found.empty())
          return;
      }
    }
  });
  return found;
}

std::string ResolveCommandFile(const std::string& command) {
  ErrorScope error(ErrorScope::AtEnd::kClear);
  std::string s = LowerCase(command);
  error.Try([&] {
    if (s.empty())
      return;
    // rundll32 runs the library named before the comma.
    for (const char* host : {"rundll32 ", "rundll32.exe "}) {
      if (!Contains(s, host))
        continue;
      s = SplitText(s, host)[1];
      std::string::size_type comma = s.find(',');
      if (comma != std::string::npos)
        s = s.substr(0, comma);
      break;
    }
    if (FileExists(s))
      return;

    bool drive_path_without_blanks = false;
    for (int round = 0; round < kMaxRounds; ++round) {
      if (!s.empty() && s[0] == '"') {
        std::vector<std::string> pieces = SplitText(s, "\"");
        s = pieces.size() >= 3 ? pieces[1] : RemoveAll(s, "\"");
      }
      s = RemoveAll(s, "\"");
      if (Contains(s, " ")) {
        if (!IsDrivePath(s)) {
          if (!s.empty() && s[0] == '%') {
            if (!ExpandLeadingVariable(s, "\\"))
              return;
            continue;
          }
          s = s.substr(0, s.find(' '));
          std::string system = FindInSystemFolders(s);
          if (!system.empty())
            s = system;
        } else {
          s = CutAfterExtension(s);
        }
      }
      if (Contains(s, " "))
        return;
      if (IsDrivePath(s)) {
        drive_path_without_blanks = true;
        break;
      }
      if (FileExists(s))
        return;
      if (!Contains(s, "."))
        s = WithFirstExistingExtension(s);
      if (s.empty() || s[0] != '%') {
        std::string system = FindInSystemFolders(s);
        if (!system.empty())
          s = system;
        return;
      }
      if (!ExpandLeadingVariable(s, ""))
        return;
    }
    if (!drive_path_without_blanks)
      return;
    // A name with a dot is taken as it is: only one without is looked for on disk.
    if (!Contains(GetFileName(s), ".") && !FileExists(s)) {
      for (const char* extension : kCommandExtensions)
        if (FileExists(s + extension))
          s += extension;
    }
  });
  return s;
}

std::string FileAsCommandSpellsIt(const std::string& command, const std::string& file) {
  std::string::size_type at = LowerCase(command).find(LowerCase(file));
  return file.empty() || at == std::string::npos ? file : command.substr(at, file.size());
}
