// The platform of version 5 for real: Wine told to be Windows XP (winxp64) reports 5.2.
// The suite "windows_winxp64_suite" runs these in a prefix of its own switched that way;
// in any other prefix they have nothing to prove and are skipped.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/TextFunctions.h"
#include "app/basSettings.h"
#include "app/basWindows.h"
#include "guard/Blocking.h"
#include "guard/basGuard.h"
#include "guard/basScan.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "registry/basReg.h"
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

TEST_F(RealVersion5Test, TheSystemSaysFiveAndTheTasksFolderIsWatched) {
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
  EXPECT_LT(run, task);  // the registry first, the tasks folder last
}

// On version 5 a blocked Startup file's backup says "startup" and carries no time.
TEST_F(RealVersion5Test, ABlockedStartupFileHasTheBackupOfVersionFive) {
  ProgramLocation program(folder_.File("Runwarden.exe"));
  std::string user = platform::SpecialFolderPath(platform::kFolderStartup);
  std::string file = user + "\\RwTest Xp.bat";
  ASSERT_TRUE(platform::WriteWholeFile(file, "@echo"));
  StartupEntry entry{"RwTest Xp", file, file, "2"};
  ASSERT_TRUE(RemoveStartupEntry(entry, file, folder_.File("pss")));
  std::string key = BackupKeyOf(entry);
  EXPECT_EQ(ReadRegValue(key, "location", ""), "startup");
  EXPECT_EQ(ReadRegValue(key, "path", ""), file);
  EXPECT_EQ(ReadRegValue(key, "HOUR", "none"), "none");
  EXPECT_EQ(ReadRegValue(key, "backupExtension", "none"), "none");
}

// The repair runs only on version 5: here it puts the hijacked settings back for real.
TEST_F(RealVersion5Test, TheRepairPutsHijackedSettingsBackAndRaisesTheAlert) {
  WriteRegValue(kCuSystem, "DisableTaskMgr", "1", true);
  WriteRegValue(kWinlogon, "Shell", "explorer.exe evil.exe");
  RepairSystemSettings();
  EXPECT_EQ(ReadRegValue(kCuSystem, "DisableTaskMgr", ""), "0");
  EXPECT_EQ(ReadRegValue(kWinlogon, "Shell", ""), "explorer.exe");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "ALERT", ""), "1");
  RepairSystemSettings();
  EXPECT_EQ(ReadRegValue(kSettingsKey, "ALERT", ""), "0");
}
