// The forms runtime under the forms: pixels, what a user's click reaches, option groups,
// timers that never run twice at once, and the message loop that lives while a form is
// open.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/events.h"
#include "platform/window.h"

namespace {

using platform::Control;
using platform::ControlKind;
using platform::Form;

class ManualClock {
 public:
  ManualClock() { platform::UseManualClockForTesting(true); }
  ~ManualClock() { platform::UseManualClockForTesting(false); }
};

TEST(FormsTest, SizesAreKeptInWholePixels) {
  Form form("frmTest", Form::Border::kNone);
  form.Move(1000, 2000, 1001, 7);
  EXPECT_EQ(form.Left(), 1005);  // 66.7 pixels
  EXPECT_EQ(form.Top(), 1995);
  EXPECT_EQ(form.Width(), 1005);
  EXPECT_EQ(form.Height(), 0);
  // A step smaller than a pixel does not move a thing.
  form.SetHeight(form.Height() + 1);
  EXPECT_EQ(form.Height(), 0);
  form.SetHeight(15);
  EXPECT_EQ(form.Height(), 15);

  Form captioned("frmCaptioned", Form::Border::kFixedSingle);
  captioned.SetClientSize(3000, 1500);
  EXPECT_GT(captioned.Width(), 3000);
  EXPECT_GT(captioned.Height(), 1500);
  EXPECT_EQ(captioned.ClientWidth(), 3000);
  EXPECT_EQ(captioned.ClientHeight(), 1500);
}

TEST(FormsTest, ClicksReachOnlyEnabledVisibleControls) {
  Form form("frmTest", Form::Border::kNone);
  Control page(form, ControlKind::kPictureBox, "Picture1");
  Control button(page, ControlKind::kButton, "cmdGo");
  button.SetCaption("Go");
  int clicks = 0;
  button.on_click = [&] { ++clicks; };
  button.Click();
  EXPECT_EQ(clicks, 1);
  button.SetEnabled(false);
  button.Click();
  button.SetEnabled(true);
  page.SetVisible(false);
  button.Click();
  page.SetVisible(true);
  form.SetEnabled(false);
  button.Click();
  form.SetEnabled(true);
  EXPECT_EQ(clicks, 1);
  button.Click();
  EXPECT_EQ(clicks, 2);
  form.Close();
  button.Click();
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(button.Handle(), nullptr);
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
