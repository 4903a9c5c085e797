#include "platform/portable/host_path.h"
#include "platform/portable/text.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <vector>

namespace platform::portable {
namespace {

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// The entry of `folder` whose name equals `name` without regard to case, or `name`.
std::string MatchInFolder(const std::string& folder, const std::string& name) {
  std::string exact = (folder.empty() ? std::string() : folder + "/") + name;
  if (name.find_first_of("*?") != std::string::npos || Exists(exact))
    return name;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir)
    return name;
  std::string found = name;
  while (dirent* entry = readdir(dir)) {
    if (SameText(entry->d_name, name)) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace

std::string ToHostPath(const std::string& windows_path) {
  std::string rest = windows_path;
  std::string host;
  if (rest.size() >= 2 && rest[1] == ':') {
    if (std::toupper(static_cast<unsigned char>(rest[0])) != 'C')
      return "";
    rest = rest.substr(2);
    host = "";  // the root: components are appended with "/"
    if (rest.empty())
      return "/";
  } else if (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) {
    host = "";
  } else {
    host = ".";
  }
  bool absolute = host.empty();
  std::vector<std::string> parts;
  std::string part;
  for (char c : rest) {
    if (c == '\\' || c == '/') {
      if (!part.empty())
        parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty())
    parts.push_back(part);
  if (parts.empty())
    return absolute ? "/" : ".";
  std::string folder = absolute ? "" : ".";
  for (const std::string& name : parts) {
    std::string resolved = (name == "." || name == "..")
                               ? name
                               : MatchInFolder(absolute && folder.empty() ? "/" : folder, name);
    folder = (absolute && folder.empty()) ? "/" + resolved : folder + "/" + resolved;
  }
  if (!absolute && folder.rfind("./", 0) == 0)
    folder = folder.substr(2);
  if (!windows_path.empty() && (windows_path.back() == '\\' || windows_path.back() == '/'))
    folder += "/";
  return folder;
}

std::string FromHostPath(const std::string& host_path) {
  std::string result = host_path;
  for (char& c : result)
    if (c == '/')
      c = '\\';
  if (!host_path.empty() && host_path[0] == '/')
    result = "C:" + result;
  return result;
}

}  // namespace platform::portable
