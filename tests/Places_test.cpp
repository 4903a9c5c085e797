// The places beyond the Run keys: list values split into items, Windows' own items and
// values no entry, each technique one entry, muted and blocked without breaking logon,
// and put back byte for byte.
#include "guard/Places.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "app/TextFunctions.h"
#include "guard/BlockedBackups.h"
#include "guard/Blocking.h"
#include "guard/ListValues.h"
#include "guard/Locations.h"
#include "guard/OwnBackups.h"
#include "guard/RuleLists.h"
#include "platform/files.h"
#include "platform/system.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/Techniques.h"
#include "support/TestFolder.h"

namespace {

using platform::RegData;

RegData Bytes(uint32_t type, const std::string& bytes) {
  return {type, bytes};
}

TEST(ListValuesTest, AnItemGoesWithOneSeparatorAndComesBackAtTheEnd) {
  const std::string z(1, '\0');
  struct Case {
    ListForm form;
    std::string before, item, after;
  };
  const Case cases[] = {
      {ListForm::kComma, "explorer.exe, c:\\a.exe" + z, "C:\\A.EXE", "explorer.exe" + z},
      {ListForm::kComma, "c:\\w\\userinit.exe,c:\\a.exe," + z, "c:\\a.exe",
       "c:\\w\\userinit.exe," + z},
      {ListForm::kComma, "c:\\a.exe,userinit.exe" + z, "c:\\a.exe", "userinit.exe" + z},
      {ListForm::kComma, "x, c:\\a.exe ,y" + z, "c:\\a.exe", "x,y" + z},
      {ListForm::kComma, "a,a" + z, "a", "a" + z},
      {ListForm::kBlankOrComma, "a.exe  b.exe,c.exe" + z, "b.exe", "a.exe  c.exe" + z},
      {ListForm::kBlankOrComma, "a.exe, b.exe" + z, "b.exe", "a.exe" + z},
      {ListForm::kMulti, "autocheck autochk *" + z + "b" + z + z, "b",
       "autocheck autochk *" + z + z},
      {ListForm::kMulti, "b" + z + "c" + z + z, "b", "c" + z + z},
  };
  for (const Case& c : cases) {
    uint32_t type = c.form == ListForm::kMulti ? platform::kRegMultiSz : platform::kRegSz;
    RegData out;
    ASSERT_TRUE(RemoveListItem(Bytes(type, c.before), c.form, c.item, &out)) << c.before;
    EXPECT_EQ(out, Bytes(type, c.after)) << c.before;
    EXPECT_FALSE(HasListItem(ListItems(Bytes(type, c.after), c.form), c.item) && c.item != "a");
  }
  RegData unchanged;
  EXPECT_FALSE(
      RemoveListItem(Bytes(platform::kRegSz, "a,b" + z), ListForm::kComma, "c", &unchanged));
  EXPECT_EQ(AppendListItem(Bytes(platform::kRegSz, "userinit.exe," + z), ListForm::kComma, "x"),
            Bytes(platform::kRegSz, "userinit.exe,x" + z));
  EXPECT_EQ(AppendListItem(Bytes(platform::kRegSz, "rdpclip" + z), ListForm::kComma, "x"),
            Bytes(platform::kRegSz, "rdpclip,x" + z));
  EXPECT_EQ(AppendListItem(Bytes(platform::kRegMultiSz, "a" + z + z), ListForm::kMulti, "b"),
            Bytes(platform::kRegMultiSz, "a" + z + "b" + z + z));
  EXPECT_EQ(ListItems(Bytes(platform::kRegSz, " a , ,b" + z + "c"), ListForm::kComma),
            (std::vector<std::string>{"a", "b"}));
}

// A prefix whose places hold what the test plants, with the variables Windows sets.
class PlacesTest : public ::testing::Test {
 protected:
  PlacesTest() {
    for (const char* name : {"windir", "SystemRoot"})
      if (platform::GetEnv(name).empty())
        env_.push_back(std::make_unique<ScopedEnv>(name, "C:\\Windows"));
    if (platform::GetEnv("USERPROFILE").empty())
      env_.push_back(std::make_unique<ScopedEnv>("USERPROFILE", "C:\\Users\\rw"));
    if (platform::GetEnv("ProgramData").empty())
      env_.push_back(std::make_unique<ScopedEnv>("ProgramData", "C:\\ProgramData"));
    techniques_ = Techniques([this](const std::string& tag) {
      if (tag.find('.') == std::string::npos) {
        std::string folder = folder_.File(tag);
        platform::CreateFolder(folder);
        return folder;
      }
      return folder_.File(tag);
    });
    // The Run keys and Startup folders, with msconfig's backups, have suites of their own.
    std::erase_if(techniques_, [](const Technique& t) { return t.store != BackupStore::kOwn; });
    OwnTechniquePlaces(sandbox_, techniques_);
    sandbox_.Own(kBackupsKey);
  }

  // The entries of the places that are not files.
  StartupEntryList PlaceEntries() {
    StartupEntryList entries;
    for (const StartupEntry& entry : CollectPlaceEntries())
      if (entry.Kind != kKindFile)
        entries.push_back(entry);
    for (const StartupEntry& entry :
         ListRunOnceEx("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"))
      entries.push_back(entry);
    return entries;
  }

  std::vector<std::unique_ptr<ScopedEnv>> env_;
  RegistrySandbox sandbox_;
  TestFolder folder_;
  std::vector<Technique> techniques_;
};

using EntryFields = std::tuple<std::string, std::string, std::string>;

std::vector<EntryFields> Fields(const StartupEntryList& entries) {
  std::vector<EntryFields> fields;
  for (const StartupEntry& entry : entries)
    fields.emplace_back(entry.Kind, entry.Location, entry.Command);
  std::sort(fields.begin(), fields.end());
  return fields;
}

TEST_F(PlacesTest, EveryTechniqueIsOneEntryAndACleanWindowsNone) {
  ASSERT_TRUE(PlantCleanWindows());
  EXPECT_EQ(Fields(PlaceEntries()), std::vector<EntryFields>{});

  ASSERT_TRUE(Plant(techniques_));
  std::vector<EntryFields> expected;
  for (const Technique& technique : techniques_)
    expected.emplace_back(technique.kind, technique.location, technique.command);
  std::sort(expected.begin(), expected.end());
  StartupEntryList entries = PlaceEntries();
  EXPECT_EQ(Fields(entries), expected);
  for (const StartupEntry& entry : entries) {
    if (entry.Kind == kKindListItem || entry.Kind == kKindMovedFolder)
      EXPECT_EQ(entry.Location, entry.RegKey + "\\" + entry.RegValue);
  }

  // The moved folder's files are what Windows starts now: listed once, whether the shell
  // names the moved folder (Windows) or not.
  const std::string payload = folder_.File("rwt-startup") + "\\rwt-payload.bat";
  platform::WriteWholeFile(payload, "echo");
  StartupEntryList all = CollectStartupEntries();
  EXPECT_EQ(std::count_if(all.begin(), all.end(),
                          [&](const StartupEntry& entry) {
                            return entry.Kind == kKindFile &&
                                   EqualsIgnoringCase(entry.Location, payload);
                          }),
            1);
}

// Several items of one value muted in one pass (Windows' own program replaced, too),
// every technique muted, then everything put back as it was.
TEST_F(PlacesTest, MutedTogetherAndPutBackByteForByte) {
  const std::string z(1, '\0');
  techniques_[0].planted = {platform::kRegSz,
                            folder_.File("rw-a.exe") + ", " + folder_.File("rw-b.exe") + z};
  techniques_[4].planted = {
      platform::kRegMultiSz,
      "autocheck autochk *" + z + folder_.File("rw-c.exe") + z + folder_.File("rw-d.exe") + z + z};
  techniques_[3].planted = {platform::kRegSz, folder_.File("rw-shell.exe") + z};
  ASSERT_TRUE(Plant(techniques_));
  StartupEntryList entries = PlaceEntries();
  ASSERT_EQ(entries.size(), techniques_.size() + 2);
  for (const StartupEntry& entry : entries)
    EXPECT_TRUE(MuteEntry(entry, folder_.path())) << entry.Location << " " << entry.Command;

  EXPECT_EQ(PlaceEntries(), StartupEntryList{});
  // Logon still works: Windows' own programs stay, or come back.
  RegData data;
  ASSERT_TRUE(ReadRegRaw(kWinlogonKey, "Userinit", &data));
  EXPECT_EQ(ListItems(data, ListForm::kComma),
            std::vector<std::string>{platform::GetEnv("windir") + "\\system32\\userinit.exe"});
  ASSERT_TRUE(ReadRegRaw(kWinlogonKey, "Shell", &data));
  EXPECT_EQ(data.bytes, "explorer.exe" + z);
  ASSERT_TRUE(ReadRegRaw(kUserWinlogonKey, "Shell", &data));
  EXPECT_EQ(data.bytes, "explorer.exe" + z);
  ASSERT_TRUE(ReadRegRaw(kSessionManagerKey, "BootExecute", &data));
  EXPECT_EQ(data.bytes, "autocheck autochk *" + z + z);
  ASSERT_TRUE(ReadRegRaw(kUserShellFoldersKey, "Startup", &data));
  EXPECT_EQ(data, RegData({platform::kRegExpandSz, DefaultStartupFolderText("Startup") + z}));

  RestoreMutedEntries();
  EXPECT_TRUE(AsPlanted(techniques_));
  EXPECT_FALSE(HasMutedRecords(kMutedKey));
}

// Blocked: out of its place with a backup the Blocked Entries window lists, and restored
// from it as it was.
TEST_F(PlacesTest, BlockedWithABackupTheRestorePageRestores) {
  ASSERT_TRUE(Plant(techniques_));
  StartupEntryList entries = PlaceEntries();
  ASSERT_EQ(entries.size(), techniques_.size());
  for (const StartupEntry& entry : entries)
    EXPECT_TRUE(RemoveStartupEntry(entry, entry.Command, folder_.path())) << entry.Location;
  EXPECT_EQ(PlaceEntries(), StartupEntryList{});

  std::vector<BlockedBackup> backups = ListBlockedBackups();
  ASSERT_EQ(backups.size(), techniques_.size());
  std::vector<EntryFields> listed, expected;
  for (const BlockedBackup& backup : backups) {
    EXPECT_EQ(backup.store, BackupStore::kOwn);
    listed.emplace_back(backup.kind, backup.location, backup.command);
  }
  for (const Technique& technique : techniques_) {
    std::string kind = technique.kind == kKindListItem      ? kBackupKindItem
                       : technique.kind == kKindMovedFolder ? kBackupKindFolder
                                                            : kBackupKindValue;
    expected.emplace_back(kind, technique.location, technique.command);
  }
  std::sort(listed.begin(), listed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listed, expected);

  for (const BlockedBackup& backup : backups) {
    std::string problem;
    EXPECT_TRUE(RestoreBlockedBackup(backup, &problem)) << backup.location << ": " << problem;
  }
  EXPECT_TRUE(AsPlanted(techniques_));
  EXPECT_TRUE(ListBlockedBackups().empty());
}

}  // namespace

// An item another hand took out between the listing and the muting (Windows XP's repair
// of Userinit and Shell) is out: nothing is recorded, nothing put back.
TEST_F(PlacesTest, AnItemGoneSinceTheListingIsOutWithNothingToPutBack) {
  ASSERT_TRUE(Plant({techniques_[0]}));
  StartupEntryList entries = PlaceEntries();
  ASSERT_EQ(entries.size(), 1u);
  const RegData repaired{platform::kRegSz, "userinit.exe" + std::string(1, '\0')};
  ASSERT_EQ(WriteRegRaw(kWinlogonKey, "Userinit", repaired), 0);
  EXPECT_TRUE(MuteEntry(entries[0], folder_.path()));
  EXPECT_FALSE(HasMutedRecords(kMutedKey));
  RestoreMutedEntries();
  RegData data;
  EXPECT_TRUE(ReadRegRaw(kWinlogonKey, "Userinit", &data) && data == repaired);
}

TEST(RunnableCommandTest, ARunOnceExSectionValueRunsItsDll) {
  const std::string section = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx\\0001";
  const std::string run = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  EXPECT_EQ(RunnableCommand({"1", "||C:\\x.dll|Func", section, kKindRegistry}), "C:\\x.dll");
  EXPECT_EQ(RunnableCommand({"1", "Title|C:\\y.dll|Func a", section, kKindRegistry}), "C:\\y.dll");
  EXPECT_EQ(RunnableCommand({"1", "C:\\z.dll|Func", section + "\\Depend", kKindRegistry}),
            "C:\\z.dll");
  EXPECT_EQ(RunnableCommand({"1", "C:\\w.exe /q", section, kKindRegistry}), "C:\\w.exe /q");
  EXPECT_EQ(RunnableCommand({"R", "a|b|c", run, kKindRegistry}), "a|b|c");
}
