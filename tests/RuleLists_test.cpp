#include "guard/RuleLists.h"

#include <gtest/gtest.h>

#include "app/Settings.h"
#include "guard/Locations.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

using platform::RegData;

namespace {

RegData Raw(const std::string& path, const std::string& name) {
  RegData data;
  EXPECT_TRUE(ReadRegRaw(path, name, &data)) << path << " " << name;
  return data;
}

class MuteTest : public ::testing::Test {
 protected:
  MuteTest() : program_(folder_.File("Runwarden.exe")) {
    sandbox_.Own(kHkcuRun);
    pss_ = folder_.File("pss");
  }

  std::string ErrorLog() const { return folder_.Read("errlog.log"); }

  RegistrySandbox sandbox_;
  TestFolder folder_;
  ProgramLocation program_;
  std::string pss_;
};

}  // namespace

// Whole fields only, the Allowed list with case and the Blocked list without; an empty
// key matches nothing, not even the empty hash fields. A pass reads each list once, with
// the same answers, until the lists are read again.
TEST(ListLookupTest, WholeFieldsOnlyWithTheCaseRuleOfEachListReadOncePerPass) {
  RegistrySandbox sandbox;
  const std::string list = "<#>C:\\App\\a.exe.bak<#>ABC123<#>C:\\A\\x.exe<#>";
  WriteRegValue(kSettingsKey, "Allowed", list);
  WriteRegValue(kSettingsKey, "Blocked", list);
  ListLookup lists;
  const struct {
    const char* key;
    bool allowed, blocked;
  } cases[] = {{"C:\\A\\x.exe", true, true},
               {"c:\\a\\x.exe", false, true},
               {"abc123", false, true},
               {"ABC", false, false},
               {"C:\\App\\a.exe", false, false},
               {"<#>", false, false},
               {"", false, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(IsOnList(list, c.key, true), c.allowed) << c.key;
    EXPECT_EQ(IsOnList(list, c.key, false), c.blocked) << c.key;
    EXPECT_EQ(lists.IsAllowed(c.key), c.allowed) << c.key;
    EXPECT_EQ(lists.IsBlocked(c.key), c.blocked) << c.key;
  }
  EXPECT_FALSE(IsOnList("", "C:\\A\\x.exe", false));
  WriteRegValue(kSettingsKey, "Allowed", "");
  AppendToList("Blocked", "D:\\Other.exe", "");
  EXPECT_TRUE(lists.IsAllowed("ABC123"));
  EXPECT_FALSE(lists.IsBlocked("D:\\other.exe"));
  lists.Forget();
  EXPECT_FALSE(lists.IsAllowed("ABC123"));
  EXPECT_TRUE(lists.IsBlocked("D:\\other.exe"));
}

TEST(ListLookupTest, ListsGrowPairByPairInTheSettingsKey) {
  RegistrySandbox sandbox;
  EXPECT_EQ(GetAllowedList(), "");
  AppendToList("Allowed", "C:\\A\\x.exe", "ABC");
  EXPECT_EQ(GetAllowedList(), "<#>C:\\A\\x.exe<#>ABC");
  AppendToList("Allowed", "C:\\B\\y.exe", "");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Allowed", ""), "<#>C:\\A\\x.exe<#>ABC<#>C:\\B\\y.exe<#>");
  EXPECT_TRUE(IsAllowed("C:\\B\\y.exe"));
  AppendToList("Blocked", "C:\\A\\x.exe", "ABC");
  EXPECT_TRUE(IsBlocked("c:\\a\\x.exe"));
}

// A restored entry leaves the Blocked list: every pair naming its file or its digest,
// whole fields without case; the other pairs stay as they were, in order.
TEST(ListLookupTest, UnlistingTakesOffEveryPairOfTheKeysAndOnlyThose) {
  RegistrySandbox sandbox;
  const std::vector<std::string> keys = {"c:\\a\\x.exe", "ABC"};
  const struct {
    std::string list, left;
  } cases[] = {
      {"", ""},
      {"<#>C:\\A\\x.exe<#>111<#>C:\\B\\y.exe<#>222", "<#>C:\\B\\y.exe<#>222"},
      {"<#>C:\\B\\copy.exe<#>abc<#>C:\\B\\y.exe<#>", "<#>C:\\B\\y.exe<#>"},
      {"<#>C:\\A\\x.exe<#><#>C:\\A\\x.exe<#>ABC", ""},
      {"<#>C:\\A\\x.exe.bak<#>ABCD<#>C:\\A<#>BC", "<#>C:\\A\\x.exe.bak<#>ABCD<#>C:\\A<#>BC"},
  };
  for (const auto& c : cases) {
    WriteRegValue(kSettingsKey, "Blocked", c.list);
    EXPECT_TRUE(UnlistBlocked(keys)) << c.list;
    EXPECT_EQ(GetBlockedList(), c.left) << c.list;
  }
  // A list that cannot be written stays whole, and says so.
  WriteRegValue(kSettingsKey, "Blocked", cases[1].list);
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, true);
  EXPECT_FALSE(UnlistBlocked(keys));
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, false);
  EXPECT_EQ(GetBlockedList(), cases[1].list);
}

TEST(PssFolderTest, FreeNamesNeverReplaceWhatIsThere) {
  TestFolder folder;
  ScopedEnv windir("windir", folder.path());
  EXPECT_EQ(PssFolder(), folder.path() + "\\pss");
  EXPECT_EQ(FreePathIn(folder.path(), "Tool.lnk"), folder.File("Tool.lnk"));
  folder.Write("Tool.lnk", "1");
  EXPECT_EQ(FreePathIn(folder.path(), "Tool.lnk"), folder.File("Tool (2).lnk"));
  folder.Write("tool (2).LNK", "2");
  EXPECT_EQ(FreePathIn(folder.path(), "Tool.lnk"), folder.File("Tool (3).lnk"));
  folder.Write("README", "x");
  EXPECT_EQ(FreePathIn(folder.path(), "README"), folder.File("README (2)"));
}

// Every kind of value comes back with its type and its bytes, under its own name.
TEST_F(MuteTest, RegistryValuesComeBackByteForByte) {
  const std::vector<std::pair<std::string, RegData>> values = {
      {"Expand", {platform::kRegExpandSz, std::string("%windir%\\x.exe /a\0", 18)}},
      {"Multi", {platform::kRegMultiSz, std::string("a.exe\0b c.exe\0\0", 15)}},
      {"Number", {platform::kRegDword, std::string("\x01\x00\x00\x80", 4)}},
      {"Binary", {platform::kRegBinary, std::string("\x00\xFF\x10<#>\x00", 7)}},
      {"Vendor\\Tool\\Updater", {platform::kRegSz, std::string("C:\\v\\upd.exe\0", 13)}},
      {"Crafted<#>C:\\Windows\\explorer.exe<#>HKLM\\x<#>2",
       {platform::kRegSz, std::string("C:\\c.exe\0", 9)}},
      {"", {platform::kRegSz, std::string("C:\\default.exe\0", 15)}},
  };
  for (const auto& [name, data] : values)
    ASSERT_EQ(WriteRegRaw(kHkcuRun, name, data), 0) << name;

  StartupEntryList entries = ListRegistryValues(kHkcuRun);
  ASSERT_EQ(entries.size(), values.size());
  for (const StartupEntry& entry : entries)
    EXPECT_TRUE(MuteEntry(entry, pss_)) << entry.Name;
  EXPECT_TRUE(ListRegistryValues(kHkcuRun).empty());
  for (const auto& [name, data] : values) {
    RegData muted = Raw(kMutedKey, std::string(kHkcuRun) + "\\" + name);
    EXPECT_EQ(muted.type, data.type) << name;
    EXPECT_EQ(muted.bytes, data.bytes) << name;
  }

  RestoreMutedEntries();
  for (const auto& [name, data] : values) {
    RegData back = Raw(kHkcuRun, name);
    EXPECT_EQ(back.type, data.type) << name;
    EXPECT_EQ(back.bytes, data.bytes) << name;
  }
  EXPECT_EQ(EnumRegValues(kMutedKey).Count(), 0);
  EXPECT_EQ(ErrorLog(), "");
}

// Two Startup folders with a Tool.lnk each, and a Tool.lnk already waiting in pss.
TEST_F(MuteTest, FilesOfTheSameNameAllSurviveMuteAndRestore) {
  platform::CreateFolder(folder_.File("Common"));
  platform::CreateFolder(folder_.File("User"));
  platform::CreateFolder(pss_);
  std::string common = folder_.Write("Common\\Tool.lnk", "common shortcut");
  std::string user = folder_.Write("User\\Tool.lnk", "user shortcut");
  std::string waiting = folder_.Write("pss\\Tool.lnk", "blocked earlier");

  EXPECT_TRUE(MuteEntry({"Tool", "C:\\t.exe", common, "2"}, pss_));
  EXPECT_TRUE(MuteEntry({"Tool", "C:\\t.exe", user, "2"}, pss_));
  EXPECT_EQ(Contents(common), "<missing>");
  EXPECT_EQ(Contents(user), "<missing>");
  EXPECT_EQ(ReadRegValue(kMutedKey, common, ""), pss_ + "\\Tool (2).lnk");
  EXPECT_EQ(ReadRegValue(kMutedKey, user, ""), pss_ + "\\Tool (3).lnk");
  EXPECT_EQ(Contents(pss_ + "\\Tool (2).lnk"), "common shortcut");
  EXPECT_EQ(Contents(pss_ + "\\Tool (3).lnk"), "user shortcut");

  RestoreMutedEntries();
  EXPECT_EQ(Contents(common), "common shortcut");
  EXPECT_EQ(Contents(user), "user shortcut");
  EXPECT_EQ(Contents(waiting), "blocked earlier");
  EXPECT_EQ(EnumRegValues(kMutedKey).Count(), 0);
  EXPECT_EQ(ErrorLog(), "");
}

// Each record is tried once: one whose copy is gone deletes nothing and stays; a file in
// the way is replaced only by its muted copy; an older text record comes back as text.
// The muted folder is made when missing.
TEST_F(MuteTest, RestoreHandlesWhatChangedMeanwhile) {
  platform::CreateFolder(folder_.File("User"));
  std::string bat = folder_.Write("User\\a.bat", "x");
  EXPECT_TRUE(MuteEntry({"a", bat, bat, "2"}, pss_));
  EXPECT_EQ(Contents(pss_ + "\\a.bat"), "x");
  std::string kept = folder_.Write("User\\Kept.lnk", "new one");
  WriteRegValue(kMutedKey, kept, pss_ + "\\Kept.lnk");  // no such copy
  std::string tool = folder_.Write("User\\Tool.lnk", "came back meanwhile");
  folder_.Write("pss\\Tool.lnk", "muted");
  WriteRegValue(kMutedKey, tool, pss_ + "\\Tool.lnk");
  WriteRegValue(kMutedKey, std::string(kHkcuRun) + "\\Old", "C:\\old.exe");

  RestoreMutedEntries();
  EXPECT_EQ(Contents(bat), "x");
  EXPECT_EQ(Contents(kept), "new one");
  EXPECT_EQ(ReadRegValue(kMutedKey, kept, ""), pss_ + "\\Kept.lnk");
  EXPECT_NE(ErrorLog().find("is missing"), std::string::npos) << ErrorLog();
  EXPECT_EQ(Contents(tool), "muted");
  EXPECT_FALSE(HasValue(kMutedKey, tool));
  EXPECT_EQ(Raw(kHkcuRun, "Old").type, platform::kRegSz);
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Old", ""), "C:\\old.exe");
}

// A standard user cannot write HKLM: the Muted record fails, and the entry stays put.
TEST_F(MuteTest, WhenTheRecordCannotBeWrittenTheEntryStays) {
  WriteRegValue(kHkcuRun, "Updater", "C:\\upd.exe");
  platform::CreateFolder(folder_.File("User"));
  std::string file = folder_.Write("User\\a.bat", "x");
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, true);
  EXPECT_FALSE(MuteEntry({"Updater", "C:\\upd.exe", kHkcuRun, "1"}, pss_));
  EXPECT_FALSE(MuteEntry({"a", file, file, "2"}, pss_));
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, false);
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Updater", ""), "C:\\upd.exe");
  EXPECT_EQ(Contents(file), "x");
  EXPECT_EQ(EnumRegValues(kMutedKey).Count(), 0);
  EXPECT_NE(ErrorLog().find("Cannot write the muted record"), std::string::npos) << ErrorLog();
}
