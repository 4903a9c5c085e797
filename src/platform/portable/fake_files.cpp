#include "platform/portable/fake_files.h"

#include <fnmatch.h>

#include <cctype>

namespace platform::portable {
namespace {

bool g_active = false;
std::vector<std::string> g_files;  // normalised

// Lower case, backslashes, no doubled or trailing backslash, drive C: for a path that
// starts at the root; empty for a relative path or another drive.
std::string Normal(const std::string& path) {
  std::string text;
  for (char c : path) {
    c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c == '\\' && !text.empty() && text.back() == '\\')
      continue;
    text += c;
  }
  if (!text.empty() && text[0] == '\\')
    text = "c:" + text;
  while (text.size() > 2 && text.back() == '\\')
    text.pop_back();
  return text.rfind("c:", 0) == 0 ? text : "";
}

// The direct children of Folder: each file or folder name once.
std::vector<FoundFile> Children(const std::string& folder) {
  std::vector<FoundFile> children;
  std::string prefix = folder + "\\";
  for (const std::string& path : g_files) {
    if (path.rfind(prefix, 0) != 0)
      continue;
    std::string rest = path.substr(prefix.size());
    std::string::size_type cut = rest.find('\\');
    FoundFile child{rest.substr(0, cut), cut == std::string::npos ? kAttrNormal : kAttrDirectory};
    bool seen = false;
    for (const FoundFile& other : children)
      seen = seen || other.name == child.name;
    if (!seen)
      children.push_back(child);
  }
  return children;
}

}  // namespace

void SetFakeFilesForTesting(const std::vector<std::string>* files) {
  g_active = files != nullptr;
  g_files.clear();
  if (files)
    for (const std::string& file : *files)
      g_files.push_back(Normal(file));
}

bool FakeFindFiles(const std::string& pattern, std::vector<FoundFile>* found) {
  if (!g_active)
    return false;
  found->clear();
  std::string::size_type cut = pattern.find_last_of("\\/");
  if (cut == std::string::npos)
    return true;  // relative: nothing there
  std::string folder = Normal(pattern.substr(0, cut + 1));
  std::string name_pattern = pattern.substr(cut + 1);
  if (folder.empty() || name_pattern.empty())
    return true;
  for (const FoundFile& child : Children(folder))
    if (fnmatch(name_pattern.c_str(), child.name.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) == 0)
      found->push_back(child);
  return true;
}

bool FakeReadAttributes(const std::string& path, bool* exists, uint32_t* attributes) {
  if (!g_active)
    return false;
  std::string wanted = Normal(path);
  *exists = false;
  if (wanted.empty())
    return true;
  if (wanted == "c:") {
    *exists = true;
    *attributes = kAttrDirectory;
    return true;
  }
  for (const std::string& normal : g_files) {
    if (normal == wanted) {
      *exists = true;
      *attributes = kAttrNormal;
      return true;
    }
    if (normal.rfind(wanted + "\\", 0) == 0) {
      *exists = true;
      *attributes = kAttrDirectory;
    }
  }
  return true;
}

}  // namespace platform::portable
