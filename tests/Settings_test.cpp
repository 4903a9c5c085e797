#include "app/Settings.h"

#include <gtest/gtest.h>

#include "platform/window.h"
#include "registry/Registry.h"
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

namespace {

// A form with one control of every kind the walk knows, and a few it skips.
struct SettingsForm {
  platform::Form form{"frmTest", platform::Form::Border::kFixedSingle};
  platform::Control check{form, platform::ControlKind::kCheckBox, "chkThing", 3};
  platform::Control text{form, platform::ControlKind::kTextBox, "txtName"};
  platform::Control option{form, platform::ControlKind::kOptionButton, "optMode", 1};
  platform::Control other_option{form, platform::ControlKind::kOptionButton, "optMode", 2};
  platform::Control bar{form, platform::ControlKind::kHScrollBar, "HScroll1"};
  platform::Control label{form, platform::ControlKind::kLabel, "lblNote"};
  platform::Control list{form, platform::ControlKind::kListBox, "List1"};
  SettingsForm() { bar.SetRange(0, 90, 1, 10); }
};

TEST_F(SettingsTest, AFormsControlsAreStoredUnderTheirNameAndIndex) {
  SettingsForm f;
  f.check.SetValue(platform::kGrayed);
  f.text.SetCaption("hello");
  f.option.SetValue(1);
  f.bar.SetValue(40);
  f.label.SetCaption("not a setting");
  SaveFormSettings(f.form.Controls());
  EXPECT_EQ(ReadRegValue(kSettingsKey, "chkThing(3)", ""), "2");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "txtName(0)", ""), "hello");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "optMode(1)", ""), "True");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "optMode(2)", ""), "False");
  // Value names are case-insensitive: the alert reads this one as "Hscroll1(0)".
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Hscroll1(0)", ""), "40");
  EXPECT_EQ(EnumRegValues(kSettingsKey).Count(), 5);
}

TEST_F(SettingsTest, AFormsControlsAreRestoredAndRefusedValuesSkipped) {
  WriteRegValue(kSettingsKey, "chkThing(3)", "1");
  WriteRegValue(kSettingsKey, "txtName(0)", "stored");
  WriteRegValue(kSettingsKey, "optMode(2)", "True");
  WriteRegValue(kSettingsKey, "HScroll1(0)", "95");  // beyond the bar: refused
  SettingsForm f;
  f.option.SetValue(1);
  f.bar.SetValue(7);
  int clicks = 0;
  f.check.on_click = [&] { ++clicks; };
  LoadFormSettings(f.form.Controls());
  EXPECT_EQ(f.check.Value(), platform::kChecked);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(f.text.Caption(), "stored");
  EXPECT_EQ(f.other_option.Value(), 1);
  EXPECT_EQ(f.option.Value(), 0);  // one option of a group at a time
  EXPECT_EQ(f.bar.Value(), 7);

  WriteRegValue(kSettingsKey, "HScroll1(0)", "99999");  // not 16 bits
  WriteRegValue(kSettingsKey, "chkThing(3)", "three");
  LoadFormSettings(f.form.Controls());
  EXPECT_EQ(f.bar.Value(), 7);
  EXPECT_EQ(f.check.Value(), platform::kChecked);
  WriteRegValue(kSettingsKey, "HScroll1(0)", "12");
  LoadFormSettings(f.form.Controls());
  EXPECT_EQ(f.bar.Value(), 12);
}

}  // namespace
