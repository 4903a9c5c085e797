#include "ui/Links.h"

#include "platform/files.h"
#include "platform/shell_open.h"
#include "platform/system.h"

namespace {

// What a directory listing with normal attributes shows: no folders, nothing hidden
// or system.
bool ListedAsNormalFile(const std::string& path) {
  for (const platform::FoundFile& found : platform::FindFiles(path)) {
    if (!(found.attributes &
          (platform::kAttrDirectory | platform::kAttrHidden | platform::kAttrSystem)))
      return true;
  }
  return false;
}

}  // namespace

void OpenUrlInBrowser(const std::string& url) {
  std::string program_files = platform::GetEnv("programfiles");
  const char* browsers[] = {"\\internet explorer\\iexplore.exe", "\\mozilla firefox\\firefox.exe",
                            "\\opera\\opera.exe"};
  for (const char* browser : browsers) {
    std::string path = program_files + browser;
    if (!ListedAsNormalFile(path))
      continue;
    platform::OpenWithShell("open", path, url, "", platform::kShowNormal);
    return;
  }
}
