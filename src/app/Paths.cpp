#include "app/Paths.h"

#include "platform/files.h"

namespace {

// What a folder search takes as a pattern (its wildcards, the DOS ones too) or as no
// file at all (a stream of one).
bool OnlySearchable(const std::string& path) {
  return path.find_first_of("*?<>\"") != std::string::npos ||
         path.find(':', 2) != std::string::npos;
}

}  // namespace

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  // Whatever its attributes: a file that is hidden and system at once is still there, and
  // harmful programs hide so. A plain path is asked about directly: a scan checks every
  // entry's file, and a folder search costs several times as much.
  if (!OnlySearchable(path)) {
    uint32_t attributes = 0;
    return platform::ReadAttributes(path, &attributes) && !(attributes & platform::kAttrDirectory);
  }
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
