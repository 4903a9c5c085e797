#include "platform/shell.h"

#include <map>

#include "platform/files.h"
#include "platform/portable/host_path.h"
#include "platform/common/test_switches.h"

namespace platform {
namespace {

bool EndsWithLnk(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".lnk";
}

}  // namespace

// The host has no shell: the Startup folders exist only where a test puts them.
std::string SpecialFolderPath(int folder_number) {
  auto found = test_switches::SpecialFolders().find(folder_number);
  return found == test_switches::SpecialFolders().end() ? "" : found->second;
}

bool ListFolderItems(const std::string& folder, std::vector<ShellItem>* items) {
  items->clear();
  if (folder.empty() || !FolderExists(folder)) return false;
  std::string base = folder.back() == '\\' ? folder : folder + "\\";
  for (const FoundFile& found : FindFiles(base + "*")) {
    // Hidden and system at once is the shell's own (desktop.ini): never an item.
    if ((found.attributes & kAttrHidden) && (found.attributes & kAttrSystem))
      continue;
    ShellItem item;
    item.path = base + found.name;
    item.file_system = true;
    item.folder = found.attributes & kAttrDirectory;
    item.link = !item.folder && EndsWithLnk(found.name);
    // As the shell shows shortcuts: without their extension.
    item.display_name = item.link ? found.name.substr(0, found.name.size() - 4) : found.name;
    items->push_back(item);
  }
  return true;
}

std::string ShortcutTarget(const std::string& link_path) {
  std::string bytes;
  if (!ReadWholeFile(link_path, &bytes)) return "";
  std::string::size_type end = bytes.find_first_of("\r\n");
  return end == std::string::npos ? bytes : bytes.substr(0, end);
}

bool CreateShortcut(const std::string& link_path, const std::string& target) {
  return WriteWholeFile(link_path, target);
}

}  // namespace platform
