#include "guard/RuleLists.h"

#include <gtest/gtest.h>

#include "app/Settings.h"
#include "platform/files.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

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
