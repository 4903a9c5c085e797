#include "app/basSettings.h"

#include <gtest/gtest.h>

#include "registry/basReg.h"
#include "support/RegistrySandbox.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox_;
};

TEST_F(SettingsTest, AFreshMachineHasEveryCheckBoxOnAndTheAlertOff) {
  OptAlert = true;
  LoadOptions();
  EXPECT_TRUE(OptAutoBlockEntries);
  EXPECT_TRUE(OptTerminateBlockedForever);
  EXPECT_TRUE(OptBlockByHash);
  EXPECT_TRUE(OptAutoBlockMissing);
  EXPECT_TRUE(OptAutoBlockHarmful);
  EXPECT_TRUE(OptAutoUpdate);
  EXPECT_TRUE(OptSendErrors);
  EXPECT_FALSE(OptAlert);
}

TEST_F(SettingsTest, OnlyTheTextOneTurnsAFlagOn) {
  WriteRegValue(kSettingsKey, "chkAuto_Block(4)", "0");
  LoadOptions();
  EXPECT_FALSE(OptAutoBlockMissing);
  EXPECT_TRUE(OptAutoBlockHarmful);

  WriteRegValue(kSettingsKey, "chkAuto_Block(4)", "2");  // a greyed check box
  WriteRegValue(kSettingsKey, "chkSend_Errors(7)", "True");
  WriteRegValue(kSettingsKey, "ALERT", "1");
  LoadOptions();
  EXPECT_FALSE(OptAutoBlockMissing);
  EXPECT_FALSE(OptSendErrors);
  EXPECT_TRUE(OptAlert);
}

TEST_F(SettingsTest, EachFlagReadsItsOwnValue) {
  const char* names[] = {"chkAuto_Block(1)",  "chkTerminate_(2)", "chkBlock_Detection(3)",
                         "chkAuto_Block(4)",  "chkAuto_Block(5)", "chkAuto_Update(6)",
                         "chkSend_Errors(7)"};
  bool* flags[] = {&OptAutoBlockEntries, &OptTerminateBlockedForever, &OptBlockByHash,
                   &OptAutoBlockMissing, &OptAutoBlockHarmful,        &OptAutoUpdate,
                   &OptSendErrors};
  for (int i = 0; i < 7; ++i) {
    WriteRegValue(kSettingsKey, names[i], "0");
    LoadOptions();
    for (int j = 0; j < 7; ++j) EXPECT_EQ(*flags[j], j > i) << names[i] << " / " << names[j];
  }
  // A DWORD 1 reads as the text "1".
  WriteRegValue(kSettingsKey, "chkAuto_Update(6)", "1", true);
  LoadOptions();
  EXPECT_TRUE(OptAutoUpdate);
}

}  // namespace
