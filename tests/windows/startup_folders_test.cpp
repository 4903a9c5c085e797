// The prefix's own Startup folders and Run keys, with shortcuts made by the shell.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/Paths.h"
#include "app/TextFunctions.h"
#include "guard/Blocking.h"
#include "guard/Locations.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         LowerCase(text.substr(text.size() - tail.size())) == LowerCase(tail);
}

// Removes the shortcuts a test put into a real folder.
class PlantedFiles {
 public:
  ~PlantedFiles() {
    for (const std::string& path : paths_) {
      platform::WriteAttributes(path, platform::kAttrNormal);
      platform::RemoveFile(path);
    }
  }
  std::string Add(const std::string& path) { return paths_.emplace_back(path); }

 private:
  std::vector<std::string> paths_;
};

const StartupEntry* Find(const StartupEntryList& entries, const std::string& location) {
  auto found = std::find_if(entries.begin(), entries.end(), [&](const StartupEntry& e) {
    return LowerCase(e.Location) == LowerCase(location);
  });
  return found == entries.end() ? nullptr : &*found;
}

class RealStartupTest : public ::testing::Test {
 protected:
  RealStartupTest() : program_(folder_.File("Runwarden.exe")) {
    sandbox_.Own(kHkcuRun);
    sandbox_.Own(kStartupRegBackupKey);
    sandbox_.Own(kStartupFolderBackupKey);
  }

  RegistrySandbox sandbox_;
  TestFolder folder_;
  ProgramLocation program_;
  PlantedFiles planted_;
};

}  // namespace

// What the unit tests cannot fake: the folders the shell names, and shortcuts the shell
// made, here of the same name in both folders and to a hidden system file (a file that
// is there): collected after the registry with their targets, and moved aside when
// blocked, each with a backup of its own.
TEST_F(RealStartupTest, RealShortcutsInBothFoldersAreCollectedAndMovedAsideWhenBlocked) {
  std::string user = platform::SpecialFolderPath(platform::kFolderStartup);
  std::string common = platform::SpecialFolderPath(platform::kFolderCommonStartup);
  EXPECT_TRUE(EndsWith(user, "\\Start Menu\\Programs\\StartUp")) << user;
  EXPECT_TRUE(EndsWith(common, "\\Start Menu\\Programs\\StartUp")) << common;
  EXPECT_NE(LowerCase(user), LowerCase(common));
  EXPECT_EQ(platform::SpecialFolderPath(0x7FFF), "");
  platform::CreateFolder(common);
  std::string tool = folder_.Write("hidden tool.exe", "MZ");
  std::string in_user = planted_.Add(user + "\\RwTest Tool.lnk");
  std::string in_common = planted_.Add(common + "\\RwTest Tool.lnk");
  ASSERT_TRUE(platform::CreateShortcut(in_user, tool));
  ASSERT_TRUE(platform::CreateShortcut(in_common, tool));
  ASSERT_TRUE(platform::WriteAttributes(tool, platform::kAttrHidden | platform::kAttrSystem));
  WriteRegValue(kHkcuRun, "RwTest Run", "C:\\Prog\\upd.exe /quiet");

  StartupEntryList entries = CollectStartupEntries();
  const StartupEntry* run = Find(entries, kHkcuRun);
  const StartupEntry* first = Find(entries, in_common);
  const StartupEntry* second = Find(entries, in_user);
  ASSERT_TRUE(run && first && second);
  // All users' folder before the user's, both after the registry.
  EXPECT_LT(run, first);
  EXPECT_LT(first, second);
  std::string pss = folder_.File("pss");
  std::vector<std::string> backups;
  for (const StartupEntry* entry : {first, second}) {
    EXPECT_EQ(entry->Name, "RwTest Tool");
    EXPECT_EQ(LowerCase(entry->Command), LowerCase(tool));
    ASSERT_TRUE(RemoveStartupEntry(*entry, tool, pss));
    EXPECT_FALSE(FileExists(entry->Location));
    backups.push_back(ReadRegValue(BackupKeyOf(*entry), "backup", ""));
    EXPECT_EQ(LowerCase(platform::ShortcutTarget(backups.back())), LowerCase(tool))
        << backups.back();
  }
  EXPECT_NE(backups[0], backups[1]);
  EXPECT_EQ(folder_.Read("log.log"), "");
  platform::WriteAttributes(tool, platform::kAttrNormal);
}
