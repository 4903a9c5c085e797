#include "guard/SettingsRepair.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/Settings.h"
#include "platform/registry.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/ScanMachine.h"
#include "support/ScopedOverrides.h"

namespace {

class RepairTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox_;
  SystemValuesGuard guard_;
  ScopedVersion os_{5};
  ScopedEnv windir_{"windir", "C:\\WINDOWS"};

  std::string Alert() { return ReadRegValue(kSettingsKey, "ALERT", "<none>"); }
};

}  // namespace

TEST_F(RepairTest, GoodValuesAreWrittenAndChangesRaiseTheAlertBeforeVersion6) {
  RepairSystemSettings();  // whatever the machine held, now it holds the good values
  EXPECT_EQ(ReadRegValue(kWinlogon, "uihost", ""), "%windir%\\resources\\logon\\logonui.exe");
  EXPECT_EQ(ReadRegValue("HKCR\\.exe", "", ""), "exefile");
  EXPECT_EQ(ReadRegValue("HKCR\\exefile\\shell\\open\\command", "", ""), "\"%1\" %*");
  platform::RegData task_mgr;
  ASSERT_TRUE(ReadRegRaw(kCuSystem, "DisableTaskMgr", &task_mgr));
  EXPECT_EQ(task_mgr.type, platform::kRegDword);
  EXPECT_EQ(task_mgr.bytes, std::string(4, '\0'));

  RepairSystemSettings();
  EXPECT_EQ(Alert(), "0");

  // Another letter case is no change, but the value is rewritten.
  WriteRegValue(kWinlogon, "uihost", "%WINDIR%\\resources\\logon\\logonui.exe");
  RepairSystemSettings();
  EXPECT_EQ(Alert(), "0");
  EXPECT_EQ(ReadRegValue(kWinlogon, "uihost", ""), "%windir%\\resources\\logon\\logonui.exe");

  // What was added to the shell is left to the scan, which asks about it.
  WriteRegValue(kWinlogon, "shell", "explorer.exe evil.exe");
  RepairSystemSettings();
  EXPECT_EQ(Alert(), "0");
  EXPECT_EQ(ReadRegValue(kWinlogon, "shell", ""), "explorer.exe evil.exe");

  WriteRegValue(kLmSystem, "DisableRegistryTools", "1", true);
  RepairSystemSettings();
  EXPECT_EQ(Alert(), "1");
  EXPECT_EQ(ReadRegValue(kLmSystem, "DisableRegistryTools", ""), "0");

  // A missing value is created, and is no change.
  DeleteRegValueNamed(kCuSystem, "DisableTaskMgr");
  RepairSystemSettings();
  EXPECT_EQ(Alert(), "0");
  EXPECT_EQ(ReadRegValue(kCuSystem, "DisableTaskMgr", ""), "0");

  // From version 6 on nothing is touched.
  ScopedVersion six(6);
  WriteRegValue(kSettingsKey, "ALERT", "1");
  WriteRegValue(kWinlogon, "uihost", "evil.exe");
  RepairSystemSettings();
  EXPECT_EQ(Alert(), "1");
  EXPECT_EQ(ReadRegValue(kWinlogon, "uihost", ""), "evil.exe");
}
