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

// Nothing stored: every check box on and the alert off. Then each flag reads its own
// value, and only the text "1" (or a DWORD 1) turns one on.
TEST_F(SettingsTest, EachFlagReadsItsOwnValueAndOnlyOneTurnsItOn) {
  const char* names[] = {"chkAuto_Block(1)", "chkTerminate_(2)", "chkBlock_Detection(3)",
                         "chkAuto_Block(4)", "chkAuto_Block(5)", "chkAuto_Update(6)",
                         "chkSend_Errors(7)"};
  bool* flags[] = {&OptAutoBlockEntries, &OptTerminateBlockedForever, &OptBlockByHash,
                   &OptAutoBlockMissing, &OptAutoBlockHarmful,        &OptAutoUpdate,
                   &OptSendErrors};
  OptAlert = true;
  for (int i = -1; i < 7; ++i) {
    if (i >= 0)
      WriteRegValue(kSettingsKey, names[i], i % 2 ? "2" : "True");  // greyed, or not "1"
    LoadOptions();
    for (int j = 0; j < 7; ++j)
      EXPECT_EQ(*flags[j], j > i) << i << " / " << names[j];
  }
  EXPECT_FALSE(OptAlert);
  WriteRegValue(kSettingsKey, "chkAuto_Update(6)", "1", true);
  WriteRegValue(kSettingsKey, "ALERT", "1");
  LoadOptions();
  EXPECT_TRUE(OptAutoUpdate);
  EXPECT_TRUE(OptAlert);
}

// A form with one control of every kind the walk knows.
struct SettingsForm {
  platform::Form form{"frmTest", platform::Form::Border::kFixedSingle};
  platform::Control check{form, platform::ControlKind::kCheckBox, "chkThing", 3};
  platform::Control text{form, platform::ControlKind::kTextBox, "txtName"};
  platform::Control option{form, platform::ControlKind::kOptionButton, "optMode", 1};
  platform::Control other_option{form, platform::ControlKind::kOptionButton, "optMode", 2};
  platform::Control bar{form, platform::ControlKind::kHScrollBar, "HScroll1"};
  SettingsForm() { bar.SetRange(0, 90, 1, 10); }
};

// (The options window's test sees check boxes, the bar and what is not stored.)
TEST_F(SettingsTest, AFormsControlsAreStoredUnderTheirNameAndIndexAndRestored) {
  SettingsForm f;
  f.text.SetCaption("hello");
  f.option.SetValue(1);
  SaveFormSettings(f.form.Controls());
  EXPECT_EQ(ReadRegValue(kSettingsKey, "txtName(0)", ""), "hello");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "optMode(1)", ""), "True");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "optMode(2)", ""), "False");

  // Restored, a check box as by a click; a value the control refuses is skipped.
  WriteRegValue(kSettingsKey, "chkThing(3)", "1");
  WriteRegValue(kSettingsKey, "txtName(0)", "stored");
  DeleteRegValue(kSettingsKey, "optMode(1)");
  WriteRegValue(kSettingsKey, "optMode(2)", "True");
  SettingsForm g;
  g.option.SetValue(1);
  g.bar.SetValue(7);
  int clicks = 0;
  g.check.on_click = [&] { ++clicks; };
  for (const char* bar : {"95", "99999", "12"}) {  // beyond the bar, not 16 bits, fine
    WriteRegValue(kSettingsKey, "HScroll1(0)", bar);
    LoadFormSettings(g.form.Controls());
    EXPECT_EQ(g.bar.Value(), std::string(bar) == "12" ? 12 : 7) << bar;
    WriteRegValue(kSettingsKey, "chkThing(3)", "three");
  }
  EXPECT_EQ(g.check.Value(), platform::kChecked);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(g.text.Caption(), "stored");
  EXPECT_EQ(g.other_option.Value(), 1);
  EXPECT_EQ(g.option.Value(), 0);  // one option of a group at a time
}

}  // namespace
