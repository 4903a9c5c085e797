#include "guard/Locations.h"
#include "guard/HashCache.h"
#include "guard/Rating.h"

#include <gtest/gtest.h>

#include <algorithm>
#include "app/TextFunctions.h"

#include "app/Settings.h"
#include "guard/Blocking.h"
#include "guard/RuleLists.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "support/RegistrySandbox.h"
#include "support/ScanMachine.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

std::vector<std::string> Names(const StartupEntryList& entries) {
  std::vector<std::string> names;
  for (const StartupEntry& entry : entries)
    names.push_back(entry.Name.substr(0, entry.Name.find('.')));
  return names;
}

}  // namespace

// Files and shortcut targets, no subfolders. A hidden item starts at logon like any other
// (and hiding is how a harmful shortcut stays unseen), as a system file does; hidden and
// system at once is the shell's own desktop.ini: never an entry, so never blocked.
TEST(CollectTest, FoldersGiveFilesAndShortcutTargetsButNoSubfoldersOrDesktopIni) {
  ScanMachine machine;
  const std::string startup = machine.Startup();
  platform::CreateFolder(startup + "\\Sub");
  std::string target = machine.Program("tray.exe", "MZ");
  std::string link = machine.AddStartupShortcut("Tray", target);
  machine.folder().Write("Startup\\Sub\\Deeper.bat", "@echo");
  const struct {
    const char* name;
    uint32_t attributes;
  } files[] = {{"desktop.ini", platform::kAttrHidden | platform::kAttrSystem},
               {"Hidden.bat", platform::kAttrHidden},
               {"System.bat", platform::kAttrSystem}};
  for (const auto& file : files)
    ASSERT_TRUE(platform::WriteAttributes(
        machine.folder().Write(std::string("Startup\\") + file.name, "x"), file.attributes));

  StartupEntryList entries = ListStartupFolder(platform::kFolderStartup, "");
  std::sort(entries.begin(), entries.end(),
            [](const StartupEntry& a, const StartupEntry& b) { return a.Location < b.Location; });
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"Hidden", "System", "Tray"}));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].Command, startup + "\\Hidden.bat");
  EXPECT_EQ(entries[0].Location, startup + "\\Hidden.bat");
  EXPECT_EQ(LowerCase(entries[2].Command), LowerCase(target)) << entries[2].Command;
  EXPECT_EQ(entries[2].Location, link);
  EXPECT_EQ(entries[2].Kind, kKindFile);
  // By path the number is ignored; an unknown number or a missing folder gives nothing.
  EXPECT_EQ(ListStartupFolder(12345, startup).size(), 3u);
  EXPECT_TRUE(ListStartupFolder(12345, "").empty());
  EXPECT_TRUE(ListStartupFolder(0, machine.folder().File("Absent")).empty());
}

// The locations in their order, a redirected machine key followed by its 32-bit view,
// and the three that only version 5 has.
TEST(CollectTest, LocationsComeInTheirOrderWithTheVersionConditions) {
  ScanMachine machine;
  const std::pair<int, const char*> folders[] = {{platform::kFolderCommonStartup, "Common"},
                                                 {platform::kFolderAltStartup, "Alt"},
                                                 {platform::kFolderStartup, ""},
                                                 {platform::kFolderCommonAltStartup, "CommonAlt"}};
  for (const auto& [number, name] : folders) {
    std::string folder = *name ? "Startup" + std::to_string(number) : "Startup";
    machine.folder().Write(folder + "\\" + (*name ? name : "User") + ".bat", "x");
  }
  platform::CreateFolder(machine.Windir() + "\\tasks");
  machine.folder().Write("windows\\tasks\\Task.job", "x");
  WriteRegValue(kHkcuRun, "HKCU", "b.exe");
  WriteRegValue(kHklmRun, "HKLM", "a.exe");
  WriteRegValue("HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", "HKLM32",
                "c.exe");
  auto names_at = [](int version) {
    ScopedVersion os(version);
    return Names(CollectStartupEntries());
  };
  EXPECT_EQ(names_at(5), (std::vector<std::string>{"HKLM", "HKLM32", "HKCU", "Common", "Alt",
                                                   "User", "CommonAlt", "Task"}));
  EXPECT_EQ(names_at(6), (std::vector<std::string>{"HKLM", "HKLM32", "HKCU", "Common", "User"}));
}

namespace {

class RatingTest : public ::testing::Test {
 protected:
  RatingTest() : program_(folder_.File("Runwarden.exe")), now_({2026, 3, 5, 10, 0, 0}) {}

  std::string Cached(const std::string& name) { return ReadRegValue(kCachedKey, name, "<none>"); }

  RegistrySandbox sandbox_;
  TestFolder folder_;
  ProgramLocation program_;
  ScopedNow now_;
};

}  // namespace

TEST_F(RatingTest, PreRulesRateByEntryAndFileNameAndAreCached) {
  EXPECT_EQ(CheckPreRules("Early", "early.exe"), kUnknownRating);  // no file: unknown
  folder_.Write("prerules.ini",
                "[MyApp]\r\nF=MYAPP.EXE\r\nC=Y\r\nD=Updater\r\n"
                "[Other]\r\nF=other.exe\r\n"
                "[Named]\r\nF=right.exe\r\nC=N\r\nD=Not this one\r\n");
  EXPECT_EQ(CheckPreRules("MyApp", "myapp.exe"), "Y<#>Updater");
  EXPECT_EQ(Cached("MyApp<#>myapp.exe"), "Y<#>Updater");
  EXPECT_EQ(CheckPreRules("Other", "other.exe"), kUnknownRating);  // no C, no D
  EXPECT_EQ(CheckPreRules("Named", "wrong.exe"), kUnknownRating);
  EXPECT_EQ(Cached("Named<#>wrong.exe"), kUnknownRating);
  EXPECT_EQ(CheckPreRules("Nobody", "x.exe"), kUnknownRating);

  // Later answers come from the cache, whatever the file says now.
  folder_.Write("prerules.ini", "[MyApp]\r\nF=myapp.exe\r\nC=X\r\nD=Changed\r\n");
  EXPECT_EQ(CheckPreRules("MyApp", "myapp.exe"), "Y<#>Updater");
}

TEST_F(RatingTest, VirusRulesRateByHashAndClearTheCachesDailyAndMonthly) {
  // Without the file there is no rating, but the day's and month's stamps move.
  EXPECT_EQ(CheckVirusRules("0123"), "");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "CacheCleared", ""), "5");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "RulesCleared", ""), "3");
  folder_.Write("virrules.ini", "[0123456789ABCDEF0123456789ABCDEF]\r\nname=Trojan.Foo\r\n");
  WriteRegValue(kSettingsKey, "Allowed", "<#>C:\\a.exe<#>");
  EXPECT_EQ(CheckVirusRules("0123456789abcdef0123456789abcdef"), "X<#>Trojan.Foo");
  EXPECT_EQ(Cached("0123456789abcdef0123456789abcdef"), "X<#>Trojan.Foo");
  EXPECT_EQ(CheckVirusRules("FFFF"), kUnknownRating);
  EXPECT_EQ(Cached("FFFF"), kUnknownRating);
  EXPECT_EQ(CheckVirusRules(""), "");

  // Next day: a hit still comes from the cache and clears nothing.
  ScopedNow next_day({2026, 3, 6, 9, 0, 0});
  EXPECT_EQ(CheckVirusRules("FFFF"), kUnknownRating);
  EXPECT_EQ(ReadRegValue(kSettingsKey, "CacheCleared", ""), "5");
  // A miss clears the whole Cached key, the answer just written with it.
  WriteRegValue(kHashesKey, "C:\\x.exe", "AAAA");
  EXPECT_EQ(CheckVirusRules("EEEE"), kUnknownRating);
  EXPECT_EQ(Cached("FFFF"), "<none>");
  EXPECT_EQ(Cached("EEEE"), "<none>");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "CacheCleared", ""), "6");
  EXPECT_EQ(ReadRegValue(kHashesKey, "C:\\x.exe", ""), "AAAA");

  // Next month: both caches go, and nothing else.
  ScopedNow next_month({2026, 4, 6, 9, 0, 0});
  WriteRegValue(kMutedKey, "HKCU\\x\\y", "z");
  EXPECT_EQ(CheckVirusRules("DDDD"), kUnknownRating);
  EXPECT_EQ(ReadRegValue(kHashesKey, "C:\\x.exe", "<none>"), "<none>");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "RulesCleared", ""), "4");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Allowed", ""), "<#>C:\\a.exe<#>");
  EXPECT_EQ(ReadRegValue(kMutedKey, "HKCU\\x\\y", ""), "z");
}

TEST_F(RatingTest, HashesAreCachedByPathAndClearedOncePerDay) {
  std::string file = folder_.Write("abc.exe", "abc");
  WriteRegValue(kSettingsKey, "LastHashesCleared", "5");
  EXPECT_EQ(GetFileHashCached(file, 0x8001), "DA853B0D3F88D99B30283A69E6DED6BB");
  EXPECT_EQ(ReadRegValue(kHashesKey, file, ""), "DA853B0D3F88D99B30283A69E6DED6BB");
  // A cached answer is given without reading the file.
  WriteRegValue(kHashesKey, file, "CACHEDVALUE");
  EXPECT_EQ(GetFileHashCached(file, 0x8001), "CACHEDVALUE");
  // A missing file is cached as empty, which means: look again next time.
  EXPECT_EQ(GetFileHashCached(folder_.File("gone.exe"), 0x8001), "");

  ScopedNow next_day({2026, 3, 6, 9, 0, 0});
  std::string other = folder_.Write("other.exe", "a");
  EXPECT_EQ(GetFileHashCached(other, 0x8001), "32EC01EC4A6DAC72C0AB96FB34C0B5D1");
  EXPECT_EQ(ReadRegValue(kHashesKey, file, "<none>"), "<none>");
  EXPECT_EQ(ReadRegValue(kHashesKey, other, "<none>"), "<none>");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "LastHashesCleared", ""), "6");
}

TEST(DescribeRatingTest, EveryCodeHasItsAdviceColourAndPercent) {
  const struct {
    const char *code, *advice;
    int32_t colour, percent;
  } cases[] = {{"X", "Harmful file, Block it", 255, 100},
               {"y", "Safe to remain in startup", 65280, 100},
               {"N", "Not needed, Block it", 65535, 100},
               {"u", "If you need it, Allow it", 65280, 50},
               {"?", "Unknown, Check Community", 65535, 50},
               {"Z", "", 7, 8},  // an unknown code leaves both as they were
               {"", "", 7, 8}};
  for (const auto& c : cases) {
    int32_t colour = 7, percent = 8;
    EXPECT_EQ(DescribeRating(c.code, colour, percent), c.advice);
    EXPECT_EQ(colour, c.colour) << c.code;
    EXPECT_EQ(percent, c.percent) << c.code;
  }
}
