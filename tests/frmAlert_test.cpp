// The alert's logic on the driven clock: the 30-second countdown, the community's say at
// its end (against a loopback server), the buttons and the report, the cut of long
// fields, the cancelled countdown, the notices and the scrolling strip. The same cases
// run natively (headless controls) and under Wine (real windows).
#include "ui/frmAlert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "app/basSettings.h"
#include "net/ServerAddress.h"
#include "platform/events.h"
#include "registry/basReg.h"
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

TEST_F(AlertTest, CountdownRunsFromThirtyToOneThenBlocksAndShrinksBackToTheButtons) {
  std::vector<std::string> lines;
  std::vector<int32_t> heights_after_blocked;
  int32_t grown = 0, buttons_bottom = 0, countdown_bottom = 0;
  uint32_t blocked_at = 0;
  bool buttons_off = true;
  Watch(50, [&](frmAlert::Controls& c, uint32_t elapsed) {
    std::string line = c.Label2.Visible() ? c.Label2.Caption() : "(hidden)";
    if (lines.empty() || lines.back() != line)
      lines.push_back(line);
    if (line == "Auto blocking in 30 seconds...")
      grown = c.form.Height();
    if (line == kCountdownBlocked) {
      if (!blocked_at)
        blocked_at = elapsed;
      heights_after_blocked.push_back(c.form.Height());
      // The count has decided: the buttons say so, and a click changes nothing.
      for (platform::Control* button :
           {&c.CtlCommunity, &c.CtlAllow, &c.CtlBlock, &c.CtlBlockForever})
        buttons_off = buttons_off && !button->Enabled();
      c.CtlAllow.Click();
      c.form.PressAccessKey('a');
    }
    buttons_bottom = c.CtlCommunity.Top() + c.CtlCommunity.Height() + 40;
    countdown_bottom = c.Label2.Top() + c.Label2.Height() + 20;
  });

  EXPECT_FALSE(Show(true));
  EXPECT_FALSE(block_);
  EXPECT_TRUE(buttons_off);

  std::vector<std::string> expected = {""};
  for (int second = 30; second >= 1; --second)
    expected.push_back("Auto blocking in " + std::to_string(second) + " seconds...");
  expected.push_back(kCountdownBlocked);
  ASSERT_GE(lines.size(), 2u);
  if (lines.front() == "(hidden)")
    lines.erase(lines.begin());
  EXPECT_EQ(lines, expected);

  // The first tick uncovers the countdown line; "Blocked" shrinks the window back.
  EXPECT_EQ(grown, platform::RoundToPixel(countdown_bottom));
  ASSERT_FALSE(heights_after_blocked.empty());
  EXPECT_EQ(heights_after_blocked.back(), platform::RoundToPixel(buttons_bottom));
  EXPECT_LT(heights_after_blocked.back(), grown);
  for (size_t i = 1; i < heights_after_blocked.size(); ++i)
    EXPECT_LE(heights_after_blocked[i], heights_after_blocked[i - 1]);
  // 31 ticks of a second, then "Blocked" stays about 5 seconds before the window goes.
  EXPECT_GE(blocked_at, 31000u);
  EXPECT_GE(elapsed_, blocked_at + 5000);
  EXPECT_LT(elapsed_, blocked_at + 7000);
  // Neither asked nor told: the community option is off and nobody clicked.
  EXPECT_EQ(peer_.connections(), 0);
  EXPECT_EQ(alert_.controls(), nullptr);  // unloaded
}

TEST_F(AlertTest, AtTheEndOfTheCountdownTheCommunityScoreDecides) {
  WriteRegValue(kSettingsKey, "chkAuto_BlockChk(0)", "1");
  struct Case {
    int allowed, blocked;
    std::string line;
    bool allowed_result;
  };
  const Case cases[] = {
      {3, 0, std::string(kCommunityPositive) + "3", true},
      {2, 2, kCommunityNone, false},
      {2, 1, kCommunityFew, false},
      {0, 2, kCommunityNegative, false},
  };
  for (const Case& expected : cases) {
    int before = peer_.connections();
    std::string verdict;
    std::string line_while_asking;
    peer_.SetResponder([&](const std::string&) {
      line_while_asking = alert_.controls() ? alert_.controls()->Label2.Caption() : "";
      return CommunityReply(expected.allowed, expected.blocked);
    });
    int32_t marker_left = 0, allow_left = 0, block_left = 0, height_at_verdict = 0, grown = 0;
    bool buttons_on_at_verdict = true;
    Watch(50, [&](frmAlert::Controls& c, uint32_t) {
      if (c.Label2.Caption() == "Auto blocking in 29 seconds...")
        grown = c.form.Height();
      if (c.Label2.Caption().find("Communit") != std::string::npos ||
          c.Label2.Caption().find("No Results") != std::string::npos) {
        verdict = c.Label2.Caption();
        marker_left = c.Shape3.Left();
        height_at_verdict = c.form.Height();
        buttons_on_at_verdict = c.CtlAllow.Enabled() || c.CtlBlock.Enabled();
        (expected.allowed_result ? c.CtlBlockForever : c.CtlAllow).Click();
      }
      allow_left = c.CtlAllow.Left();
      block_left = c.CtlBlock.Left();
    });
    bool allowed = Show(true);
    SCOPED_TRACE(expected.line);
    EXPECT_EQ(line_while_asking, kCheckingCommunity);
    EXPECT_EQ(verdict, expected.line);
    EXPECT_EQ(allowed, expected.allowed_result);
    EXPECT_FALSE(block_);
    EXPECT_FALSE(buttons_on_at_verdict);
    // The marker moves to Allow only when the community allows.
    EXPECT_EQ(marker_left, expected.allowed_result ? allow_left - 30 : block_left - 30);
    // The window keeps its height, so the verdict stays readable.
    EXPECT_EQ(height_at_verdict, grown);
    // One lookup for the digest, and no report afterwards.
    ASSERT_EQ(peer_.connections(), before + 1);
    EXPECT_EQ(peer_.requests().back().rfind(
                  std::string("GET /~vantor/filecheck.php?md5=") + kHash + " HTTP/1.0\r\n", 0),
              0u)
        << peer_.requests().back();
  }
}

// An unreachable community, or no digest to ask it about (then it is not asked).
TEST_F(AlertTest, WithoutAnAnswerFromTheCommunityTheCountdownBlocks) {
  WriteRegValue(kSettingsKey, "chkAuto_BlockChk(0)", "1");
  for (const std::string hash : {std::string(kHash), std::string()}) {
    SCOPED_TRACE(hash);
    if (!hash.empty())
      SetServerAddressForTesting("127.0.0.1:" + std::to_string(UnusedPort()));
    std::string verdict;
    Watch(100, [&](frmAlert::Controls& c, uint32_t) { verdict = c.Label2.Caption(); });
    EXPECT_FALSE(Show(true, hash));
    EXPECT_EQ(verdict, kCommunityNone);
    SetServerAddressForTesting(peer_.Address());
  }
  EXPECT_EQ(peer_.connections(), 0);
}

TEST_F(AlertTest, ButtonsDecideAndTheDecisionIsReported) {
  struct Case {
    platform::Control frmAlert::Controls::*button;
    bool allowed, block;
    const char* verdict;
  };
  const Case cases[] = {
      {&frmAlert::Controls::CtlAllow, true, false, "al"},
      {&frmAlert::Controls::CtlBlock, false, false, "bl"},
      {&frmAlert::Controls::CtlBlockForever, false, true, "bl"},
  };
  for (const Case& expected : cases) {
    SCOPED_TRACE(expected.verdict);
    Watch(2000, [&](frmAlert::Controls& c, uint32_t) { (c.*expected.button).Click(); });
    int before = peer_.connections();
    EXPECT_EQ(Show(true), expected.allowed);
    EXPECT_EQ(block_, expected.block);
    EXPECT_LT(elapsed_, 10000u);
    ASSERT_EQ(peer_.connections(), before + 1);
    EXPECT_EQ(peer_.requests().back().rfind(std::string("GET /~vantor/filecheck.php?md5=") + kHash +
                                                "&file=tool.exe&report=" + expected.verdict + " ",
                                            0),
              0u)
        << peer_.requests().back();
    EXPECT_EQ(alert_.Decision, 0);
  }
}

// Alt and a button's marked letter, or Tab to it and Enter or Space; with the community
// panel open, its OK first (the panel covers the buttons).
TEST_F(AlertTest, TheKeyboardAnswersTheAlert) {
  using platform::Key;
  struct Case {
    std::string keys;  // a letter: Alt and it; T Tab, S Shift+Tab, E Enter, _ Space
    bool allowed, block;
    std::string focus_path;
  };
  const Case cases[] = {
      {"a", true, false, "CtlAllow"},
      {"B", false, false, "CtlBlock"},
      {"f", false, true, "CtlBlockForever"},
      {"TTE", true, false, "CtlCommunity CtlAllow CtlAllow"},
      {"S_", false, true, "CtlBlockForever CtlBlockForever"},
      {"cTTaEa", true, false, "CtlCommunity List1 CtlOK CtlOK CtlOK CtlAllow"},
  };
  for (const Case& expected : cases) {
    SCOPED_TRACE(expected.keys);
    std::string focus_path;
    bool typed = false;
    Watch(1000, [&](frmAlert::Controls& c, uint32_t) {
      if (typed)
        return;  // once: the window may still be sliding out at the next tick
      typed = true;
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
      }
    });
    EXPECT_EQ(Show(false), expected.allowed);
    EXPECT_EQ(block_, expected.block);
    EXPECT_EQ(focus_path, expected.focus_path);
  }
}

TEST_F(AlertTest, WithoutADigestTheCommunityButtonIsOffAndNothingIsReported) {
  bool community_enabled = true;
  bool panel_shown = false;
  Watch(1000, [&](frmAlert::Controls& c, uint32_t elapsed) {
    community_enabled = c.CtlCommunity.Enabled();
    c.CtlCommunity.Click();
    panel_shown = panel_shown || c.fr_comm.Visible();
    if (elapsed > 3000)
      c.CtlAllow.Click();
  });
  EXPECT_TRUE(Show(false, ""));
  EXPECT_FALSE(community_enabled);
  EXPECT_FALSE(panel_shown);
  EXPECT_EQ(peer_.connections(), 0);
}

TEST_F(AlertTest, TheCommunityPanelListsTheVerdictsAndDrawsTheBar) {
  peer_.SetReply("HTTP/1.0 200 OK\r\n\r\nx<br>a|f.exe|u1|al<br>b|f.exe|u2|bl");
  std::vector<std::string> items;
  int32_t panel_height = 0, open_height = 0, closed_height = 0, buttons_bottom = 0;
  int32_t blocked_width = -1, allowed_width = -1, blocked_right = 0, allowed_left = 0;
  bool waiting_hidden = false, clicked = false, closed = false;
  Watch(500, [&](frmAlert::Controls& c, uint32_t) {
    if (!clicked) {
      clicked = true;
      c.CtlCommunity.Click();  // returns when the lookup is done
      for (int32_t i = 0; i < c.List1.ListCount(); ++i)
        items.push_back(c.List1.List(i));
      panel_height = c.fr_comm.Height();
      open_height = c.form.Height();
      waiting_hidden = !c.Label6.Visible();
      blocked_width = c.Image4.Width();
      allowed_width = c.Image5.Width();
      blocked_right = c.Image4.Left() + c.Image4.Width();
      allowed_left = c.Image5.Left();
      return;
    }
    if (!closed) {
      closed = true;
      c.CtlOK.Click();
      closed_height = c.form.Height();
      buttons_bottom = platform::RoundToPixel(c.CtlCommunity.Top() + c.CtlCommunity.Height() + 40);
      return;
    }
    c.CtlAllow.Click();
  });
  EXPECT_TRUE(Show(false));
  EXPECT_EQ(items, (std::vector<std::string>{"u1 Allowed the file 'f.exe' having same hash",
                                             "u2 Blocked the file 'f.exe' having same hash"}));
  EXPECT_EQ(open_height, panel_height);
  EXPECT_TRUE(waiting_hidden);
  EXPECT_GT(blocked_width, 0);
  EXPECT_EQ(blocked_width, allowed_width);
  EXPECT_EQ(allowed_left, blocked_right);
  EXPECT_EQ(closed_height, buttons_bottom);
}

TEST_F(AlertTest, LongFieldsShowTheirEndAndKeepTheWholeTextAsTooltip) {
  const std::string sixty(60, 'n');
  const std::string long_command = "C:\\Program Files\\" + std::string(44, 'x') + "\\tool.exe /a";
  // Characters, not bytes: "é" takes two bytes and must not be cut in half.
  const std::string accented = std::string(58, 'a') + "\xC3\xA9\xC3\xA9\xC3\xA9";
  std::string name, name_tip, command, command_tip, location, location_tip;
  Watch(1000, [&](frmAlert::Controls& c, uint32_t) {
    name = c.Label1(1).Caption();
    name_tip = c.Label1(1).ToolTipText();
    command = c.Label1(2).Caption();
    command_tip = c.Label1(2).ToolTipText();
    location = c.Label1(3).Caption();
    location_tip = c.Label1(3).ToolTipText();
    c.CtlBlock.Click();
  });
  StartupEntry entry{sixty, long_command, accented, kKindRegistry};
  Show(false, kHash, entry);
  EXPECT_EQ(name, sixty);
  EXPECT_EQ(name_tip, sixty);
  ASSERT_GT(long_command.size(), 60u);
  EXPECT_EQ(command, "..." + long_command.substr(long_command.size() - 57));
  EXPECT_EQ(command_tip, long_command);
  EXPECT_EQ(location, "..." + std::string(54, 'a') + "\xC3\xA9\xC3\xA9\xC3\xA9");
  EXPECT_EQ(location_tip, accented);
}

// The pointer over the window, or the window activated to be answered from the keyboard.
TEST_F(AlertTest, SomeoneAtTheWindowCancelsTheCountdownForGood) {
  for (bool activated : {false, true}) {
    SCOPED_TRACE(activated ? "activated" : "pointer");
    bool moved = false;
    std::vector<std::string> lines;
    int32_t height_after_move = 0, buttons_bottom = 0;
    bool marker_after_move = true;
    Watch(100, [&](frmAlert::Controls& c, uint32_t elapsed) {
      if (c.Label2.Visible())
        lines.push_back(c.Label2.Caption());
      buttons_bottom = platform::RoundToPixel(c.CtlCommunity.Top() + c.CtlCommunity.Height() + 40);
      if (elapsed >= 5000 && !moved) {
        moved = true;
        if (activated)
          c.form.Activate();
        else
          c.form.MouseMove(300, 300);
      } else if (moved) {
        if (!height_after_move)
          height_after_move = c.form.Height();
        marker_after_move = marker_after_move && c.Shape3.Visible();
      }
      if (elapsed >= 90000)
        c.CtlAllow.Click();
    });
    EXPECT_TRUE(Show(true));
    EXPECT_GE(elapsed_, 90000u);
    EXPECT_EQ(height_after_move, buttons_bottom);
    EXPECT_FALSE(marker_after_move);
    EXPECT_FALSE(lines.empty());
    for (const std::string& line : lines)
      EXPECT_NE(line, kCountdownBlocked);
    EXPECT_FALSE(alert_.WithTimer);
  }
}

TEST_F(AlertTest, WithoutTimerThereIsNoCountdownAndTheAlertWaits) {
  bool countdown_seen = false;
  Watch(100, [&](frmAlert::Controls& c, uint32_t elapsed) {
    countdown_seen = countdown_seen || c.Label2.Visible() || c.Shape3.Visible();
    if (elapsed >= 120000)
      c.CtlBlock.Click();
  });
  EXPECT_FALSE(Show(false));
  EXPECT_FALSE(block_);
  EXPECT_FALSE(countdown_seen);
  EXPECT_GE(elapsed_, 120000u);
}

TEST_F(AlertTest, TheAlertIgnoresCloseRequests) {
  bool still_open = false;
  Watch(1000, [&](frmAlert::Controls& c, uint32_t) {
    c.form.Close();
    still_open = c.form.Open() && alert_.controls() != nullptr;
    c.CtlAllow.Click();
  });
  EXPECT_TRUE(Show(false));
  EXPECT_TRUE(still_open);
}

TEST_F(AlertTest, TheAlphaComesFromTheStoredTransparency) {
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
    Watch(1000, [&](frmAlert::Controls& c, uint32_t) {
      uint8_t value = 0;
      if (platform::GetLayeredAlpha(c.form.Handle(), &value))
        alpha = value;
      top_most = c.form.TopMost();
      c.CtlAllow.Click();
    });
    Show(false);
    ASSERT_TRUE(alpha.has_value());
    EXPECT_EQ(*alpha, expected.alpha);
    EXPECT_TRUE(top_most);
  }
}

TEST_F(AlertTest, TheAlertSettlesAtTheBottomRightOfTheScreen) {
  int32_t left = 0, top = 0, width = 0, height = 0;
  Watch(1000, [&](frmAlert::Controls& c, uint32_t) {
    left = c.form.Left();
    top = c.form.Top();
    width = c.form.Width();
    height = c.form.Height();
    c.CtlAllow.Click();
  });
  Show(false);
  EXPECT_EQ(left, platform::RoundToPixel(platform::ScreenWidth() - width - 100));
  // Risen above 0.9 of the screen, then settled back to just below 0.945.
  EXPECT_GT(top, 0.945 * platform::ScreenHeight() - height);
  EXPECT_LT(top + height, platform::ScreenHeight());
}

TEST_F(AlertTest, AShortInfoIsDrawnOnceALongOneScrollsWithRests) {
  std::vector<platform::DrawnText> drawn;
  bool ticking = true;
  Watch(1000, [&](frmAlert::Controls& c, uint32_t) {
    drawn = c.Picture2.DrawnTexts();
    ticking = c.Timer2.Enabled();
    c.CtlAllow.Click();
  });
  const std::string short_info(64, 'i');
  Show(false, kHash, Entry(), short_info);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].x, 10);
  EXPECT_EQ(drawn[0].y, 10);
  EXPECT_EQ(drawn[0].text, short_info);
  EXPECT_FALSE(ticking);

  const std::string long_info(65, 'l');
  std::vector<std::pair<uint32_t, int32_t>> positions;  // when, x
  Watch(5, [&](frmAlert::Controls& c, uint32_t elapsed) {
    const auto& texts = c.Picture2.DrawnTexts();
    if (texts.size() == 1 && (positions.empty() || positions.back().second != texts[0].x))
      positions.push_back({elapsed, texts[0].x});
    if (elapsed >= 14000)
      c.CtlAllow.Click();
  });
  Show(false, kHash, Entry(), long_info);
  ASSERT_GE(positions.size(), 4u);
  EXPECT_NE(positions.back().second, 0);  // left part-way
  EXPECT_EQ(positions[0].second, 0);
  EXPECT_EQ(positions[1].second, -1);
  EXPECT_GE(positions[1].first - positions[0].first, 2000u);  // a rest at the start
  EXPECT_EQ(positions[2].second, -11);
  EXPECT_EQ(positions[3].second, -21);
  // Off the strip's end after 65 x 101 twips, then back to the start after a rest.
  auto back = std::find_if(positions.begin() + 1, positions.end(),
                           [](const auto& p) { return p.second == 0; });
  ASSERT_NE(back, positions.end());
  EXPECT_LE((back - 1)->second, -65 * 101);
  EXPECT_GE(back->first - (back - 1)->first, 3000u);

  // The next alert's text starts at its beginning, not where the last one was left.
  positions.clear();
  Show(false, kHash, Entry(), long_info + "2");
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions[0].second, 0);
}

TEST_F(AlertTest, ANoticeGrowsWithItsTextAndStaysAboutThirtySeconds) {
  int32_t text_height = 0, text_top = 0, panel_height = 0, form_height = 0, form_width = 0,
          panel_width = 0;
  uint32_t colour = 0;
  bool panel_in_front = false;
  Watch(1000, [&](frmAlert::Controls& c, uint32_t) {
    text_height = c.Label1(0).Height();
    text_top = c.Label1(0).Top();
    colour = c.Label1(0).ForeColor();
    panel_height = c.Picture1.Height();
    panel_width = c.Picture1.Width();
    form_height = c.form.Height();
    form_width = c.form.Width();
    panel_in_front = c.Picture1.Visible() && c.Picture1.ZPosition() > c.fr_comm.ZPosition();
  });
  uint32_t start = platform::TickCount();
  alert_.ShowAlert2(std::string(130, 'm'), 255);
  uint32_t shown = platform::TickCount() - start;
  EXPECT_EQ(text_height, 750);
  EXPECT_EQ(panel_height, platform::RoundToPixel(text_top + 750 + 100));
  EXPECT_EQ(form_height, panel_height);
  EXPECT_EQ(form_width, panel_width);
  EXPECT_EQ(colour, 255u);
  EXPECT_TRUE(panel_in_front);
  EXPECT_GE(shown, 31000u);
  EXPECT_LT(shown, 36000u);
  EXPECT_TRUE(alert_.NoticeMode);

  // Sixty characters keep the designed height.
  int32_t designed = 0;
  {
    frmAlert owner;
    frmAlert::Controls fresh(owner);
    designed = fresh.Label1(0).Height();
  }
  Watch(1000, [&](frmAlert::Controls& c, uint32_t) { text_height = c.Label1(0).Height(); });
  alert_.ShowAlert2(std::string(60, 's'), 16711680);
  EXPECT_EQ(text_height, designed);
  EXPECT_NE(designed, 750);
  alert_.ShowAlert2(std::string(61, 's'), 16711680);
  EXPECT_EQ(text_height, platform::RoundToPixel(200 + 350));
}

}  // namespace
