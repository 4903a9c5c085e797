#include "guard/Blocking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "guard/RuleLists.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "registry/basReg.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

constexpr char kHkcuRun[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string Contents(const std::string& path) {
  std::string bytes;
  return platform::ReadWholeFile(path, &bytes) ? bytes : "<missing>";
}

bool HasValue(const std::string& path, const std::string& name) {
  platform::RegData data;
  return ReadRegRaw(path, name, &data);
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
  });
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
    std::vector<std::string> expected = {
        "item=upd.exe", "command=" + file + " /quiet", "hkey=HKCU",
        "key=Software\\Microsoft\\Windows\\CurrentVersion\\Run", "inimapping=0"};
    if (version == 6)
      for (const char* time : {"HOUR=#21", "MINUTE=#7", "SECOND=#9", "DAY=#6", "MONTH=#12", "YEAR=#2026"})
        expected.push_back(time);
    EXPECT_EQ(ValuesOf(std::string(kStartupRegBackupKey) + "\\Updater"), Sorted(expected)) << version;
    DeleteRegTree(kStartupRegBackupKey);
  }
}

TEST_F(BlockTest, AValueWhoseFileIsMissingIsBackedUpToo) {
  WriteRegValue(kHkcuRun, "Ghost", "C:\\gone\\ghost.exe");
  EXPECT_TRUE(RemoveStartupEntry({"Ghost", "C:\\gone\\ghost.exe", kHkcuRun, "1"},
                                 "c:\\gone\\ghost.exe", pss_));
  EXPECT_FALSE(HasValue(kHkcuRun, "Ghost"));
  EXPECT_EQ(ReadRegValue(std::string(kStartupRegBackupKey) + "\\Ghost", "command", ""),
            "C:\\gone\\ghost.exe");
  EXPECT_EQ(ReadRegValue(std::string(kStartupRegBackupKey) + "\\Ghost", "item", ""), "ghost.exe");
}

TEST_F(BlockTest, AnUnnamedValueIsBackedUpInTheStartupregKeyItself) {
  WriteRegValue(kHkcuRun, "", "C:\\d.exe");
  EXPECT_TRUE(RemoveStartupEntry({"", "C:\\d.exe", kHkcuRun, "1"}, "c:\\d.exe", pss_));
  EXPECT_FALSE(HasValue(kHkcuRun, ""));
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
      if (c == '\\') c = '^';
    EXPECT_EQ(key, std::string(kStartupFolderBackupKey) + "\\" + caret_path);
    EXPECT_TRUE(RemoveStartupEntry(entry, target, pss_));
    std::string moved = pss_ + (version == 6 ? "\\Tool (2).lnk" : "\\Tool (3).lnk");
    EXPECT_EQ(Contents(link), "<missing>");
    EXPECT_EQ(Contents(moved), "shortcut " + std::to_string(version));
    std::vector<std::string> expected = {"backup=" + moved, "item=Tool", "command=" + target,
                                         version == 5 ? "location=startup"
                                                      : "location=" + folder_.File("Startup"),
                                         "path=" + link, "inimapping=0"};
    if (version == 6) {
      expected.push_back("backupExtension=.CommonStartup");
      for (const char* time : {"HOUR=#21", "MINUTE=#7", "SECOND=#9", "DAY=#6", "MONTH=#12", "YEAR=#2026"})
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
