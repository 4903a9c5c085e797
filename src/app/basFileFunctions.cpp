#include "app/basFileFunctions.h"

#include "platform/files.h"

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  // Whatever its attributes: a file that is hidden and system at once is still there, and
  // harmful programs hide so.
  for (const platform::FoundFile& file : platform::FindFiles(path))
    if (!(file.attributes & platform::kAttrDirectory))
      return true;
  return false;
}

std::string GetFileName(const std::string& path) {
  if (path.size() < 4) return path;
  std::string::size_type cut = path.find_last_of('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string GetFileExtension(const std::string& path) {
  std::string::size_type dot = path.find_last_of('.');
  return dot == std::string::npos ? "" : path.substr(dot + 1);
}

std::string GetFileBaseName(const std::string& path) {
  std::string name = GetFileName(path);
  std::string::size_type dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// Only the last backslash counts: the same tail earlier in the path belongs to it.
std::string GetFolderPath(const std::string& path) {
  std::string::size_type cut = path.find_last_of('\\');
  return cut == std::string::npos ? "" : path.substr(0, cut);
}
