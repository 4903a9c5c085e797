// The Blocked Entries window: its rows, Restore and Delete on the selected one, and what
// it says when a restore cannot be done.
#include "ui/BlockedEntriesWindow.h"

#include <gtest/gtest.h>

#include "app/Settings.h"
#include "app/TextFunctions.h"
#include "guard/Blocking.h"
#include "guard/RuleLists.h"
#include "platform/files.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

class BlockedWindowTest : public ::testing::Test {
 protected:
  BlockedWindowTest() : program_(folder_.File("Runwarden.exe")), windir_("windir", folder_.path()) {
    sandbox_.Own(kHkcuRun);
    sandbox_.Own(kStartupRegBackupKey);
    sandbox_.Own(kStartupFolderBackupKey);
    upd_ = folder_.Write("upd.exe", "MZ");
    Block("Updater", {2026, 12, 1, 8, 0, 0});
    Block("Helper", {2026, 12, 2, 8, 0, 0});
  }
  ~BlockedWindowTest() override { window_.Unload(); }

  void Block(const std::string& name, const platform::LocalTime& time) {
    ScopedNow now(time);
    WriteRegValue(kHkcuRun, name, upd_ + " /" + name);
    ASSERT_TRUE(RemoveStartupEntry({name, upd_ + " /" + name, kHkcuRun, "1"}, upd_, PssFolder()));
  }

  frmBlocked::Controls& Open() {
    window_.Show();
    return *window_.controls();
  }

  RegistrySandbox sandbox_;
  TestFolder folder_;
  ProgramLocation program_;
  ScopedEnv windir_;
  std::string upd_;
  frmBlocked window_;
  MessageBoxRecorder boxes_;
};

}  // namespace

// Rows newest first; Restore (Alt+R) and Delete act on the selected one; a restore that
// cannot be done says why, is logged, and keeps the row.
TEST_F(BlockedWindowTest, RestoreAndDeleteTheSelectedRowAndAFailedRestoreSaysWhy) {
  WriteRegValue(kHkcuRun, "Helper", "C:\\newer.exe");
  frmBlocked::Controls& c = Open();
  ASSERT_EQ(c.List1.ListCount(), 2);
  EXPECT_EQ(c.List1.List(0), BlockedRowText(window_.backups()[0]));
  EXPECT_EQ(c.List1.List(0).substr(0, 7), "Helper\t");
  EXPECT_EQ(c.List1.List(1).substr(0, 8), "Updater\t");
  EXPECT_EQ(c.List1.ListIndex(), 0);
  EXPECT_NE(c.lblDetails.Caption().find("Location: " + std::string(kHkcuRun)), std::string::npos);
  c.cmdRestore.Click();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "Cannot restore 'Helper'.\r\n\r\nThe value 'Helper' of " +
                                std::string(kHkcuRun) +
                                " holds something else now; it was left as it is.");
  EXPECT_EQ(boxes_[0].style, platform::kMbOk | platform::kMbIconExclamation);
  EXPECT_EQ(c.List1.ListCount(), 2);
  EXPECT_EQ(c.lblStatus.Caption(), "");
  EXPECT_NE(folder_.Read("errlog.log").find("Cannot restore 'Helper' of " + std::string(kHkcuRun)),
            std::string::npos);
  DeleteRegValue(kHkcuRun, "Helper");
  boxes_.clear();

  c.List1.SetListIndex(1);
  EXPECT_TRUE(c.form.PressAccessKey('r'));
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Updater", ""), upd_ + " /Updater");
  EXPECT_EQ(c.lblStatus.Caption(), "'Updater' is back in its place.");
  ASSERT_EQ(c.List1.ListCount(), 1);
  EXPECT_EQ(c.List1.ListIndex(), 0);
  EXPECT_TRUE(boxes_.empty());

  for (int answer : {platform::kIdCancel, platform::kIdOk}) {
    boxes_.answer = answer;
    c.cmdDelete.Click();
    EXPECT_EQ(c.List1.ListCount(), answer == platform::kIdOk ? 0 : 1);
  }
  ASSERT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(boxes_[0].text,
            "Delete the backup of 'Helper'?\r\n\r\nThe entry can no longer be restored, and "
            "stays blocked.");
  EXPECT_EQ(boxes_[0].title, "Blocked Entries");
  EXPECT_EQ(boxes_[0].style, platform::kMbOkCancel | platform::kMbIconExclamation);
  EXPECT_FALSE(c.cmdRestore.Enabled());
  EXPECT_FALSE(c.cmdDelete.Enabled());
  EXPECT_EQ(c.lblDetails.Caption(), "Runwarden keeps no backup of a blocked entry.");
  EXPECT_FALSE(RegKeyExists(std::string(kStartupRegBackupKey) + "\\Helper"));
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Helper", "gone"), "gone");
  c.cmdClose.Click();
  EXPECT_FALSE(c.form.Open());
}

// A field longer than its column is cut to fit it (a path in its middle, where its names
// are not), whole characters only; a tab inside a field would open a column and becomes
// a blank. A field that fits stays whole.
TEST_F(BlockedWindowTest, FieldsAreCutToFitTheirColumns) {
  frmBlocked::Controls& c = Open();
  const std::vector<int32_t>& stops = c.List1.TabStops();
  ASSERT_EQ(stops.size(), 3u);
  const int32_t widths[] = {stops[0], stops[1] - stops[0], stops[2] - stops[1]};

  BlockedBackup backup;
  backup.name = "Tab\tin a name that goes on and on past its column";
  backup.command =
      "\"C:\\Program Files\\\xC3\x89"
      "diteur\\editor.exe\" --background --quiet --check-every 3600";
  backup.location = "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
  std::vector<std::string> fields = SplitText(BlockedRowText(backup), "\t");
  ASSERT_EQ(fields.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    int32_t width = platform::TextWidth(c.List1.GetFont(), fields[i]);
    EXPECT_LE(width, widths[i]) << fields[i];
    EXPECT_GT(width, widths[i] / 2) << fields[i];
    EXPECT_NE(fields[i].find("..."), std::string::npos) << fields[i];
  }
  EXPECT_EQ(fields[0].rfind("Tab in a name", 0), 0u) << fields[0];
  const std::string command_start = fields[1].substr(0, fields[1].size() - 3);
  EXPECT_EQ(backup.command.rfind(command_start, 0), 0u) << fields[1];
  EXPECT_GT(command_start.size(), std::string("\"C:\\Program Files\\\xC3\x89").size());
  EXPECT_EQ(fields[2].rfind("HKLM\\", 0), 0u) << fields[2];
  EXPECT_EQ(fields[2].substr(fields[2].size() - 4), "\\Run") << fields[2];
  EXPECT_EQ(fields[3], "unknown");

  BlockedBackup short_one{BackupStore::kOwn, "value", "Tray", "C:\\tray.exe",
                          "HKCU\\Run",       {},      "",     ""};
  EXPECT_EQ(BlockedRowText(short_one), "Tray\tC:\\tray.exe\tHKCU\\Run\tunknown");
}
