// The alert's logic on the driven clock: the 30-second countdown, the community's say at
// its end (against a loopback server), the buttons and the report, the cut of long
// fields, the cancelled countdown, the notices and the scrolling strip. The same cases
// run natively (headless controls) and under Wine (real windows).
#include "ui/AlertWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <set>

#include "app/Settings.h"
#include "net/ServerAddress.h"
#include "platform/events.h"
#include "registry/Registry.h"
#include "support/LoopbackPeer.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"

namespace {

constexpr char kHash[] = "0123456789ABCDEF0123456789ABCDEF";

StartupEntry Entry(const std::string& name = "Updater",
                   const std::string& command = "C:\\Tools\\updater.exe /quiet") {
  return {name, command, "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", kKindRegistry};
}

std::string CommunityReply(int allowed, int blocked) {
  std::string body = "records";
  for (int i = 0; i < allowed; ++i)
    body += "<br>" + std::to_string(i) + "|f.exe|fan" + std::to_string(i) + "|al";
  for (int i = 0; i < blocked; ++i)
    body += "<br>" + std::to_string(i) + "|f.exe|foe" + std::to_string(i) + "|bl";
  return "HTTP/1.0 200 OK\r\n\r\n" + body;
}

class AlertTest : public ::testing::Test {
 protected:
  AlertTest() {
    // An alert that never ends would hang the suite: ten minutes of the driven clock
    // end it with Block, and the test fails.
    watchdog_.on_timer = [this] {
      if (frmAlert::Controls* controls = alert_.controls()) {
        ADD_FAILURE() << "the alert did not end by itself";
        controls->CtlBlock.Click();
        controls->Timer1.SetEnabled(false);
        controls->Timer2.SetEnabled(false);
        alert_.WithTimer = false;
      }
    };
    watchdog_.SetEnabled(true);
    SetServerAddressForTesting(peer_.Address());
    WriteRegValue(kSettingsKey, "chkAuto_BlockChk(0)", "0");
    peer_.SetReply("HTTP/1.0 200 OK\r\n\r\nthanks");
  }
  ~AlertTest() override { SetServerAddressForTesting(""); }

  // Calls Step every Interval milliseconds of the driven clock while the alert is up,
  // with the controls and the time since the call began.
  void Watch(uint32_t interval, std::function<void(frmAlert::Controls&, uint32_t elapsed)> step) {
    watch_.SetInterval(interval);
    watch_.on_timer = [this, step] {
      if (frmAlert::Controls* controls = alert_.controls())
        step(*controls, platform::TickCount() - start_);
    };
    watch_.SetEnabled(true);
  }

  bool Show(bool with_timer,
            const std::string& hash = kHash,
            const StartupEntry& entry = Entry(),
            const std::string& info = "Unknown File") {
    watchdog_.SetEnabled(false);
    watchdog_.SetEnabled(true);
    start_ = platform::TickCount();
    bool allowed = alert_.ShowAlert(entry, block_, with_timer, "?", info, "tool.exe", hash);
    elapsed_ = platform::TickCount() - start_;
    return allowed;
  }

  // Where the window ends when only the buttons show.
  static int32_t ButtonsBottom(const frmAlert::Controls& c) {
    return platform::RoundToPixel(c.CtlCommunity.Top() + c.CtlCommunity.Height() + 40);
  }

  RegistrySandbox sandbox_;
  ManualClock clock_;
  LoopbackPeer peer_;
  frmAlert alert_;
  platform::Timer watch_{"watch"};
  platform::Timer watchdog_{"watchdog", 600000};
  uint32_t start_ = 0;
  uint32_t elapsed_ = 0;
  bool block_ = true;
};

// At the end of the countdown, 30 to 1, the community option decides. Off: "Blocked",
// the window shrunk back to the buttons, nobody asked or told. On: one lookup of the
// digest, its verdict readable in the grown window with the marker on the decision;
// without an answer (nobody there, or no digest to ask about) the countdown blocks.
// Either way the buttons are off for about 5 seconds: a click changes nothing.
TEST_F(AlertTest, TheCountdownBlocksOrTheCommunityScoreDecides) {
  const std::string positive = std::string(kCommunityPositive) + "3";
  struct Case {
    bool community;
    int allowed, blocked;
    const char *line, *hash;
    bool reachable;
  };
  const Case cases[] = {
      {false, 3, 0, kCountdownBlocked, kHash, true}, {true, 3, 0, positive.c_str(), kHash, true},
      {true, 2, 2, kCommunityNone, kHash, true},     {true, 2, 1, kCommunityFew, kHash, true},
      {true, 0, 2, kCommunityNegative, kHash, true}, {true, 3, 0, kCommunityNone, kHash, false},
      {true, 3, 0, kCommunityNone, "", true},
  };
  std::vector<std::string> countdown = {""};
  for (int second = 30; second >= 1; --second)
    countdown.push_back("Auto blocking in " + std::to_string(second) + " seconds...");
  for (const Case& expected : cases) {
    SCOPED_TRACE(std::string(expected.line) + " " + expected.hash);
    WriteRegValue(kSettingsKey, "chkAuto_BlockChk(0)", expected.community ? "1" : "0");
    const bool allows = expected.line == positive.c_str(),
               asked = expected.community && expected.reachable && *expected.hash;
    if (!expected.reachable)
      SetServerAddressForTesting("127.0.0.1:" + std::to_string(UnusedPort()));
    int before = peer_.connections();
    std::string line_while_asking;
    peer_.SetResponder([&](const std::string&) {
      line_while_asking = alert_.controls() ? alert_.controls()->Label2.Caption() : "";
      return CommunityReply(expected.allowed, expected.blocked);
    });
    std::vector<std::string> lines;
    int32_t grown = 0, marker_left = 0, allow_left = 0, block_left = 0, height = 0, buttons = 0;
    uint32_t decided_at = 0;
    bool line_shown = false, buttons_on = false;
    Watch(50, [&](frmAlert::Controls& c, uint32_t elapsed) {
      std::string line = c.Label2.Visible() ? c.Label2.Caption() : "";
      if (lines.empty() || lines.back() != line)
        lines.push_back(line);
      if (line == countdown[1])
        line_shown = c.form.Height() >= c.Label2.Top() + c.Label2.Height();
      if (line == countdown[2])
        grown = c.form.Height();
      allow_left = c.CtlAllow.Left();
      block_left = c.CtlBlock.Left();
      if (line != expected.line)
        return;
      decided_at = decided_at ? decided_at : elapsed;
      height = c.form.Height();
      buttons = ButtonsBottom(c);
      marker_left = c.Shape3.Left();
      for (platform::Control* button :
           {&c.CtlCommunity, &c.CtlAllow, &c.CtlBlock, &c.CtlBlockForever})
        buttons_on = buttons_on || button->Enabled();
      (allows ? c.CtlBlockForever : c.CtlAllow).Click();
      c.form.PressAccessKey(allows ? 'f' : 'a');
    });
    EXPECT_EQ(Show(true, expected.hash), allows);
    SetServerAddressForTesting(peer_.Address());
    EXPECT_FALSE(block_);
    EXPECT_FALSE(buttons_on);
    ASSERT_GT(lines.size(), countdown.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + countdown.size()), countdown);
    EXPECT_EQ(lines.back(), expected.line);
    EXPECT_TRUE(line_shown);
    EXPECT_EQ(line_while_asking, asked ? kCheckingCommunity : "");
    if (expected.community) {
      EXPECT_EQ(height, grown);
      EXPECT_EQ(marker_left, (allows ? allow_left : block_left) - 30);
    } else {
      EXPECT_EQ(lines.size(), countdown.size() + 1);
      EXPECT_EQ(height, buttons);
      EXPECT_LT(height, grown);
    }
    EXPECT_GE(decided_at, 31000u);
    EXPECT_GE(elapsed_, decided_at + 5000);
    EXPECT_LT(elapsed_, decided_at + 7000);
    EXPECT_EQ(alert_.controls(), nullptr);  // unloaded
    // One lookup for the digest, and no report afterwards.
    ASSERT_EQ(peer_.connections(), before + (asked ? 1 : 0));
    if (asked)
      EXPECT_EQ(peer_.requests().back().rfind(
                    std::string("GET /~vantor/filecheck.php?md5=") + kHash + " HTTP/1.0\r\n", 0),
                0u)
          << peer_.requests().back();
  }
}

// Alt and a button's marked letter, or Tab to it and Enter or Space, decide; with the
// community panel open, its OK first: the panel covers the window while it lists the
// verdicts and draws the bar, blocked beside allowed in their share, and OK shrinks the
// window back to the buttons. The decision is reported with the digest; without a digest
// the Community button is off and nothing is reported. Close requests change nothing.
TEST_F(AlertTest, TheButtonsAndTheKeyboardDecideAndTheDecisionIsReported) {
  using platform::Key;
  struct Case {
    std::string keys;  // a letter: Alt and it; T Tab, S Shift+Tab, E Enter, _ Space
    bool allowed, block;
    const char* report;  // nullptr: no digest
    std::string focus_path;
  };
  const Case cases[] = {
      {"a", true, false, "al", "CtlAllow"},
      {"B", false, false, "bl", "CtlBlock"},
      {"f", false, true, "bl", "CtlBlockForever"},
      {"TTE", true, false, "al", "CtlCommunity CtlAllow CtlAllow"},
      {"S_", false, true, "bl", "CtlBlockForever CtlBlockForever"},
      {"cTTaEa", true, false, "al", "CtlCommunity List1 CtlOK CtlOK CtlOK CtlAllow"},
      {"ca", true, false, nullptr, "CtlAllow"},
  };
  peer_.SetReply("HTTP/1.0 200 OK\r\n\r\nx<br>a|f.exe|u1|al<br>b|f.exe|u2|bl");
  std::vector<std::string> items;
  int32_t covered = -1, closed = 0, buttons_bottom = 1, blocked_width = -1, allowed_width = 0;
  int32_t bar_gap = -1;
  bool waiting_hidden = false;
  for (const Case& expected : cases) {
    SCOPED_TRACE(expected.keys);
    std::string focus_path;
    bool typed = false, still_open = false, community = !expected.report;
    Watch(1000, [&](frmAlert::Controls& c, uint32_t) {
      if (typed)
        return;  // once: the window may still be sliding out at the next tick
      typed = true;
      c.form.Close();
      still_open = c.form.Open() && alert_.controls() != nullptr;
      community = c.CtlCommunity.Enabled();
      for (char key : expected.keys) {
        if (key == 'T' || key == 'S' || key == 'E' || key == '_') {
          c.form.PressKey(key == 'T'   ? Key::kTab
                          : key == 'S' ? Key::kShiftTab
                          : key == 'E' ? Key::kEnter
                                       : Key::kSpace);
        } else {
          c.form.PressAccessKey(key);
        }
        if (c.form.ActiveControl())
          focus_path += (focus_path.empty() ? "" : " ") + c.form.ActiveControl()->Name();
        if (key == 'c' && c.fr_comm.Visible()) {  // the lookup is done when the key returns
          for (int32_t i = 0; i < c.List1.ListCount(); ++i)
            items.push_back(c.List1.List(i));
          covered = c.form.Height() - c.fr_comm.Height();
          waiting_hidden = !c.Label6.Visible();
          blocked_width = c.Image4.Width();
          allowed_width = c.Image5.Width();
          bar_gap = c.Image5.Left() - c.Image4.Left() - c.Image4.Width();
        } else if (key == 'E' && !items.empty() && !closed) {
          closed = c.form.Height();
          buttons_bottom = ButtonsBottom(c);
        }
      }
    });
    int before = peer_.connections();
    // A single key answers while the countdown runs.
    EXPECT_EQ(Show(expected.keys.size() == 1, expected.report ? kHash : ""), expected.allowed);
    EXPECT_EQ(block_, expected.block);
    EXPECT_EQ(focus_path, expected.focus_path);
    EXPECT_TRUE(still_open);
    EXPECT_EQ(community, expected.report != nullptr);
    EXPECT_EQ(alert_.Decision, 0);
    if (!expected.report) {
      EXPECT_EQ(peer_.connections(), before);
      continue;
    }
    ASSERT_GT(peer_.connections(), before);
    EXPECT_EQ(peer_.requests().back().rfind(std::string("GET /~vantor/filecheck.php?md5=") + kHash +
                                                "&file=tool.exe&report=" + expected.report + " ",
                                            0),
              0u)
        << peer_.requests().back();
  }
  EXPECT_EQ(items, (std::vector<std::string>{"u1 Allowed the file 'f.exe' having same hash",
                                             "u2 Blocked the file 'f.exe' having same hash"}));
  EXPECT_EQ(covered, 0);
  EXPECT_TRUE(waiting_hidden);
  EXPECT_GT(blocked_width, 0);
  EXPECT_EQ(blocked_width, allowed_width);
  EXPECT_EQ(bar_gap, 0);
  EXPECT_EQ(closed, buttons_bottom);
}

// The pointer over the window, or the window activated to be answered from the keyboard,
// cancels the countdown for good; without the timer there is none. Then the alert waits.
TEST_F(AlertTest, OnlyTheUserDecidesOnceTheCountdownIsCancelledOrOff) {
  for (const char* how : {"pointer", "activated", "no timer"}) {
    SCOPED_TRACE(how);
    const bool timer = how[0] != 'n';
    bool moved = !timer;
    std::vector<std::string> lines;
    int32_t height_after_move = 0, buttons_bottom = 0;
    bool marker_after_move = false;
    Watch(100, [&](frmAlert::Controls& c, uint32_t elapsed) {
      if (c.Label2.Visible())
        lines.push_back(c.Label2.Caption());
      buttons_bottom = ButtonsBottom(c);
      if (elapsed >= 5000 && !moved) {
        moved = true;
        if (how[0] == 'a')
          c.form.Activate();
        else
          c.form.MouseMove(300, 300);
      } else if (moved) {
        if (!height_after_move)
          height_after_move = c.form.Height();
        marker_after_move = marker_after_move || c.Shape3.Visible();
      }
      if (elapsed >= 90000)
        c.CtlAllow.Click();
    });
    EXPECT_TRUE(Show(timer));
    EXPECT_GE(elapsed_, 90000u);
    EXPECT_EQ(height_after_move, buttons_bottom);
    EXPECT_FALSE(marker_after_move);
    EXPECT_EQ(lines.empty(), !timer);
    for (const std::string& line : lines)
      EXPECT_NE(line, kCountdownBlocked);
    EXPECT_FALSE(alert_.WithTimer);
  }
}

// Topmost, as transparent as stored, and settled at the bottom right of the screen. Long
// fields show their end and keep the whole text as their tooltip; an info of up to 64
// characters is drawn once and never moves.
TEST_F(AlertTest, TheWindowShowsTheEntryAsTransparentAsStored) {
  const std::string sixty(60, 'n');
  const std::string long_command = "C:\\Program Files\\" + std::string(44, 'x') + "\\tool.exe /a";
  // Characters, not bytes: "é" takes two bytes and must not be cut in half.
  const std::string accented = std::string(58, 'a') + "\xC3\xA9\xC3\xA9\xC3\xA9";
  const std::string short_info(64, 'i');
  struct Case {
    const char* stored;  // nullptr: nothing stored
    int alpha;
  };
  const Case cases[] = {{nullptr, 222}, {"50", 128}, {"0", 255}, {"100", 26}, {"abc", 222}};
  for (const Case& expected : cases) {
    SCOPED_TRACE(expected.stored ? expected.stored : "(none)");
    if (expected.stored)
      WriteRegValue(kSettingsKey, "Hscroll1(0)", expected.stored);
    else
      DeleteRegValue(kSettingsKey, "Hscroll1(0)");
    std::optional<int> alpha;
    bool top_most = false;
    int32_t left = 0, top = 0, width = 0, height = 0;
    std::vector<std::string> fields;
    std::vector<platform::DrawnText> drawn;
    std::set<int32_t> xs;
    Watch(100, [&](frmAlert::Controls& c, uint32_t elapsed) {
      drawn = c.Picture2.DrawnTexts();
      for (const platform::DrawnText& text : drawn)
        xs.insert(text.x);
      if (elapsed < 4000 || !fields.empty())
        return;  // once, settled, the info's strip well past its rest
      uint8_t value = 0;
      if (platform::GetLayeredAlpha(c.form.Handle(), &value))
        alpha = value;
      top_most = c.form.TopMost();
      left = c.form.Left();
      top = c.form.Top();
      width = c.form.Width();
      height = c.form.Height();
      for (int i = 1; i <= 3; ++i)
        fields.insert(fields.end(), {c.Label1(i).Caption(), c.Label1(i).ToolTipText()});
      c.CtlAllow.Click();
    });
    Show(false, kHash, {sixty, long_command, accented, kKindRegistry}, short_info);
    ASSERT_TRUE(alpha.has_value());
    EXPECT_EQ(*alpha, expected.alpha);
    EXPECT_TRUE(top_most);
    EXPECT_EQ(left, platform::RoundToPixel(platform::ScreenWidth() - width - 100));
    // Risen above 0.9 of the screen, then settled back to just below 0.945.
    EXPECT_GT(top, 0.945 * platform::ScreenHeight() - height);
    EXPECT_LT(top + height, platform::ScreenHeight());
    ASSERT_GT(long_command.size(), 60u);
    EXPECT_EQ(fields,
              (std::vector<std::string>{
                  sixty, sixty, "..." + long_command.substr(long_command.size() - 57), long_command,
                  "..." + std::string(54, 'a') + "\xC3\xA9\xC3\xA9\xC3\xA9", accented}));
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].text, short_info);
    EXPECT_EQ(drawn[0].y, 10);
    EXPECT_EQ(xs, std::set<int32_t>{10});  // never moved
  }
}

// An info longer than 64 characters scrolls ten twips a step after a rest, off the
// strip's end, then back to the start after another rest.
TEST_F(AlertTest, ALongInfoScrollsWithRests) {
  std::vector<std::pair<uint32_t, int32_t>> positions;  // when, x
  std::vector<platform::DrawnText> drawn;
  Watch(5, [&](frmAlert::Controls& c, uint32_t elapsed) {
    drawn = c.Picture2.DrawnTexts();
    if (drawn.size() == 1 && (positions.empty() || positions.back().second != drawn[0].x))
      positions.push_back({elapsed, drawn[0].x});
    if (elapsed >= 14000)
      c.CtlAllow.Click();
  });
  for (const char* info : {"", "2"}) {  // the next alert's text starts at its beginning
    positions.clear();
    Show(false, kHash, Entry(), std::string(65, 'l') + info);
    ASSERT_GE(positions.size(), 4u);
    EXPECT_EQ(positions[0].second, 0);
    EXPECT_EQ(positions[1].second, -1);
    EXPECT_GE(positions[1].first - positions[0].first, 2000u);  // a rest at the start
    EXPECT_EQ(positions[2].second, -11);
    EXPECT_EQ(positions[3].second, -21);
    EXPECT_NE(positions.back().second, 0);  // left part-way
    auto back = std::find_if(positions.begin() + 1, positions.end(),
                             [](const auto& p) { return p.second == 0; });
    ASSERT_NE(back, positions.end());
    EXPECT_LE((back - 1)->second, -65 * 101);
    EXPECT_GE(back->first - (back - 1)->first, 3000u);
  }
}

// A notice stands in front of the window, grows with its text beyond 60 characters and
// stays about thirty seconds.
TEST_F(AlertTest, ANoticeGrowsWithItsTextAndStaysAboutThirtySeconds) {
  int32_t designed = 0;
  {
    frmAlert owner;
    designed = frmAlert::Controls(owner).Label1(0).Height();
  }
  const std::pair<int, int32_t> lengths[] = {{60, designed}, {61, 550}, {130, 750}};
  for (const auto& [length, text_height] : lengths) {
    SCOPED_TRACE(length);
    int32_t height = 0, top = 0, form_height = 0, panel_height = 0, form_width = 0, panel_width = 0;
    uint32_t colour = 0;
    bool panel_in_front = false;
    Watch(1000, [&](frmAlert::Controls& c, uint32_t) {
      height = c.Label1(0).Height();
      top = c.Label1(0).Top();
      colour = c.Label1(0).ForeColor();
      panel_height = c.Picture1.Height();
      panel_width = c.Picture1.Width();
      form_height = c.form.Height();
      form_width = c.form.Width();
      panel_in_front = c.Picture1.Visible() && c.Picture1.ZPosition() > c.fr_comm.ZPosition();
    });
    uint32_t start = platform::TickCount();
    alert_.ShowAlert2(std::string(length, 'm'), 255 << length % 3);
    uint32_t shown = platform::TickCount() - start;
    EXPECT_EQ(height, platform::RoundToPixel(text_height));
    EXPECT_EQ(colour, static_cast<uint32_t>(255 << length % 3));
    EXPECT_GT(panel_height, top + height);  // the panel holds the whole text
    EXPECT_EQ(form_height, panel_height);
    EXPECT_EQ(form_width, panel_width);
    EXPECT_TRUE(panel_in_front);
    EXPECT_GE(shown, 31000u);
    EXPECT_LT(shown, 36000u);
    EXPECT_TRUE(alert_.NoticeMode);
  }
  EXPECT_NE(designed, 750);
}

}  // namespace
