// The forms runtime under the forms: pixels at the screen's dpi, what a user's click
// reaches, option groups, timers that never run twice at once, and the message loop that
// lives while a form is open.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/events.h"
#include "platform/window.h"
#include "support/ScopedOverrides.h"

namespace {

using platform::Control;
using platform::ControlKind;
using platform::Form;

// A twip is 1/1440 inch: a form and its controls keep their size in inches and land on
// the pixels the screen's dpi gives (under Wine, the windows' own rectangles).
TEST(FormsTest, TwipsLandOnThePixelsOfTheScreensDpi) {
  using platform::PixelRect;
  struct Row {
    int32_t dpi;
    PixelRect form, page, button;
    int32_t off_grid;  // 1000 twips on the nearest whole pixel
  };
  const Row rows[] = {
      {96, {96, 48, 384, 192}, {12, 16, 288, 144}, {8, 4, 100, 24}, 1005},
      {120, {120, 60, 480, 240}, {15, 20, 360, 180}, {10, 5, 125, 30}, 996},
      {144, {144, 72, 576, 288}, {18, 24, 432, 216}, {12, 6, 150, 36}, 1000},
      {192, {192, 96, 768, 384}, {24, 32, 576, 288}, {16, 8, 200, 48}, 998},  // 7.5 a pixel
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.dpi);
    ScopedScreenDpi dpi(row.dpi);
    EXPECT_EQ(platform::ScreenDpi(), row.dpi);
    Form form("frmDpi", Form::Border::kNone);
    form.Move(1440, 720, 5760, 2880);
    Control page(form, ControlKind::kPictureBox, "Picture1");
    page.Move(180, 240, 4320, 2160);
    Control button(page, ControlKind::kButton, "cmdGo");
    button.Move(120, 60, 1500, 360);
    EXPECT_EQ(form.PlacedPixels(), row.form);
    EXPECT_EQ(page.PlacedPixels(), row.page);
    EXPECT_EQ(button.PlacedPixels(), row.button);

    // Off the grid: kept on a whole pixel, and a step of one pixel always moves.
    button.SetLeft(1000);
    EXPECT_EQ(button.Left(), row.off_grid);
    for (int i = 1; i <= 3; ++i)
      button.SetLeft(button.Left() + platform::PixelsToTwips(1));
    EXPECT_EQ(button.PlacedPixels().left, platform::TwipsToPixels(row.off_grid) + 3);
    // A step smaller than a pixel does not move a thing.
    button.SetTop(button.Top() + 1);
    EXPECT_EQ(button.PlacedPixels().top, row.button.top);

    Form captioned("frmCaptioned", Form::Border::kFixedSingle);
    captioned.SetClientSize(2880, 1440);
    EXPECT_EQ(captioned.ClientWidth(), 2880);
    EXPECT_EQ(captioned.ClientHeight(), 1440);
    EXPECT_GT(captioned.Height(), 1440);  // the caption and the border around it
    Control whole(captioned, ControlKind::kListBox, "List1");
    whole.Move(0, 0, captioned.ClientWidth(), captioned.ClientHeight());
    EXPECT_EQ(whole.PlacedPixels(), (PixelRect{0, 0, 2 * row.dpi, row.dpi}));
  }
}

// A click reaches only an enabled control that shows, on an enabled form that is open.
// Tab walks what a click would reach, in the order of creation and round the end;
// Enter and Space press the focused control; Alt and a letter press the control whose
// caption marks it.
TEST(FormsTest, ClicksAndTheKeyboardReachOnlyEnabledVisibleControls) {
  Form form("frmTest", Form::Border::kNone);
  form.Move(0, 0, 6000, 3000);
  std::string pressed;
  auto button = [&](const char* name, const char* caption, int32_t left, int32_t top = 1500) {
    auto made = std::make_unique<Control>(form, ControlKind::kButton, name);
    made->SetCaption(caption);
    made->Move(left, top, 900, 300);
    made->on_click = [&pressed, name] { pressed += std::string(name) + " "; };
    return made;
  };
  auto allow = button("allow", "&Allow", 0);
  auto off = button("off", "&Community", 1000);
  off->SetEnabled(false);
  auto chips = button("chips", "Fish && &Chips", 2000);  // "&&" is a plain "&"
  auto hidden = button("hidden", "&Hidden", 3000);
  hidden->SetVisible(false);
  auto below = button("below", "&Zebra", 0, 3000);  // below the window's bottom
  Control label(form, ControlKind::kLabel, "lblKey");
  label.SetCaption("&Label");
  Control check(form, ControlKind::kCheckBox, "chkOne");
  check.SetCaption("&Option");
  check.Move(0, 0, 900, 300);
  auto behind = button("behind", "&Under", 4000);
  // A panel in front of the last button hides it from the keyboard as from the mouse.
  Control panel(form, ControlKind::kPictureBox, "fr_comm");
  panel.Move(3900, 1000, 2000, 1000);
  Control inside(panel, ControlKind::kButton, "CtlOK");
  inside.Move(0, 0, 900, 300);

  off->Click();
  hidden->Click();
  EXPECT_EQ(pressed, "");
  EXPECT_EQ(allow->AccessKey(), 'a');
  EXPECT_EQ(chips->AccessKey(), 'c');
  EXPECT_EQ(label.AccessKey(), 0);  // labels show "&" as it is
  EXPECT_EQ(inside.AccessKey(), 0);
  auto tab_order = [&](platform::Key key, int presses) {
    std::vector<std::string> order;
    for (int i = 0; i < presses; ++i) {
      EXPECT_TRUE(form.PressKey(key));
      order.push_back(form.ActiveControl()->Name());
    }
    return order;
  };
  EXPECT_EQ(form.ActiveControl(), nullptr);
  EXPECT_EQ(tab_order(platform::Key::kTab, 5),
            (std::vector<std::string>{"allow", "chips", "chkOne", "CtlOK", "allow"}));
  EXPECT_EQ(tab_order(platform::Key::kShiftTab, 2), (std::vector<std::string>{"CtlOK", "chkOne"}));
  EXPECT_TRUE(form.PressKey(platform::Key::kSpace));
  EXPECT_EQ(check.Value(), platform::kChecked);
  EXPECT_FALSE(form.PressKey(platform::Key::kEnter));  // Enter presses buttons only
  EXPECT_EQ(pressed, "");

  EXPECT_TRUE(form.PressAccessKey('C'));  // the disabled "&Community" is passed over
  EXPECT_EQ(form.ActiveControl(), chips.get());
  EXPECT_TRUE(form.PressKey(platform::Key::kEnter));
  EXPECT_TRUE(form.PressKey(platform::Key::kSpace));
  for (char letter : {'h', 'z', 'u', 'l', 'x', '&'})
    EXPECT_FALSE(form.PressAccessKey(letter)) << letter;
  EXPECT_EQ(pressed, "chips chips chips ");
  panel.SetVisible(false);
  EXPECT_TRUE(form.PressAccessKey('u'));
  EXPECT_TRUE(form.PressAccessKey('o'));
  EXPECT_EQ(check.Value(), platform::kUnchecked);
  EXPECT_EQ(pressed, "chips chips chips behind ");

  inside.on_click = [&] { pressed += "inside "; };
  inside.Click();  // inside a hidden panel
  form.SetEnabled(false);
  EXPECT_FALSE(form.PressKey(platform::Key::kTab));
  EXPECT_FALSE(form.PressAccessKey('a'));
  allow->Click();
  form.SetEnabled(true);
  allow->SetFocus();
  allow.reset();  // the focus goes with the control
  EXPECT_EQ(form.ActiveControl(), nullptr);
  EXPECT_EQ(pressed, "chips chips chips behind ");
  chips->Click();
  form.Close();
  chips->Click();
  EXPECT_EQ(pressed, "chips chips chips behind chips ");
  EXPECT_EQ(chips->Handle(), nullptr);
}

TEST(FormsTest, CheckBoxesToggleAndOptionButtonsExcludeEachOtherPerContainer) {
  Form form("frmTest", Form::Border::kNone);
  Control check(form, ControlKind::kCheckBox, "chkOne");
  std::vector<int32_t> seen;
  check.on_click = [&] { seen.push_back(check.Value()); };
  check.Click();
  check.Click();
  check.SetValue(platform::kGrayed);
  check.Click();
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 0, 2, 0}));
  EXPECT_THROW(check.SetValue(3), std::out_of_range);

  Control page(form, ControlKind::kPictureBox, "Picture1");
  Control a(form, ControlKind::kOptionButton, "optA");
  Control b(form, ControlKind::kOptionButton, "optB");
  Control elsewhere(page, ControlKind::kOptionButton, "optC");
  a.Click();
  elsewhere.Click();
  EXPECT_EQ(a.Value(), 1);
  b.Click();
  EXPECT_EQ(a.Value(), 0);
  EXPECT_EQ(b.Value(), 1);
  EXPECT_EQ(elsewhere.Value(), 1);

  Control list(form, ControlKind::kListBox, "List1");
  list.AddItem("one");
  list.AddItem("two");
  int chosen = -2;
  list.on_click = [&] { chosen = list.ListIndex(); };
  list.SetListIndex(1);
  EXPECT_EQ(chosen, 1);
  EXPECT_THROW(list.SetListIndex(2), std::out_of_range);
  list.Clear();
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(list.ListCount(), 0);
}

TEST(FormsTest, TimersTickOnTheDrivenClockAndNeverRunTwiceAtOnce) {
  ManualClock clock;
  platform::Timer timer("Timer1", 10);
  int depth = 0, deepest = 0, ticks = 0;
  timer.on_timer = [&] {
    ++ticks;
    deepest = std::max(deepest, ++depth);
    // Waits 100 ms letting messages run, as the alert's handlers do.
    uint32_t until = platform::TickCount() + 100;
    while (static_cast<int32_t>(platform::TickCount() - until) < 0) {
      platform::DoEvents();
      platform::Idle(10);
    }
    --depth;
  };
  platform::DoEvents();
  EXPECT_EQ(ticks, 0);  // disabled
  timer.SetEnabled(true);
  uint32_t start = platform::TickCount();
  while (platform::TickCount() - start < 1000) {
    platform::DoEvents();
    platform::Idle(10);
  }
  EXPECT_EQ(deepest, 1);
  // Every tick that came while the handler waited was dropped.
  EXPECT_GE(ticks, 8);
  EXPECT_LE(ticks, 10);

  // A timer may go inside its own handler.
  auto owned = std::make_unique<platform::Timer>("Timer2", 10);
  owned->on_timer = [&] { owned.reset(); };
  owned->SetEnabled(true);
  platform::AdvanceClockForTesting(20);
  timer.SetEnabled(false);
  platform::DoEvents();
  EXPECT_EQ(owned, nullptr);
}

TEST(FormsTest, TheMessageLoopLivesWhileAFormIsOpen) {
  Form kept("frmKept", Form::Border::kFixedSingle);
  int asked = 0;
  kept.on_query_unload = [&] { return ++asked == 1; };  // the first close is refused
  Form other("frmOther", Form::Border::kFixedSingle);
  other.Show();
  kept.Show();
  EXPECT_GE(platform::OpenFormCount(), 2);

  platform::Timer closer("Timer1", 20);
  int round = 0;
  closer.on_timer = [&] {
    ++round;
    if (round == 1)
      kept.Close();  // refused
    if (round == 2)
      other.Close();
    if (round == 3)
      kept.Close();
  };
  closer.SetEnabled(true);
  platform::RunMessageLoop();
  EXPECT_EQ(round, 3);
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(kept.Open());
  EXPECT_FALSE(other.Open());
  EXPECT_EQ(platform::OpenFormCount(), 0);
}

}  // namespace
