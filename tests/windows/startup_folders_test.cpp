// The prefix's own Startup folders and Run keys, with shortcuts made by the shell.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "app/TextFunctions.h"
#include "app/basFileFunctions.h"
#include "guard/Blocking.h"
#include "guard/RuleLists.h"
#include "guard/basGuard.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && LowerCase(text.substr(text.size() - tail.size())) == LowerCase(tail);
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
    sandbox_.Own(kHklmRun);
    sandbox_.Own(kStartupRegBackupKey);
    sandbox_.Own(kStartupFolderBackupKey);
  }

  RegistrySandbox sandbox_;
  TestFolder folder_;
  ProgramLocation program_;
  PlantedFiles planted_;
};

}  // namespace

TEST_F(RealStartupTest, TheShellNamesTheStartupFolders) {
  std::string user = platform::SpecialFolderPath(platform::kFolderStartup);
  std::string common = platform::SpecialFolderPath(platform::kFolderCommonStartup);
  EXPECT_TRUE(EndsWith(user, "\\Start Menu\\Programs\\StartUp")) << user;
  EXPECT_TRUE(EndsWith(common, "\\Start Menu\\Programs\\StartUp")) << common;
  EXPECT_NE(LowerCase(user), LowerCase(common));
  EXPECT_TRUE(platform::FolderExists(user));
  EXPECT_EQ(platform::SpecialFolderPath(0x7FFF), "");
}

TEST_F(RealStartupTest, ShortcutsInTheRealFoldersAreCollectedWithTheirTargets) {
  std::string user = platform::SpecialFolderPath(platform::kFolderStartup);
  std::string common = platform::SpecialFolderPath(platform::kFolderCommonStartup);
  platform::CreateFolder(common);
  std::string tray = folder_.Write("tray.exe", "MZ");
  std::string helper = folder_.Write("helper.exe", "MZ");
  ASSERT_TRUE(platform::CreateShortcut(planted_.Add(user + "\\RwTest Tray.lnk"), tray));
  ASSERT_TRUE(platform::CreateShortcut(planted_.Add(common + "\\RwTest Helper.lnk"), helper));
  WriteRegValue(kHkcuRun, "RwTest Run", "C:\\Prog\\upd.exe /quiet");

  StartupEntryList entries = CollectStartupEntries();
  const StartupEntry* tray_entry = Find(entries, user + "\\RwTest Tray.lnk");
  const StartupEntry* helper_entry = Find(entries, common + "\\RwTest Helper.lnk");
  ASSERT_NE(tray_entry, nullptr);
  ASSERT_NE(helper_entry, nullptr);
  EXPECT_EQ(tray_entry->Name, "RwTest Tray");
  EXPECT_EQ(LowerCase(tray_entry->Command), LowerCase(tray));
  EXPECT_EQ(tray_entry->Kind, "2");
  EXPECT_EQ(LowerCase(helper_entry->Command), LowerCase(helper));
  // All users' folder before the user's, both after the registry.
  EXPECT_LT(helper_entry, tray_entry);
  const StartupEntry* run = Find(entries, kHkcuRun);
  ASSERT_NE(run, nullptr);
  EXPECT_EQ(run->Name, "RwTest Run");
  EXPECT_LT(run, helper_entry);
}

// The same file name in both real Startup folders, muted and restored, and then blocked.
TEST_F(RealStartupTest, SameNamedShortcutsInBothFoldersSurviveMuteRestoreAndBlock) {
  std::string user = platform::SpecialFolderPath(platform::kFolderStartup);
  std::string common = platform::SpecialFolderPath(platform::kFolderCommonStartup);
  platform::CreateFolder(common);
  std::string tool = folder_.Write("tool.exe", "MZ");
  std::string pss = folder_.File("pss");
  std::string in_user = planted_.Add(user + "\\RwTest Tool.lnk");
  std::string in_common = planted_.Add(common + "\\RwTest Tool.lnk");
  ASSERT_TRUE(platform::CreateShortcut(in_user, tool));
  ASSERT_TRUE(platform::CreateShortcut(in_common, tool));
  std::string user_bytes, common_bytes;
  platform::ReadWholeFile(in_user, &user_bytes);
  platform::ReadWholeFile(in_common, &common_bytes);

  StartupEntryList ours;
  for (const StartupEntry& entry : CollectStartupEntries())
    if (entry.Name == "RwTest Tool") ours.push_back(entry);
  ASSERT_EQ(ours.size(), 2u);
  for (const StartupEntry& entry : ours) EXPECT_TRUE(MuteEntry(entry, pss));
  EXPECT_FALSE(FileExists(in_user));
  EXPECT_FALSE(FileExists(in_common));
  RestoreMutedEntries();
  std::string back;
  ASSERT_TRUE(platform::ReadWholeFile(in_user, &back));
  EXPECT_EQ(back, user_bytes);
  ASSERT_TRUE(platform::ReadWholeFile(in_common, &back));
  EXPECT_EQ(back, common_bytes);
  EXPECT_EQ(platform::ShortcutTarget(in_user), platform::ShortcutTarget(in_common));

  for (const StartupEntry& entry : ours) EXPECT_TRUE(RemoveStartupEntry(entry, tool, pss));
  EXPECT_FALSE(FileExists(in_user));
  std::string first = ReadRegValue(BackupKeyOf(ours[0]), "backup", "");
  std::string second = ReadRegValue(BackupKeyOf(ours[1]), "backup", "");
  EXPECT_NE(first, second);
  EXPECT_TRUE(FileExists(first)) << first;
  EXPECT_TRUE(FileExists(second)) << second;
  EXPECT_EQ(LowerCase(platform::ShortcutTarget(first)), LowerCase(tool));
}

// A hidden shortcut in the real folder is an entry; desktop.ini (hidden and system) is
// not, so it can never be blocked or deleted.
TEST_F(RealStartupTest, AHiddenShortcutIsAnEntryAndDesktopIniIsNot) {
  std::string user = platform::SpecialFolderPath(platform::kFolderStartup);
  std::string tool = folder_.Write("tool.exe", "MZ");
  std::string desktop_ini = user + "\\desktop.ini";
  uint32_t attributes = 0;
  if (!platform::ReadAttributes(desktop_ini, &attributes)) {
    ASSERT_TRUE(platform::WriteWholeFile(planted_.Add(desktop_ini), "[.ShellClassInfo]\r\n"));
    ASSERT_TRUE(platform::WriteAttributes(desktop_ini, platform::kAttrHidden | platform::kAttrSystem));
  }
  std::string hidden = planted_.Add(user + "\\RwTest Hidden.lnk");
  std::string shown = planted_.Add(user + "\\RwTest Shown.lnk");
  ASSERT_TRUE(platform::CreateShortcut(hidden, tool));
  ASSERT_TRUE(platform::CreateShortcut(shown, tool));
  ASSERT_TRUE(platform::WriteAttributes(hidden, platform::kAttrHidden));

  StartupEntryList entries = CollectStartupEntries();
  EXPECT_NE(Find(entries, shown), nullptr);
  const StartupEntry* found = Find(entries, hidden);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Name, "RwTest Hidden");
  EXPECT_EQ(LowerCase(found->Command), LowerCase(tool));
  EXPECT_EQ(Find(entries, desktop_ini), nullptr);
}

// A real shortcut whose target is a hidden system file points at a file that is there:
// blocking it moves it aside with its backup.
TEST_F(RealStartupTest, AShortcutToAHiddenSystemFileIsMovedNotDeleted) {
  std::string user = platform::SpecialFolderPath(platform::kFolderStartup);
  std::string target = folder_.Write("hidden tool.exe", "MZ");
  std::string link = planted_.Add(user + "\\RwTest To Hidden.lnk");
  ASSERT_TRUE(platform::CreateShortcut(link, target));
  ASSERT_TRUE(platform::WriteAttributes(target, platform::kAttrHidden | platform::kAttrSystem));
  StartupEntryList entries = CollectStartupEntries();
  const StartupEntry* entry = Find(entries, link);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(LowerCase(entry->Command), LowerCase(target));

  std::string pss = folder_.File("pss");
  ASSERT_TRUE(RemoveStartupEntry(*entry, target, pss));
  EXPECT_LT(platform::FileSize(link), 0);
  EXPECT_GT(platform::FileSize(pss + "\\RwTest To Hidden.lnk"), 0);
  EXPECT_EQ(ReadRegValue(BackupKeyOf(*entry), "backup", ""), pss + "\\RwTest To Hidden.lnk");
  EXPECT_EQ(folder_.Read("log.log"), "");
  platform::WriteAttributes(target, platform::kAttrNormal);
}
