// The platform of version 5 for real: Wine told to be Windows XP (winxp64) reports 5.2.
// The suite "windows_winxp64_suite" runs these in a prefix of its own switched that way;
// in any other prefix they have nothing to prove and are skipped.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/OsVersion.h"
#include "app/Settings.h"
#include "app/TextFunctions.h"
#include "guard/Blocking.h"
#include "guard/Locations.h"
#include "guard/Scan.h"
#include "guard/SettingsRepair.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/TestFolder.h"

namespace {

const StartupEntry* FindAt(const StartupEntryList& entries, const std::string& location) {
  auto found = std::find_if(entries.begin(), entries.end(), [&](const StartupEntry& entry) {
    return EqualsIgnoringCase(entry.Location, location);
  });
  return found == entries.end() ? nullptr : &*found;
}

class RealVersion5Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (platform::GetEnv("RUNWARDEN_WINE_VERSION") != "winxp64")
      GTEST_SKIP() << "needs the prefix that the winxp64 suite switches to Windows XP";
    sandbox_.Own(kHkcuRun);
    sandbox_.Own(kCuSystem);
    sandbox_.Own(kStartupFolderBackupKey);
  }

  RegistrySandbox sandbox_;
  TestFolder folder_;
};

}  // namespace

// Wine's real version 5 and what hangs on it (each proven through a version override in
// the unit tests): the tasks folder is watched, after the registry; a blocked Startup
// file's backup says "startup" and carries no time; the repair puts hijacked settings
// back and raises the alert.
TEST_F(RealVersion5Test, TheSystemSaysFiveAndWhatHangsOnItFollows) {
  ASSERT_EQ(GetOSMajorVersion(), 5);
  std::string tasks = platform::GetEnv("windir") + "\\tasks";
  platform::CreateFolder(tasks);
  std::string job = tasks + "\\RwTest Nightly.job";
  ASSERT_TRUE(platform::WriteWholeFile(job, "job"));
  WriteRegValue(kHkcuRun, "RwTest Run", "C:\\Prog\\upd.exe");
  StartupEntryList entries = CollectStartupEntries();
  platform::RemoveFile(job);
  const StartupEntry* task = FindAt(entries, job);
  ASSERT_NE(task, nullptr) << "the tasks folder was not read";
  EXPECT_EQ(task->Command, task->Location);
  const StartupEntry* run = FindAt(entries, kHkcuRun);
  ASSERT_NE(run, nullptr);
  EXPECT_LT(run, task);

  ProgramLocation program(folder_.File("Runwarden.exe"));
  std::string file = platform::SpecialFolderPath(platform::kFolderStartup) + "\\RwTest Xp.bat";
  ASSERT_TRUE(platform::WriteWholeFile(file, "@echo"));
  StartupEntry entry{"RwTest Xp", file, file, "2"};
  ASSERT_TRUE(RemoveStartupEntry(entry, file, folder_.File("pss")));
  EXPECT_EQ(ReadRegValue(BackupKeyOf(entry), "location", ""), "startup");
  EXPECT_EQ(ReadRegValue(BackupKeyOf(entry), "HOUR", "none"), "none");

  WriteRegValue(kCuSystem, "DisableTaskMgr", "1", true);
  WriteRegValue(kWinlogon, "UIHost", "evil.exe");
  RepairSystemSettings();
  EXPECT_EQ(ReadRegValue(kCuSystem, "DisableTaskMgr", ""), "0");
  EXPECT_EQ(ReadRegValue(kWinlogon, "UIHost", ""), "%windir%\\resources\\logon\\logonui.exe");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "ALERT", ""), "1");
}
