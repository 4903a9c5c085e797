// An entry's life away from its place: muted for a logon and put back, blocked with the
// backup msconfig restores it from, and the backups of blocked entries (msconfig's keys
// and Runwarden's own) listed newest first, restored as they were, deleted for good.
#include "guard/Blocking.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/Settings.h"
#include "app/TextFunctions.h"
#include "guard/BlockedBackups.h"
#include "guard/HashCache.h"
#include "guard/ListKey.h"
#include "guard/Locations.h"
#include "guard/OwnBackups.h"
#include "guard/RuleLists.h"
#include "guard/Scan.h"
#include "platform/files.h"
#include "registry/Registry.h"
#include "support/ScanMachine.h"

namespace {

using platform::RegData;
using Bytes = std::string;

constexpr char kRunSubKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string RegBackup(const std::string& name) {
  return std::string(kStartupRegBackupKey) + "\\" + name;
}

bool ReadsAs(const std::string& key, const std::string& name, const RegData& expected) {
  RegData data;
  return ReadRegRaw(key, name, &data) && data == expected;
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end(),
            [](const std::string& a, const std::string& b) { return LowerCase(a) < LowerCase(b); });
  return lines;
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

class EntryTest : public ::testing::Test {
 protected:
  EntryTest() : now_({2026, 12, 6, 21, 7, 9}) {}

  std::string Write(const std::string& name, const std::string& bytes) {
    return machine_.folder().Write(name, bytes);
  }

  // The entry blocked by the scan's own step, at Time.
  void Block(const StartupEntry& entry, const std::string& file, platform::LocalTime time) {
    platform::SetNowForTesting(time);
    ASSERT_TRUE(RemoveStartupEntry(entry, file, pss_)) << entry.Name;
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

  ScanMachine machine_;
  ScopedNow now_;
  const std::string pss_ = machine_.Pss();
};

}  // namespace

// Listed with its text, muted and put back, blocked and restored from its backup: each
// time byte for byte under its own name. Every kind of value, in the user's Run key and
// in a 32-bit program's view of the machine's, and a Startup file whose path a crafted
// value name spells out (a name is just a name). A default value without data (nothing
// but a NUL, as every empty write leaves it) starts nothing and is no entry.
TEST_F(EntryTest, EveryKindOfEntryIsListedMutedPutBackBlockedAndRestoredAsItWas) {
  for (const RegData& empty :
       {RegData{platform::kRegSz, ""}, RegData{platform::kRegSz, Bytes(1, 0)},
        RegData{platform::kRegExpandSz, Bytes(2, 0)}}) {
    ASSERT_EQ(WriteRegRaw(kHkcuRun, "", empty), 0);
    EXPECT_TRUE(ListRegistryValues(kHkcuRun).empty()) << empty.bytes.size();
  }
  const std::string wow_run =
      "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string upd = machine_.Program("upd.exe", "MZ upd");
  const std::string tool = Write("Startup\\tool.exe", "MZ tool");
  const std::string crafted = "x<#>C:\\y.exe<#>" + tool + "<#>2";
  const struct {
    std::string key, name;
    RegData data;
    std::string text;  // the entry's command
  } rows[] = {
      {kHkcuRun, "Text", {platform::kRegSz, upd + " /q" + '\0'}, upd + " /q"},
      {kHkcuRun,
       "Expand",
       {platform::kRegExpandSz, Bytes("%windir%\\x.exe\0", 15)},
       Bytes("%windir%\\x.exe\0", 15)},
      {kHkcuRun,
       "Multi",
       {platform::kRegMultiSz, Bytes("a.exe\0b c.exe\0\0", 15)},
       Bytes("a.exe\0b c.exe\0\0", 15)},
      {kHkcuRun, "Number", {platform::kRegDword, Bytes("\xFE\xFF\xFF\xFF", 4)}, "-2"},
      {kHkcuRun,
       "Text in bytes",
       {platform::kRegBinary, Bytes("C:\\bin.exe\0", 11)},
       "C:\\bin.exe"},
      {kHkcuRun, "Bytes", {platform::kRegBinary, Bytes("\x01\xAB\x00\xFF", 4)}, "hex:01,ab,00,ff"},
      {kHkcuRun, "Qword", {11, Bytes("\x00\x01\x00\x00\x00\x00\x00\x00", 8)}, "256"},
      {kHkcuRun, "None", {platform::kRegNone, Bytes("\x7F\x05", 2)}, "hex:7f,05"},
      // Half a UTF-16 unit at its end, as a crafted value can have.
      {kHkcuRun, "Odd", {platform::kRegSz, upd, "Z"}, upd},
      {kHkcuRun,
       "Vendor\\Tool\\Updater",
       {platform::kRegSz, Bytes("C:\\v\\upd.exe\0", 13)},
       "C:\\v\\upd.exe"},
      {kHkcuRun, crafted, {platform::kRegSz, Bytes("C:\\c.exe\0", 9)}, "C:\\c.exe"},
      {kHkcuRun, "", {platform::kRegSz, Bytes("C:\\default.exe\0", 15)}, "C:\\default.exe"},
      {wow_run, "Updater32", {platform::kRegSz, upd + " /tray" + '\0'}, upd + " /tray"},
  };
  StartupEntryList values;
  for (const auto& row : rows) {
    ASSERT_EQ(WriteRegRaw(row.key, row.name, row.data), 0) << row.name;
    values.push_back({row.name, row.text, row.key, kKindRegistry});
  }
  StartupEntryList listed = CollectStartupEntries();
  ASSERT_EQ(listed.size(), values.size() + 1);
  for (const StartupEntry& entry : values)
    EXPECT_NE(std::find(listed.begin(), listed.end(), entry), listed.end()) << entry.Name;
  auto file = std::find_if(listed.begin(), listed.end(),
                           [&](const StartupEntry& entry) { return entry.Location == tool; });
  ASSERT_NE(file, listed.end());
  const StartupEntry file_entry = *file;
  EXPECT_EQ(file_entry.Kind, kKindFile);

  for (const StartupEntry& entry : values)
    ASSERT_TRUE(MuteEntry(entry, pss_)) << entry.Name;
  EXPECT_EQ(Contents(tool), "MZ tool");
  ASSERT_TRUE(MuteEntry(file_entry, pss_));
  EXPECT_TRUE(CollectStartupEntries().empty());
  auto same_text = [](const std::string& key, const std::string& name, const RegData& data) {
    RegData read;
    return ReadRegRaw(key, name, &read) && read.type == data.type && read.bytes == data.bytes;
  };
  for (const auto& row : rows)
    EXPECT_TRUE(same_text(kMutedKey, row.key + "\\" + row.name, row.data)) << row.name;
  RestoreMutedEntries();
  for (const auto& row : rows)
    EXPECT_TRUE(same_text(row.key, row.name, row.data)) << row.name;
  EXPECT_EQ(Contents(tool), "MZ tool");
  EXPECT_EQ(EnumRegValues(kMutedKey).Count(), 0);

  // A restored entry leaves the Blocked list: the pairs of its file or digest, no others.
  const std::string keep = "<#>C:\\keep.exe<#>KEEP";
  WriteRegValue(kSettingsKey, "Blocked",
                "<#>" + upd + "<#>X" + keep + "<#>C:\\copy.exe<#>" +
                    GetFileHashCached(tool, kScanHashAlgorithm));
  for (const StartupEntry& entry : values)
    ASSERT_TRUE(RemoveStartupEntry(entry, upd, pss_)) << entry.Name;
  EXPECT_EQ(Contents(tool), "MZ tool");
  ASSERT_TRUE(RemoveStartupEntry(file_entry, tool, pss_));
  EXPECT_TRUE(CollectStartupEntries().empty());
  EXPECT_EQ(ReadRegValue(RegBackup("Updater32"), "hkey", ""), "HKLM");
  EXPECT_EQ(ReadRegValue(RegBackup("Updater32"), "key", ""),
            "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
  std::string problem;
  for (const BlockedBackup& backup : ListBlockedBackups())
    EXPECT_TRUE(RestoreBlockedBackup(backup, &problem)) << backup.name << ": " << problem;
  for (const auto& row : rows)
    EXPECT_TRUE(ReadsAs(row.key, row.name, row.data)) << row.name;
  EXPECT_TRUE(EnumRegSubKeys(kStartupRegBackupKey).empty());
  EXPECT_EQ(Contents(tool), "MZ tool");
  EXPECT_EQ(Contents(pss_ + "\\tool.exe"), "<missing>");
  EXPECT_EQ(GetBlockedList(), keep);
  EXPECT_TRUE(ListBlockedBackups().empty());
  EXPECT_EQ(EnumRegValues(kStartupRegBackupKey).Count(), 0);
  EXPECT_EQ(machine_.ErrorLog(), "");
}

// Besides msconfig's values, a value's backup holds its exact name and data, and a
// Startup file's the free name it moved to; the time from version 6 on. A value whose
// file is missing is backed up too; an unnamed one in the key itself.
TEST_F(EntryTest, ABlockLeavesTheBackupMsconfigRestoresFrom) {
  std::string file = Write("upd.exe", "MZ");
  std::string target = Write("tool.exe", "MZ");
  platform::CreateFolder(pss_);
  Write("windows\\pss\\Tool.lnk", "blocked before");
  const char* times[] = {"HOUR=#21", "MINUTE=#7", "SECOND=#9", "DAY=#6", "MONTH=#12", "YEAR=#2026"};
  for (int version : {6, 5}) {
    ScopedVersion os(version);
    WriteRegValue(kHkcuRun, "Updater", file + " /quiet");
    EXPECT_TRUE(RemoveStartupEntry({"Updater", file + " /quiet", kHkcuRun, "1"}, file, pss_));
    EXPECT_FALSE(HasValue(kHkcuRun, "Updater"));
    std::vector<std::string> value = {"item=upd.exe",
                                      "command=" + file + " /quiet",
                                      "hkey=HKCU",
                                      std::string("key=") + kRunSubKey,
                                      "inimapping=0",
                                      "RegValue=Updater",
                                      "Data=" + file + " /quiet"};
    std::string link = Write("Startup\\Tool.lnk", "shortcut " + std::to_string(version));
    StartupEntry entry{"Tool", target, link, "2"};
    std::string key = BackupKeyOf(entry);
    std::string caret_path = link;
    std::replace(caret_path.begin(), caret_path.end(), '\\', '^');
    EXPECT_EQ(key, std::string(kStartupFolderBackupKey) + "\\" + caret_path);
    EXPECT_TRUE(RemoveStartupEntry(entry, target, pss_));
    std::string moved = pss_ + (version == 6 ? "\\Tool (2).lnk" : "\\Tool (3).lnk");
    EXPECT_EQ(Contents(link), "<missing>");
    EXPECT_EQ(Contents(moved), "shortcut " + std::to_string(version));
    std::vector<std::string> shortcut = {
        "backup=" + moved,   "item=Tool",
        "command=" + target, version == 5 ? "location=startup" : "location=" + machine_.Startup(),
        "path=" + link,      "inimapping=0"};
    if (version == 6) {
      shortcut.push_back("backupExtension=.CommonStartup");
      value.insert(value.end(), std::begin(times), std::end(times));
      shortcut.insert(shortcut.end(), std::begin(times), std::end(times));
    }
    EXPECT_EQ(ValuesOf(RegBackup("Updater")), Sorted(value)) << version;
    EXPECT_EQ(ValuesOf(key), Sorted(shortcut)) << version;
    DeleteRegTree(kStartupRegBackupKey);
    DeleteRegTree(key);
  }
  EXPECT_EQ(Contents(pss_ + "\\Tool.lnk"), "blocked before");
  WriteRegValue(kHkcuRun, "Ghost", "C:\\gone\\ghost.exe");
  WriteRegValue(kHkcuRun, "", "C:\\d.exe");
  EXPECT_TRUE(RemoveStartupEntry({"Ghost", "C:\\gone\\ghost.exe", kHkcuRun, "1"},
                                 "c:\\gone\\ghost.exe", pss_));
  EXPECT_TRUE(RemoveStartupEntry({"", "C:\\d.exe", kHkcuRun, "1"}, "c:\\d.exe", pss_));
  EXPECT_EQ(EnumRegValues(kHkcuRun).Count(), 0);
  EXPECT_EQ(ReadRegValue(RegBackup("Ghost"), "command", ""), "C:\\gone\\ghost.exe");
  EXPECT_EQ(ReadRegValue(kStartupRegBackupKey, "command", ""), "C:\\d.exe");

  // A shortcut to nothing is deleted and logged, with no backup.
  std::string dead = Write("Startup\\Dead.lnk", "x");
  StartupEntry to_nothing{"Dead", "C:\\gone\\dead.exe", dead, "2"};
  EXPECT_TRUE(RemoveStartupEntry(to_nothing, "c:\\gone\\dead.exe", pss_));
  EXPECT_EQ(Contents(dead), "<missing>");
  EXPECT_EQ(EnumRegValues(BackupKeyOf(to_nothing)).Count(), 0);
  EXPECT_NE(machine_.EventLog().find("\tDeleted " + dead), std::string::npos);
}

// Files of one name from two Startup folders, one more already waiting in pss: muted,
// each takes a free name; a muted record whose copy is gone deletes nothing and stays; a
// file in the way is replaced only by its muted copy; an older text record comes back as
// text.
TEST_F(EntryTest, MutedFilesOfOneNameAndWhatChangedMeanwhileAllComeBack) {
  std::string common = Write("Startup24\\Tool.lnk", "common shortcut");
  std::string user = Write("Startup\\Tool.lnk", "user shortcut");
  platform::CreateFolder(pss_);
  std::string waiting = Write("windows\\pss\\Tool.lnk", "blocked earlier");
  EXPECT_TRUE(MuteEntry({"Tool", "C:\\t.exe", common, "2"}, pss_));
  EXPECT_TRUE(MuteEntry({"Tool", "C:\\t.exe", user, "2"}, pss_));
  EXPECT_EQ(Contents(common), "<missing>");
  EXPECT_EQ(ReadRegValue(kMutedKey, common, ""), pss_ + "\\Tool (2).lnk");
  EXPECT_EQ(ReadRegValue(kMutedKey, user, ""), pss_ + "\\Tool (3).lnk");
  EXPECT_EQ(Contents(pss_ + "\\Tool (3).lnk"), "user shortcut");
  std::string kept = Write("Startup\\Kept.lnk", "new one");
  WriteRegValue(kMutedKey, kept, pss_ + "\\Kept.lnk");  // no such copy
  std::string back = Write("Startup\\Back.lnk", "came back meanwhile");
  Write("windows\\pss\\Back.lnk", "muted");
  WriteRegValue(kMutedKey, back, pss_ + "\\Back.lnk");
  WriteRegValue(kMutedKey, std::string(kHkcuRun) + "\\Old", "C:\\old.exe");

  RestoreMutedEntries();
  EXPECT_EQ(Contents(common), "common shortcut");
  EXPECT_EQ(Contents(user), "user shortcut");
  EXPECT_EQ(Contents(waiting), "blocked earlier");
  EXPECT_EQ(Contents(kept), "new one");
  EXPECT_EQ(ReadRegValue(kMutedKey, kept, ""), pss_ + "\\Kept.lnk");
  EXPECT_NE(machine_.ErrorLog().find("is missing"), std::string::npos) << machine_.ErrorLog();
  EXPECT_EQ(Contents(back), "muted");
  EXPECT_EQ(ValueNames(kMutedKey), std::vector<std::string>{kept});
  RegData old;
  ASSERT_TRUE(ReadRegRaw(kHkcuRun, "Old", &old));
  EXPECT_EQ(old, (RegData{platform::kRegSz, Bytes("C:\\old.exe\0", 11)}));
}

// A standard user cannot write HKLM: no muted record, no backup, so nothing moves, and
// the error is logged. A backup that breaks off half-way takes away what it wrote itself
// and nothing more: never a backup that was there before.
TEST_F(EntryTest, WhenTheRecordOrBackupCannotBeWrittenTheEntryStays) {
  std::string target = Write("tool.exe", "MZ");
  std::string link = Write("Startup\\Tool.lnk", "shortcut");
  WriteRegValue(kHkcuRun, "Updater", target);
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, true);
  for (const StartupEntry& entry :
       {StartupEntry{"Updater", target, kHkcuRun, "1"}, StartupEntry{"Tool", target, link, "2"}}) {
    EXPECT_FALSE(MuteEntry(entry, pss_));
    EXPECT_FALSE(RemoveStartupEntry(entry, target, pss_));
  }
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, false);
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Updater", ""), target);
  EXPECT_EQ(Contents(link), "shortcut");
  EXPECT_EQ(EnumRegValues(kMutedKey).Count(), 0);
  EXPECT_TRUE(EnumRegSubKeys(kStartupRegBackupKey).empty());
  EXPECT_NE(machine_.ErrorLog().find("Cannot write the muted record"), std::string::npos);
  EXPECT_NE(machine_.ErrorLog().find("Cannot write the msconfig backup"), std::string::npos);

  ASSERT_TRUE(RemoveStartupEntry({"Updater", target, kHkcuRun, "1"}, target, pss_));
  const std::vector<std::string> user_backup = ValuesOf(RegBackup("Updater"));
  // Another entry of that name; then the same entry again, its earlier backup in place.
  WriteRegValue(kHklmRun, "Updater", target + " /machine");
  WriteRegValue(kHkcuRun, "Updater", target);
  const struct {
    StartupEntry entry;
    int writes;
  } broken[] = {{{"Updater", target + " /machine", kHklmRun, "1"}, 2},
                {{"Updater", target, kHkcuRun, "1"}, 1},
                {{"Tool", target, link, "2"}, 3}};
  for (const auto& b : broken) {
    platform::FailValueWritesAfterForTesting(b.writes);
    EXPECT_FALSE(RemoveStartupEntry(b.entry, target, pss_)) << b.writes;
    platform::FailValueWritesAfterForTesting(-1);
  }
  EXPECT_EQ(ReadRegValue(kHklmRun, "Updater", ""), target + " /machine");
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Updater", ""), target);
  EXPECT_EQ(ValuesOf(RegBackup("Updater")), user_backup);
  EXPECT_EQ(EnumRegSubKeys(kStartupRegBackupKey), std::vector<std::string>{"Updater"});
  EXPECT_EQ(Contents(link), "shortcut");
  EXPECT_TRUE(EnumRegSubKeys(kStartupFolderBackupKey).empty());
}

// An updater that registers itself for the machine and for the user: both blocks keep
// their backup, the second under the next free name; blocking the same entry again
// replaces its own backup. The same Startup file blocked twice keeps both.
TEST_F(EntryTest, SameNamedEntriesKeepABackupEach) {
  std::string file = Write("upd.exe", "MZ");
  WriteRegValue(kHkcuRun, "Updater", file + " /user");
  WriteRegValue(kHklmRun, "Updater", file + " /machine");
  EXPECT_TRUE(RemoveStartupEntry({"Updater", file + " /user", kHkcuRun, "1"}, file, pss_));
  EXPECT_TRUE(RemoveStartupEntry({"Updater", file + " /machine", kHklmRun, "1"}, file, pss_));
  EXPECT_FALSE(HasValue(kHklmRun, "Updater"));
  EXPECT_EQ(ReadRegValue(RegBackup("Updater"), "hkey", ""), "HKCU");
  EXPECT_EQ(ReadRegValue(RegBackup("Updater (2)"), "hkey", ""), "HKLM");
  EXPECT_EQ(ReadRegValue(RegBackup("Updater (2)"), "command", ""), file + " /machine");
  WriteRegValue(kHklmRun, "Updater", file + " /machine");
  EXPECT_TRUE(RemoveStartupEntry({"Updater", file + " /machine", kHklmRun, "1"}, file, pss_));
  WriteRegValue(kHkcuRun, "Updater", file + " /other");
  EXPECT_TRUE(RemoveStartupEntry({"Updater", file + " /other", kHkcuRun, "1"}, file, pss_));
  EXPECT_EQ(Sorted(EnumRegSubKeys(kStartupRegBackupKey)),
            (std::vector<std::string>{"Updater", "Updater (2)", "Updater (3)"}));
  EXPECT_EQ(ReadRegValue(RegBackup("Updater (3)"), "command", ""), file + " /other");
  EXPECT_EQ(ReadRegValue(RegBackup("Updater"), "command", ""), file + " /user");

  std::string link = Write("Startup\\Tool.lnk", "first shortcut");
  StartupEntry first{"Tool", file, link, "2"};
  ASSERT_TRUE(RemoveStartupEntry(first, file, pss_));
  Write("Startup\\Tool.lnk", "second shortcut");
  std::string other = Write("other.exe", "MZ");
  ASSERT_TRUE(RemoveStartupEntry({"Tool", other, link, "2"}, other, pss_));
  std::string key = BackupKeyOf(first);
  EXPECT_EQ(EnumRegSubKeys(kStartupFolderBackupKey).size(), 2u);
  EXPECT_EQ(Contents(ReadRegValue(key, "backup", "")), "first shortcut");
  EXPECT_EQ(Contents(ReadRegValue(key + " (2)", "backup", "")), "second shortcut");
  EXPECT_EQ(ReadRegValue(key + " (2)", "command", ""), other);
}

// Hidden system files are files: a Startup file or a shortcut target with both bits set
// is moved aside with its backup. Only a target that truly is not there makes a
// shortcut dead, and one whose target cannot be read is not known to be dead.
TEST_F(EntryTest, HiddenSystemFilesAreMovedWithTheirBackupNeverDeleted) {
  const uint32_t hidden_system = platform::kAttrHidden | platform::kAttrSystem;
  std::string target = Write("hidden.exe", "MZ");
  ASSERT_TRUE(platform::WriteAttributes(target, hidden_system));
  std::string plain = Write("Startup\\plain.exe", "plain");
  ASSERT_TRUE(platform::WriteAttributes(plain, hidden_system));
  const StartupEntry entries[] = {{"To Hidden", target, Write("Startup\\To Hidden.lnk", "x"), "2"},
                                  {"plain.exe", plain, plain, "2"},
                                  {"Advertised", "", Write("Startup\\Advertised.lnk", "x"), "2"}};
  for (const StartupEntry& entry : entries) {
    EXPECT_TRUE(RemoveStartupEntry(entry, entry.Command, pss_));
    std::string moved = pss_ + entry.Location.substr(entry.Location.find_last_of('\\'));
    EXPECT_GE(platform::FileSize(moved), 0) << entry.Name;
    EXPECT_EQ(ReadRegValue(BackupKeyOf(entry), "backup", ""), moved);
  }
  EXPECT_EQ(machine_.EventLog(), "");
  EXPECT_EQ(Contents(target), "MZ");
}

TEST_F(EntryTest, EveryStoreIsListedNewestFirstWithWhatTheEntryWas) {
  std::string upd = Write("upd.exe", "MZ upd");
  WriteRegValue(kHkcuRun, "Updater", upd + " /q");
  Block({"Updater", upd + " /q", kHkcuRun, kKindRegistry}, upd, {2026, 12, 1, 8, 0, 0});
  std::string tool = Write("tool.exe", "MZ tool");
  std::string link = Write("Startup\\Tool.lnk", "shortcut");
  Block({"Tool", tool, link, kKindFile}, tool, {2026, 12, 3, 9, 30, 0});
  WriteRegValue(kHkcuRun, "Tray", "tray.exe");
  platform::SetNowForTesting({2026, 12, 2, 23, 59, 59});
  std::string own = BackUpRegistryValue(kHkcuRun, "Tray", "Tray", "tray.exe", "Somewhere\\Tray");
  ASSERT_FALSE(own.empty());
  // msconfig's own backups carry no time before version 6, nor the exact value.
  const std::string old = RegBackup("Old (2)");
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
  EXPECT_EQ(file.copy, pss_ + "\\Tool.lnk");
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

  // An own backup of an expandable value, and a script host's entry, listed by its
  // command: each comes back as it was, and only the host's own pair leaves the list.
  std::string problem;
  RegData own_data{platform::kRegExpandSz, "%windir%\\own.exe" + Bytes(1, '\0')};
  WriteRegRaw(kHkcuRun, "Own", own_data);
  ASSERT_FALSE(BackUpRegistryValue(kHkcuRun, "Own", "Own", "own.exe", kHkcuRun).empty());
  DeleteRegValueNamed(kHkcuRun, "Own");
  platform::CreateFolder(machine_.Windir() + "\\system32");
  const std::string cmd = Write("windows\\system32\\cmd.exe", "MZ cmd");
  const std::string echo = cmd + " /c echo hello";
  WriteRegValue(kHkcuRun, "Host", echo);
  Block({"Host", echo, kHkcuRun, kKindRegistry}, cmd, {2026, 12, 1, 8, 0, 0});
  const std::string keep = "<#>" + cmd + "<#>" + CommandTextKey(cmd + " /c x");
  WriteRegValue(kSettingsKey, "Blocked", keep + "<#>" + cmd + "<#>" + CommandTextKey(echo));
  EXPECT_TRUE(Restore("Own", &problem)) << problem;
  EXPECT_TRUE(ReadsAs(kHkcuRun, "Own", own_data));
  EXPECT_TRUE(Restore("Host", &problem)) << problem;
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Host", ""), echo);
  EXPECT_EQ(GetBlockedList(), keep);
}

// Nothing in the entry's place is overwritten, and a restore that cannot be done leaves
// the entry, its backup and the Blocked list as they were, says why and logs it. The
// same data already in place counts as restored. Delete forgets a backup for good: its
// key, and a Startup file's copy when it lies in the pss folder; the block stays.
TEST_F(EntryTest, ARestoreThatCannotBeDoneChangesNothingDeleteForgets) {
  std::string upd = Write("upd.exe", "MZ upd");
  WriteRegValue(kHkcuRun, "Updater", upd);
  Block({"Updater", upd, kHkcuRun, kKindRegistry}, upd, {2026, 12, 1, 8, 0, 0});
  std::string tool = Write("tool.exe", "MZ tool");
  std::string link = Write("Startup\\Tool.lnk", "shortcut");
  Block({"Tool", tool, link, kKindFile}, tool, {2026, 12, 1, 8, 0, 0});
  OwnBackup task;
  task.kind = kBackupKindTask;
  task.name = "Task";
  task.task_path = "\\Task";
  task.task_xml = "<Task/>";
  ASSERT_FALSE(WriteOwnBackup(task).empty());
  const std::string listed =
      "<#>" + upd + "<#>" + GetFileHashCached(upd, kScanHashAlgorithm) + "<#>" + tool + "<#>";
  WriteRegValue(kSettingsKey, "Blocked", listed);

  std::string problem;
  WriteRegValue(kHkcuRun, "Updater", "C:\\other.exe");
  EXPECT_FALSE(Restore("Updater", &problem));
  EXPECT_NE(problem.find("holds something else now"), std::string::npos) << problem;
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Updater", ""), "C:\\other.exe");

  Write("Startup\\Tool.lnk", "another");
  EXPECT_FALSE(Restore("Tool", &problem));
  EXPECT_NE(problem.find("Another file is in its place"), std::string::npos) << problem;
  EXPECT_EQ(Contents(link), "another");
  platform::RemoveFile(link);
  platform::RenameFile(pss_ + "\\Tool.lnk", machine_.folder().File("aside.lnk"));
  EXPECT_FALSE(Restore("Tool", &problem));
  EXPECT_NE(problem.find("is missing"), std::string::npos) << problem;
  platform::RenameFile(machine_.folder().File("aside.lnk"), pss_ + "\\Tool.lnk");

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
  EXPECT_NE(machine_.ErrorLog().find("Cannot restore 'Tool' of " + link), std::string::npos);

  WriteRegValue(kHkcuRun, "Updater", upd);
  EXPECT_TRUE(Restore("Updater", &problem)) << problem;
  EXPECT_EQ(ListBlockedBackups().size(), 2u);

  const std::string elsewhere = Write("elsewhere.lnk", "not ours");
  const std::string foreign = std::string(kStartupFolderBackupKey) + "\\C:^x^Foreign.lnk";
  WriteRegValue(foreign, "item", "Foreign");
  WriteRegValue(foreign, "backup", elsewhere);
  WriteRegValue(kStartupRegBackupKey, "command", "C:\\unnamed.exe");
  WriteRegValue(RegBackup("Kept"), "command", "C:\\kept.exe");
  for (const char* name : {"Tool", "Foreign", "", "Task"}) {
    std::vector<BlockedBackup> backups = ListBlockedBackups();
    const BlockedBackup* backup = Find(backups, name);
    ASSERT_NE(backup, nullptr);
    EXPECT_TRUE(DeleteBlockedBackup(*backup, &problem)) << name << ": " << problem;
  }
  EXPECT_EQ(Contents(pss_ + "\\Tool.lnk"), "<missing>");
  EXPECT_EQ(Contents(elsewhere), "not ours");
  EXPECT_EQ(GetBlockedList(), "<#>" + tool + "<#>");
  std::vector<BlockedBackup> left = ListBlockedBackups();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].name, "Kept");
  EXPECT_EQ(EnumRegValues(kStartupRegBackupKey).Count(), 0);
}

// An own backup is written whole or not at all, each under a number above every other.
TEST_F(EntryTest, AnOwnBackupIsWholeOrAbsentAndNumberedUpwards) {
  WriteRegValue(kHkcuRun, "Tray", "tray.exe");
  platform::FailValueWritesAfterForTesting(3);
  EXPECT_EQ(BackUpRegistryValue(kHkcuRun, "Tray", "Tray", "tray.exe", kHkcuRun), "");
  platform::FailValueWritesAfterForTesting(-1);
  EXPECT_TRUE(EnumRegSubKeys(kBackupsKey).empty());
  EXPECT_EQ(BackUpRegistryValue(kHkcuRun, "Gone", "Gone", "", kHkcuRun), "");

  OwnBackup task;
  task.kind = kBackupKindTask;
  task.name = "Updater Task";
  task.task_path = "\\Updater Task";
  task.location = "Task Scheduler\\Updater Task";
  task.time = {2026, 12, 6, 21, 7, 9};
  task.task_xml = "<Task>\xC3\xA9</Task>";
  std::string first = WriteOwnBackup(task);
  std::string second = BackUpRegistryValue(kHkcuRun, "Tray", "Tray", "tray.exe", kHkcuRun);
  EXPECT_EQ(first, std::string(kBackupsKey) + "\\1");
  EXPECT_EQ(second, std::string(kBackupsKey) + "\\2");
  DeleteOwnBackup(first);
  platform::SetNowForTesting({2026, 12, 1, 8, 0, 0});
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
