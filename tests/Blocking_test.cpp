#include "guard/Blocking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include "app/TextFunctions.h"

#include "guard/RuleLists.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {


std::string RegBackup(const std::string& name) {
  return std::string(kStartupRegBackupKey) + "\\" + name;
}

// The names of the keys under a key.
std::vector<std::string> SubKeysOf(const std::string& path) {
  RegPathParts parts = SplitRegPath(path);
  std::vector<std::string> names;
  platform::RegHandle key = nullptr;
  if (platform::OpenKey(parts.root, parts.sub_key, platform::kKeyRead, &key) != 0)
    return names;
  std::string name;
  for (uint32_t i = 0; platform::EnumSubKey(key, i, &name) == 0; ++i)
    names.push_back(name);
  platform::CloseKey(key);
  return names;
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end(),
            [](const std::string& a, const std::string& b) { return LowerCase(a) < LowerCase(b); });
  return lines;
}

std::vector<std::string> SortedSubKeysOf(const std::string& path) {
  return Sorted(SubKeysOf(path));
}

// The names and texts of a key's values, DWORDs as numbers, sorted by name without case:
// Wine lists values in that order, Windows in the order they were written.
std::vector<std::string> ValuesOf(const std::string& key) {
  std::vector<std::string> values;
  for (const RegValueEntry& value : EnumRegValues(key).entries) {
    std::string text = value.type == platform::kRegDword
                           ? "#" + std::to_string(static_cast<int>(std::get<double>(value.value)))
                           : std::get<std::string>(value.value);
    values.push_back(value.name + "=" + text);
  }
  return Sorted(values);
}

class BlockTest : public ::testing::Test {
 protected:
  BlockTest() : program_(folder_.File("Runwarden.exe")), now_({2026, 12, 6, 21, 7, 9}) {
    sandbox_.Own(kHkcuRun);
    sandbox_.Own(kStartupRegBackupKey);
    sandbox_.Own(kStartupFolderBackupKey);
    pss_ = folder_.File("pss");
    platform::CreateFolder(folder_.File("Startup"));
  }

  RegistrySandbox sandbox_;
  TestFolder folder_;
  ProgramLocation program_;
  ScopedNow now_;
  std::string pss_;
};

}  // namespace

TEST_F(BlockTest, ARegistryValueLeavesItsBackupForMsconfig) {
  std::string file = folder_.Write("upd.exe", "MZ");
  for (int version : {6, 5}) {
    ScopedVersion os(version);
    WriteRegValue(kHkcuRun, "Updater", file + " /quiet");
    StartupEntry entry{"Updater", file + " /quiet", kHkcuRun, "1"};
    EXPECT_TRUE(RemoveStartupEntry(entry, file, pss_));
    EXPECT_FALSE(HasValue(kHkcuRun, "Updater"));
    // Besides msconfig's values: the value's exact name, and the value itself.
    std::vector<std::string> expected = {"item=upd.exe",
                                         "command=" + file + " /quiet",
                                         "hkey=HKCU",
                                         "key=Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                                         "inimapping=0",
                                         "RegValue=Updater",
                                         "Data=" + file + " /quiet"};
    if (version == 6)
      for (const char* time :
           {"HOUR=#21", "MINUTE=#7", "SECOND=#9", "DAY=#6", "MONTH=#12", "YEAR=#2026"})
        expected.push_back(time);
    EXPECT_EQ(ValuesOf(std::string(kStartupRegBackupKey) + "\\Updater"), Sorted(expected))
        << version;
    DeleteRegTree(kStartupRegBackupKey);
  }
  // A value whose file is missing is backed up too; an unnamed one in the key itself.
  WriteRegValue(kHkcuRun, "Ghost", "C:\\gone\\ghost.exe");
  WriteRegValue(kHkcuRun, "", "C:\\d.exe");
  EXPECT_TRUE(RemoveStartupEntry({"Ghost", "C:\\gone\\ghost.exe", kHkcuRun, "1"},
                                 "c:\\gone\\ghost.exe", pss_));
  EXPECT_TRUE(RemoveStartupEntry({"", "C:\\d.exe", kHkcuRun, "1"}, "c:\\d.exe", pss_));
  EXPECT_EQ(EnumRegValues(kHkcuRun).Count(), 0);
  EXPECT_EQ(ReadRegValue(RegBackup("Ghost"), "command", ""), "C:\\gone\\ghost.exe");
  EXPECT_EQ(ReadRegValue(kStartupRegBackupKey, "command", ""), "C:\\d.exe");
}

TEST_F(BlockTest, AStartupFileMovesToAFreeNameAndItsBackupNamesIt) {
  std::string target = folder_.Write("tool.exe", "MZ");
  platform::CreateFolder(pss_);
  folder_.Write("pss\\Tool.lnk", "blocked before");
  for (int version : {6, 5}) {
    ScopedVersion os(version);
    std::string link = folder_.Write("Startup\\Tool.lnk", "shortcut " + std::to_string(version));
    StartupEntry entry{"Tool", target, link, "2"};
    std::string key = BackupKeyOf(entry);
    std::string caret_path = link;
    for (char& c : caret_path)
      if (c == '\\')
        c = '^';
    EXPECT_EQ(key, std::string(kStartupFolderBackupKey) + "\\" + caret_path);
    EXPECT_TRUE(RemoveStartupEntry(entry, target, pss_));
    std::string moved = pss_ + (version == 6 ? "\\Tool (2).lnk" : "\\Tool (3).lnk");
    EXPECT_EQ(Contents(link), "<missing>");
    EXPECT_EQ(Contents(moved), "shortcut " + std::to_string(version));
    std::vector<std::string> expected = {
        "backup=" + moved,
        "item=Tool",
        "command=" + target,
        version == 5 ? "location=startup" : "location=" + folder_.File("Startup"),
        "path=" + link,
        "inimapping=0"};
    if (version == 6) {
      expected.push_back("backupExtension=.CommonStartup");
      for (const char* time :
           {"HOUR=#21", "MINUTE=#7", "SECOND=#9", "DAY=#6", "MONTH=#12", "YEAR=#2026"})
        expected.push_back(time);
    }
    EXPECT_EQ(ValuesOf(key), Sorted(expected)) << version;
    DeleteRegTree(key);
  }
  EXPECT_EQ(Contents(pss_ + "\\Tool.lnk"), "blocked before");
}

TEST_F(BlockTest, AShortcutToNothingIsDeletedAndLogged) {
  std::string link = folder_.Write("Startup\\Dead.lnk", "x");
  StartupEntry entry{"Dead", "C:\\gone\\dead.exe", link, "2"};
  EXPECT_TRUE(RemoveStartupEntry(entry, "c:\\gone\\dead.exe", pss_));
  EXPECT_EQ(Contents(link), "<missing>");
  EXPECT_FALSE(platform::FolderExists(pss_));
  EXPECT_EQ(EnumRegValues(BackupKeyOf(entry)).Count(), 0);
  EXPECT_NE(folder_.Read("log.log").find("\tDeleted " + link), std::string::npos);
}

// Without rights on HKLM no backup can be written: nothing is removed, the error is logged.
TEST_F(BlockTest, WhenTheBackupCannotBeWrittenTheEntryStays) {
  std::string target = folder_.Write("tool.exe", "MZ");
  std::string link = folder_.Write("Startup\\Tool.lnk", "shortcut");
  WriteRegValue(kHkcuRun, "Updater", target);
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, true);
  EXPECT_FALSE(RemoveStartupEntry({"Updater", target, kHkcuRun, "1"}, target, pss_));
  EXPECT_FALSE(RemoveStartupEntry({"Tool", target, link, "2"}, target, pss_));
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, false);
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Updater", ""), target);
  EXPECT_EQ(Contents(link), "shortcut");
  EXPECT_EQ(EnumRegValues(std::string(kStartupRegBackupKey) + "\\Updater").Count(), 0);
  std::string errors = folder_.Read("errlog.log");
  EXPECT_NE(errors.find("Cannot write the msconfig backup"), std::string::npos) << errors;
}

// A value name that looks like a whole record is just a name.
TEST_F(BlockTest, ACraftedNameRemovesOnlyItsOwnEntry) {
  std::string victim = folder_.Write("Startup\\victim.exe", "MZ");
  std::string crafted = "x<#>C:\\y.exe<#>" + victim + "<#>2";
  WriteRegValue(kHkcuRun, crafted, "C:\\c.exe");
  WriteRegValue(kHkcuRun, "x", "C:\\keep.exe");
  EXPECT_TRUE(RemoveStartupEntry({crafted, "C:\\c.exe", kHkcuRun, "1"}, "c:\\c.exe", pss_));
  EXPECT_FALSE(HasValue(kHkcuRun, crafted));
  EXPECT_EQ(ReadRegValue(kHkcuRun, "x", ""), "C:\\keep.exe");
  EXPECT_EQ(Contents(victim), "MZ");
}

// An updater that registers itself for the machine and for the user: both blocks keep
// their backup. The second takes the next free name; blocking the same entry again
// replaces its own backup.
TEST_F(BlockTest, SameNamedValuesOfTwoKeysKeepABackupEach) {
  sandbox_.Own(kHklmRun);
  std::string file = folder_.Write("upd.exe", "MZ");
  WriteRegValue(kHkcuRun, "Updater", file + " /user");
  WriteRegValue(kHklmRun, "Updater", file + " /machine");
  EXPECT_TRUE(RemoveStartupEntry({"Updater", file + " /user", kHkcuRun, "1"}, file, pss_));
  EXPECT_TRUE(RemoveStartupEntry({"Updater", file + " /machine", kHklmRun, "1"}, file, pss_));
  EXPECT_FALSE(HasValue(kHkcuRun, "Updater"));
  EXPECT_FALSE(HasValue(kHklmRun, "Updater"));
  EXPECT_EQ(ReadRegValue(RegBackup("Updater"), "hkey", ""), "HKCU");
  EXPECT_EQ(ReadRegValue(RegBackup("Updater"), "command", ""), file + " /user");
  EXPECT_EQ(ReadRegValue(RegBackup("Updater (2)"), "hkey", ""), "HKLM");
  EXPECT_EQ(ReadRegValue(RegBackup("Updater (2)"), "key", ""),
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  EXPECT_EQ(ReadRegValue(RegBackup("Updater (2)"), "command", ""), file + " /machine");

  // It came back and is blocked again: its own backup is replaced.
  WriteRegValue(kHklmRun, "Updater", file + " /machine");
  EXPECT_TRUE(RemoveStartupEntry({"Updater", file + " /machine", kHklmRun, "1"}, file, pss_));
  // Same key, other command: another entry, another backup.
  WriteRegValue(kHkcuRun, "Updater", file + " /other");
  EXPECT_TRUE(RemoveStartupEntry({"Updater", file + " /other", kHkcuRun, "1"}, file, pss_));
  EXPECT_EQ(SortedSubKeysOf(kStartupRegBackupKey),
            (std::vector<std::string>{"Updater", "Updater (2)", "Updater (3)"}));
  EXPECT_EQ(ReadRegValue(RegBackup("Updater (3)"), "command", ""), file + " /other");
  EXPECT_EQ(ReadRegValue(RegBackup("Updater"), "command", ""), file + " /user");

  // The same Startup file blocked twice, with another target: both backups stay.
  std::string link = folder_.Write("Startup\\Tool.lnk", "first shortcut");
  StartupEntry first{"Tool", file, link, "2"};
  ASSERT_TRUE(RemoveStartupEntry(first, file, pss_));
  folder_.Write("Startup\\Tool.lnk", "second shortcut");
  std::string other = folder_.Write("other.exe", "MZ");
  ASSERT_TRUE(RemoveStartupEntry({"Tool", other, link, "2"}, other, pss_));
  std::string key = BackupKeyOf(first);
  std::string name = key.substr(key.find_last_of('\\') + 1);
  EXPECT_EQ(SortedSubKeysOf(kStartupFolderBackupKey),
            (std::vector<std::string>{name, name + " (2)"}));
  EXPECT_EQ(Contents(ReadRegValue(key, "backup", "")), "first shortcut");
  EXPECT_EQ(Contents(ReadRegValue(key + " (2)", "backup", "")), "second shortcut");
  EXPECT_EQ(ReadRegValue(key + " (2)", "command", ""), other);
}

// A backup that breaks off half-way takes away what it wrote itself and nothing more:
// never a backup that was there before.
TEST_F(BlockTest, ABrokenBackupRemovesOnlyTheKeyItCreated) {
  sandbox_.Own(kHklmRun);
  std::string file = folder_.Write("upd.exe", "MZ");
  WriteRegValue(kHkcuRun, "Updater", file);
  ASSERT_TRUE(RemoveStartupEntry({"Updater", file, kHkcuRun, "1"}, file, pss_));
  const std::vector<std::string> user_backup = ValuesOf(RegBackup("Updater"));

  // Another entry of that name.
  WriteRegValue(kHklmRun, "Updater", file + " /machine");
  platform::FailValueWritesAfterForTesting(2);
  EXPECT_FALSE(RemoveStartupEntry({"Updater", file + " /machine", kHklmRun, "1"}, file, pss_));
  platform::FailValueWritesAfterForTesting(-1);
  EXPECT_EQ(ReadRegValue(kHklmRun, "Updater", ""), file + " /machine");
  EXPECT_EQ(ValuesOf(RegBackup("Updater")), user_backup);
  EXPECT_EQ(SortedSubKeysOf(kStartupRegBackupKey), std::vector<std::string>{"Updater"});

  // The same entry again, its earlier backup in place: that backup stays whole.
  WriteRegValue(kHkcuRun, "Updater", file);
  platform::FailValueWritesAfterForTesting(1);
  EXPECT_FALSE(RemoveStartupEntry({"Updater", file, kHkcuRun, "1"}, file, pss_));
  platform::FailValueWritesAfterForTesting(-1);
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Updater", ""), file);
  EXPECT_EQ(ValuesOf(RegBackup("Updater")), user_backup);

  // A Startup file whose backup breaks stays where it is, with no key left behind.
  std::string link = folder_.Write("Startup\\Tool.lnk", "shortcut");
  platform::FailValueWritesAfterForTesting(3);
  EXPECT_FALSE(RemoveStartupEntry({"Tool", file, link, "2"}, file, pss_));
  platform::FailValueWritesAfterForTesting(-1);
  EXPECT_EQ(Contents(link), "shortcut");
  EXPECT_TRUE(SubKeysOf(kStartupFolderBackupKey).empty());
}

// Hidden system files are files: a Startup file or a shortcut target with both bits set
// is moved aside with its backup. Only a target that truly is not there makes a
// shortcut dead, and one whose target cannot be read is not known to be dead.
TEST_F(BlockTest, HiddenSystemFilesAreMovedWithTheirBackupNeverDeleted) {
  const uint32_t hidden_system = platform::kAttrHidden | platform::kAttrSystem;
  std::string target = folder_.Write("hidden.exe", "MZ");
  ASSERT_TRUE(platform::WriteAttributes(target, hidden_system));
  std::string link = folder_.Write("Startup\\To Hidden.lnk", "shortcut");
  std::string plain = folder_.Write("Startup\\plain.exe", "plain");
  ASSERT_TRUE(platform::WriteAttributes(plain, hidden_system));
  std::string unreadable = folder_.Write("Startup\\Advertised.lnk", "advertised");

  StartupEntry to_hidden{"To Hidden", target, link, "2"};
  StartupEntry hidden_file{"plain.exe", plain, plain, "2"};
  StartupEntry advertised{"Advertised", "", unreadable, "2"};
  EXPECT_TRUE(RemoveStartupEntry(to_hidden, target, pss_));
  EXPECT_TRUE(RemoveStartupEntry(hidden_file, plain, pss_));
  EXPECT_TRUE(RemoveStartupEntry(advertised, "", pss_));
  EXPECT_EQ(Contents(pss_ + "\\To Hidden.lnk"), "shortcut");
  EXPECT_EQ(Contents(pss_ + "\\plain.exe"), "plain");
  EXPECT_EQ(Contents(pss_ + "\\Advertised.lnk"), "advertised");
  EXPECT_EQ(ReadRegValue(BackupKeyOf(to_hidden), "backup", ""), pss_ + "\\To Hidden.lnk");
  EXPECT_EQ(ReadRegValue(BackupKeyOf(hidden_file), "backup", ""), pss_ + "\\plain.exe");
  EXPECT_EQ(ReadRegValue(BackupKeyOf(advertised), "backup", ""), pss_ + "\\Advertised.lnk");
  EXPECT_EQ(folder_.Read("log.log"), "");
  EXPECT_EQ(Contents(target), "MZ");
}
