// The backups of blocked entries, from msconfig's keys and Runwarden's own: listed
// newest first, restored as they were and off the Blocked list, deleted for good.
#include "guard/BlockedBackups.h"

#include <gtest/gtest.h>

#include "app/Settings.h"
#include "guard/Blocking.h"
#include "guard/HashCache.h"
#include "guard/ListKey.h"
#include "guard/OwnBackups.h"
#include "guard/RuleLists.h"
#include "guard/Scan.h"
#include "platform/files.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

using platform::RegData;

constexpr char kRunSubKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

RegData Raw(uint32_t type, const std::string& bytes, const std::string& odd_byte = "") {
  return {type, bytes, odd_byte};
}

bool ReadsAs(const std::string& key, const std::string& name, const RegData& expected) {
  RegData data;
  return ReadRegRaw(key, name, &data) && data == expected;
}

class BackupsTest : public ::testing::Test {
 protected:
  BackupsTest()
      : program_(folder_.File("Runwarden.exe")),
        windir_("windir", folder_.path()),
        now_({2026, 12, 1, 8, 0, 0}) {
    sandbox_.Own(kHkcuRun);
    sandbox_.Own(kStartupRegBackupKey);
    sandbox_.Own(kStartupFolderBackupKey);
    platform::CreateFolder(folder_.File("Startup"));
    platform::CreateFolder(PssFolder());
  }

  // The entry blocked by the scan's own step, at Time.
  void Block(const StartupEntry& entry, const std::string& file, platform::LocalTime time) {
    platform::SetNowForTesting(time);
    ASSERT_TRUE(RemoveStartupEntry(entry, file, PssFolder())) << entry.Name;
  }

  const BlockedBackup* Find(const std::vector<BlockedBackup>& backups, const std::string& name) {
    for (const BlockedBackup& backup : backups)
      if (backup.name == name)
        return &backup;
    ADD_FAILURE() << "no backup of '" << name << "'";
    return nullptr;
  }

  bool Restore(const std::string& name, std::string* problem) {
    std::vector<BlockedBackup> backups = ListBlockedBackups();
    const BlockedBackup* backup = Find(backups, name);
    return backup && RestoreBlockedBackup(*backup, problem);
  }

  std::string Digest(const std::string& file) {
    return GetFileHashCached(file, kScanHashAlgorithm);
  }

  RegistrySandbox sandbox_;
  TestFolder folder_;
  ProgramLocation program_;
  ScopedEnv windir_;
  ScopedNow now_;
  ScopedVersion version_{6};
};

}  // namespace

TEST_F(BackupsTest, EveryStoreIsListedNewestFirstWithWhatTheEntryWas) {
  std::string upd = folder_.Write("upd.exe", "MZ upd");
  WriteRegValue(kHkcuRun, "Updater", upd + " /q");
  Block({"Updater", upd + " /q", kHkcuRun, kKindRegistry}, upd, {2026, 12, 1, 8, 0, 0});
  std::string tool = folder_.Write("tool.exe", "MZ tool");
  std::string link = folder_.Write("Startup\\Tool.lnk", "shortcut");
  Block({"Tool", tool, link, kKindFile}, tool, {2026, 12, 3, 9, 30, 0});
  WriteRegValue(kHkcuRun, "Tray", "tray.exe");
  platform::SetNowForTesting({2026, 12, 2, 23, 59, 59});
  std::string own = BackUpRegistryValue(kHkcuRun, "Tray", "Tray", "tray.exe", "Somewhere\\Tray");
  ASSERT_FALSE(own.empty());
  // msconfig's own backups carry no time before version 6, nor the exact value.
  const std::string old = std::string(kStartupRegBackupKey) + "\\Old (2)";
  for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
           {"item", "old.exe"}, {"command", "C:\\old.exe"}, {"hkey", "HKLM"}, {"key", kRunSubKey}})
    WriteRegValue(old, name, text);
  WriteRegValue(kStartupRegBackupKey, "command", "C:\\unnamed.exe");
  WriteRegValue(kStartupRegBackupKey, "hkey", "HKCU");
  WriteRegValue(kStartupRegBackupKey, "key", kRunSubKey);

  std::vector<BlockedBackup> backups = ListBlockedBackups();
  ASSERT_EQ(backups.size(), 5u);
  const BlockedBackup& file = backups[0];
  EXPECT_EQ(file.store, BackupStore::kStartupFolder);
  EXPECT_EQ(file.kind, kBackupKindFile);
  EXPECT_EQ(file.name, "Tool");
  EXPECT_EQ(file.command, tool);
  EXPECT_EQ(file.location, link);
  EXPECT_EQ(file.key, BackupKeyOf({"Tool", tool, link, kKindFile}));
  EXPECT_EQ(file.copy, PssFolder() + "\\Tool.lnk");
  EXPECT_EQ(file.time.day, 3);
  EXPECT_EQ(file.time.minute, 30);
  EXPECT_EQ(backups[1].store, BackupStore::kOwn);
  EXPECT_EQ(backups[1].key, own);
  EXPECT_EQ(backups[1].location, "Somewhere\\Tray");
  EXPECT_EQ(backups[1].time.second, 59);
  const BlockedBackup& value = backups[2];
  EXPECT_EQ(value.store, BackupStore::kStartupReg);
  EXPECT_EQ(value.kind, kBackupKindValue);
  EXPECT_EQ(value.name, "Updater");
  EXPECT_EQ(value.command, upd + " /q");
  EXPECT_EQ(value.location, kHkcuRun);
  EXPECT_EQ(value.copy, "");
  EXPECT_EQ(value.time.year, 2026);
  // Those without a time come last; the name is the key's, without the " (n)" that
  // keeps same-named backups apart.
  EXPECT_EQ(backups[3].time.year, 0);
  EXPECT_EQ(backups[4].time.year, 0);
  const BlockedBackup* old_one = Find(backups, "Old");
  const BlockedBackup* unnamed = Find(backups, "");
  ASSERT_TRUE(old_one && unnamed);
  EXPECT_EQ(old_one->location, "HKLM\\" + std::string(kRunSubKey));
  EXPECT_EQ(unnamed->key, kStartupRegBackupKey);
}

// Block, then restore: each entry is back exactly as it was (type and raw bytes, the
// file's content), its backup is gone, and so is every Blocked pair of its file or
// digest; other pairs stay.
TEST_F(BackupsTest, ARestoredEntryIsAsItWasAndOffTheBlockedList) {
  std::string upd = folder_.Write("upd.exe", "MZ upd");
  const struct {
    std::string name;
    RegData data;
  } values[] = {
      {"Text", Raw(platform::kRegSz, upd + " /q" + '\0')},
      {"Expand", Raw(platform::kRegExpandSz, "%windir%\\upd.exe" + std::string(1, '\0'))},
      {"Multi", Raw(platform::kRegMultiSz, upd + '\0' + "/q" + '\0' + '\0')},
      {"Bytes", Raw(platform::kRegBinary, upd)},
      // Half a UTF-16 unit at its end, as a crafted value can have.
      {"Odd", Raw(platform::kRegSz, upd, "Z")},
      {"", Raw(platform::kRegSz, upd + '\0')},
  };
  for (const auto& v : values) {
    ASSERT_EQ(WriteRegRaw(kHkcuRun, v.name, v.data), 0) << v.name;
    Block({v.name, upd, kHkcuRun, kKindRegistry}, upd, {2026, 12, 1, 8, 0, 0});
  }
  std::string tool = folder_.Write("Startup\\tool.exe", "MZ tool");
  const std::string tool_digest = Digest(tool);
  Block({"tool.exe", tool, tool, kKindFile}, tool, {2026, 12, 1, 8, 0, 0});
  WriteRegValue(kHkcuRun, "Own", "own");
  RegData own_data = Raw(platform::kRegExpandSz, "%windir%\\own.exe" + std::string(1, '\0'));
  WriteRegRaw(kHkcuRun, "Own", own_data);
  ASSERT_FALSE(BackUpRegistryValue(kHkcuRun, "Own", "Own", "own.exe", kHkcuRun).empty());
  DeleteRegValueNamed(kHkcuRun, "Own");

  // A script host's entry is listed by its command: another command of the host stays.
  platform::CreateFolder(folder_.File("system32"));
  const std::string cmd = folder_.Write("system32\\cmd.exe", "MZ cmd");
  const std::string echo = cmd + " /c echo hello";
  WriteRegValue(kHkcuRun, "Host", echo);
  Block({"Host", echo, kHkcuRun, kKindRegistry}, cmd, {2026, 12, 1, 8, 0, 0});

  const std::string keep =
      "<#>C:\\keep.exe<#>KEEP<#>" + cmd + "<#>" + CommandTextKey(cmd + " /c x");
  WriteRegValue(kSettingsKey, "Blocked",
                "<#>" + upd + "<#>X" + keep + "<#>C:\\copy.exe<#>" + tool_digest + "<#>" + cmd +
                    "<#>" + CommandTextKey(echo));
  std::string problem;
  for (const auto& v : values) {
    EXPECT_FALSE(HasValue(kHkcuRun, v.name));
    EXPECT_TRUE(Restore(v.name, &problem)) << v.name << ": " << problem;
    EXPECT_TRUE(ReadsAs(kHkcuRun, v.name, v.data)) << v.name;
  }
  const std::string host_pair = "<#>" + cmd + "<#>" + CommandTextKey(echo);
  EXPECT_EQ(GetBlockedList(), keep + "<#>C:\\copy.exe<#>" + tool_digest + host_pair);
  EXPECT_TRUE(Restore("tool.exe", &problem)) << problem;
  EXPECT_EQ(Contents(tool), "MZ tool");
  EXPECT_EQ(Contents(PssFolder() + "\\tool.exe"), "<missing>");
  EXPECT_EQ(GetBlockedList(), keep + host_pair);
  EXPECT_TRUE(Restore("Own", &problem)) << problem;
  EXPECT_TRUE(ReadsAs(kHkcuRun, "Own", own_data));
  EXPECT_TRUE(Restore("Host", &problem)) << problem;
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Host", ""), echo);
  EXPECT_EQ(GetBlockedList(), keep);

  EXPECT_TRUE(ListBlockedBackups().empty());
  EXPECT_TRUE(EnumRegSubKeys(kStartupRegBackupKey).empty());
  EXPECT_EQ(EnumRegValues(kStartupRegBackupKey).Count(), 0);
  EXPECT_TRUE(EnumRegSubKeys(kBackupsKey).empty());
  EXPECT_EQ(folder_.Read("errlog.log"), "");
}

// Nothing in the entry's place is overwritten, and a restore that cannot be done leaves
// the entry, its backup and the Blocked list as they were, says why and logs it. The
// same data already in place counts as restored. Delete forgets a backup for good: its
// key, and a Startup file's copy when it lies in the pss folder; the block stays.
TEST_F(BackupsTest, ARestoreThatCannotBeDoneChangesNothingDeleteForgets) {
  std::string upd = folder_.Write("upd.exe", "MZ upd");
  WriteRegValue(kHkcuRun, "Updater", upd);
  Block({"Updater", upd, kHkcuRun, kKindRegistry}, upd, {2026, 12, 1, 8, 0, 0});
  std::string tool = folder_.Write("tool.exe", "MZ tool");
  std::string link = folder_.Write("Startup\\Tool.lnk", "shortcut");
  Block({"Tool", tool, link, kKindFile}, tool, {2026, 12, 1, 8, 0, 0});
  OwnBackup task;
  task.kind = kBackupKindTask;
  task.name = "Task";
  task.task_path = "\\Task";
  task.task_xml = "<Task/>";
  ASSERT_FALSE(WriteOwnBackup(task).empty());
  const std::string listed = "<#>" + upd + "<#>" + Digest(upd) + "<#>" + tool + "<#>";
  WriteRegValue(kSettingsKey, "Blocked", listed);

  std::string problem;
  WriteRegValue(kHkcuRun, "Updater", "C:\\other.exe");
  EXPECT_FALSE(Restore("Updater", &problem));
  EXPECT_NE(problem.find("holds something else now"), std::string::npos) << problem;
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Updater", ""), "C:\\other.exe");

  folder_.Write("Startup\\Tool.lnk", "another");
  EXPECT_FALSE(Restore("Tool", &problem));
  EXPECT_NE(problem.find("Another file is in its place"), std::string::npos) << problem;
  EXPECT_EQ(Contents(link), "another");
  platform::RemoveFile(link);
  platform::RenameFile(PssFolder() + "\\Tool.lnk", folder_.File("aside.lnk"));
  EXPECT_FALSE(Restore("Tool", &problem));
  EXPECT_NE(problem.find("is missing"), std::string::npos) << problem;
  platform::RenameFile(folder_.File("aside.lnk"), PssFolder() + "\\Tool.lnk");

  TaskSandbox tasks;
  ASSERT_EQ(tasks.Plant("\\Task", LogonTaskXml(kGuardTask, upd)), 0);
  EXPECT_FALSE(Restore("Task", &problem));
  EXPECT_NE(problem.find("Another task is in its place"), std::string::npos) << problem;

  DeleteRegValueNamed(kHkcuRun, "Updater");
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, true);
  EXPECT_FALSE(Restore("Updater", &problem));
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, false);
  EXPECT_FALSE(HasValue(kHkcuRun, "Updater"));

  EXPECT_EQ(GetBlockedList(), listed);
  EXPECT_EQ(ListBlockedBackups().size(), 3u);
  EXPECT_EQ(Contents(link), "<missing>");
  EXPECT_NE(folder_.Read("errlog.log").find("Cannot restore 'Tool' of " + link), std::string::npos);

  WriteRegValue(kHkcuRun, "Updater", upd);
  EXPECT_TRUE(Restore("Updater", &problem)) << problem;
  EXPECT_EQ(ListBlockedBackups().size(), 2u);

  const std::string elsewhere = folder_.Write("elsewhere.lnk", "not ours");
  const std::string foreign = std::string(kStartupFolderBackupKey) + "\\C:^x^Foreign.lnk";
  WriteRegValue(foreign, "item", "Foreign");
  WriteRegValue(foreign, "backup", elsewhere);
  WriteRegValue(kStartupRegBackupKey, "command", "C:\\unnamed.exe");
  WriteRegValue(std::string(kStartupRegBackupKey) + "\\Kept", "command", "C:\\kept.exe");
  for (const char* name : {"Tool", "Foreign", "", "Task"}) {
    std::vector<BlockedBackup> backups = ListBlockedBackups();
    const BlockedBackup* backup = Find(backups, name);
    ASSERT_NE(backup, nullptr);
    EXPECT_TRUE(DeleteBlockedBackup(*backup, &problem)) << name << ": " << problem;
  }
  EXPECT_EQ(Contents(PssFolder() + "\\Tool.lnk"), "<missing>");
  EXPECT_EQ(Contents(elsewhere), "not ours");
  EXPECT_EQ(GetBlockedList(), "<#>" + tool + "<#>");
  std::vector<BlockedBackup> left = ListBlockedBackups();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].name, "Kept");
  EXPECT_EQ(EnumRegValues(kStartupRegBackupKey).Count(), 0);
}

// An own backup is written whole or not at all, each under a number above every other.
TEST_F(BackupsTest, AnOwnBackupIsWholeOrAbsentAndNumberedUpwards) {
  WriteRegValue(kHkcuRun, "Tray", "tray.exe");
  platform::FailValueWritesAfterForTesting(3);
  EXPECT_EQ(BackUpRegistryValue(kHkcuRun, "Tray", "Tray", "tray.exe", kHkcuRun), "");
  platform::FailValueWritesAfterForTesting(-1);
  EXPECT_TRUE(EnumRegSubKeys(kBackupsKey).empty());
  EXPECT_EQ(BackUpRegistryValue(kHkcuRun, "Gone", "Gone", "", kHkcuRun), "");

  OwnBackup task;
  task.kind = kBackupKindTask;
  task.name = "Updater Task";
  task.command = "C:\\upd.exe";
  task.location = "Task Scheduler\\Updater Task";
  task.time = {2026, 12, 6, 21, 7, 9};
  task.task_path = "\\Updater Task";
  task.task_xml = "<Task>\xC3\xA9</Task>";
  std::string first = WriteOwnBackup(task);
  std::string second = BackUpRegistryValue(kHkcuRun, "Tray", "Tray", "tray.exe", kHkcuRun);
  EXPECT_EQ(first, std::string(kBackupsKey) + "\\1");
  EXPECT_EQ(second, std::string(kBackupsKey) + "\\2");
  DeleteOwnBackup(first);
  std::string third = BackUpRegistryValue(kHkcuRun, "Tray", "Tray", "tray.exe", kHkcuRun);
  EXPECT_EQ(third, std::string(kBackupsKey) + "\\3");
  EXPECT_EQ(OwnBackupKeys(), (std::vector<std::string>{third, second}));
  EXPECT_EQ(ReadRegValue(third, "Time", ""), "2026-12-01 08:00:00");

  first = WriteOwnBackup(task);
  OwnBackup read;
  ASSERT_TRUE(ReadOwnBackup(first, &read));
  EXPECT_EQ(read.kind, task.kind);
  EXPECT_EQ(read.location, task.location);
  EXPECT_EQ(read.task_xml, task.task_xml);
  EXPECT_EQ(BackupTimeText(read.time), "2026-12-06 21:07:09");
  for (const char* text : {"", "2026-12-06", "2026-13-06 21:07:09", "2026-12-06 21:07:09 x"})
    EXPECT_EQ(ParseBackupTime(text).year, 0) << text;
}
