// The two runs at logon: the guard ("/s") with its rule-file check, its autostart
// values, the muted entries put back (once the single scan has ended) before it asks, one
// pass and the update check, or the resident passes after hijacked settings; and the
// single scan ("/r").
#include "guard/GuardLoop.h"

#include <gtest/gtest.h>

#include <optional>

#include "app/LaunchModes.h"
#include "app/Settings.h"
#include "guard/Rating.h"
#include "guard/RuleLists.h"
#include "guard/Scan.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/session_lock.h"
#include "platform/window.h"
#include "registry/Registry.h"
#include "support/ScanMachine.h"

namespace {

constexpr char kSettingChanged[] =
    "Found a setting change and fixed some of them! It might be a spyware or harmful file in "
    "your system. Please scan your computer with a antivirus and antispyware!";

class GuardTest : public ::testing::Test {
 protected:
  GuardTest() {
    pest_ = machine_.Program("pest.exe", "pest bytes");
    machine_.WriteRules("[Pest]\r\nF=pest.exe\r\nC=N\r\nD=Adware\r\n", "");
  }

  ScanMachine machine_;
  AlertStandIn alert_;
  MessageBoxRecorder boxes_;
  std::string pest_;
};

}  // namespace

TEST_F(GuardTest, WithoutEitherRuleFileItRefusesToStartAndTouchesNothing) {
  machine_.AddRunValue("Pest", pest_);
  WriteRegValue(kMutedKey, std::string(kHkcuRun) + "\\Muted", pest_);
  for (const std::string missing : {"prerules.ini", "virrules.ini"}) {
    SCOPED_TRACE(missing);
    machine_.WriteRules("", "");
    platform::RemoveFile(machine_.folder().File(missing));
    boxes_.clear();
    EXPECT_FALSE(StartGuard(alert_.Windows()));

    std::string text = "Missing file - " + missing + ", cannot check harmfull files!";
    std::string log = machine_.ErrorLog();
    EXPECT_EQ(log.substr(log.size() - text.size() - 1), "\t" + text) << log;
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, text + "\r\n\r\nThis application will now terminate!");
    EXPECT_EQ(boxes_[0].title, "Runwarden - Critical Error");
    EXPECT_EQ(boxes_[0].style, platform::kMbOk | platform::kMbIconCritical);
    EXPECT_FALSE(HasValue(kRunKey, kAutostartValue));
    EXPECT_FALSE(HasValue(kRunOnceKey, kAutostartValue));
    EXPECT_FALSE(HasValue(kHkcuRun, "Muted"));
    EXPECT_TRUE(alert_.alerts.empty());
    EXPECT_FALSE(GuardMode);
  }
}

TEST_F(GuardTest, OnePassAsksAboutTheMutedEntriesThenChecksForUpdatesAndEnds) {
  // The single scan at this logon muted the entry; the guard puts it back and asks.
  machine_.AddRunValue("Pest", pest_ + " /bg");
  RunOnceMode = true;
  ScanStartup(alert_.Windows());
  RunOnceMode = false;
  ASSERT_FALSE(HasValue(kHkcuRun, "Pest"));
  bool back_in_place_when_asked = false;
  alert_.on_alert = [&](const AlertCall&) {
    back_in_place_when_asked = ReadRegValue(kHkcuRun, "Pest", "") == pest_ + " /bg";
  };
  alert_.answers = {{"Pest", Answer::kAllow}};

  EXPECT_TRUE(StartGuard(alert_.Windows()));

  EXPECT_EQ(ReadRegValue(kRunOnceKey, kAutostartValue, ""), "\"" + machine_.Program() + "\" /r");
  EXPECT_EQ(ReadRegValue(kRunKey, kAutostartValue, ""), "\"" + machine_.Program() + "\" /s");
  ASSERT_EQ(alert_.alerts.size(), 1u);
  EXPECT_TRUE(back_in_place_when_asked);
  EXPECT_EQ(alert_.alerts[0].code, "N");  // the guard rates
  EXPECT_EQ(alert_.alerts[0].rating_text, "Adware");
  EXPECT_EQ(ValueNames(kMutedKey).size(), 0u);
  EXPECT_EQ(alert_.hides, 1);
  EXPECT_EQ(alert_.update_checks, 1);
  EXPECT_EQ(alert_.unloads, 1);
  EXPECT_TRUE(alert_.notices.empty());
  EXPECT_FALSE(KeepGuarding);

  machine_.SetOption("chkAuto_Update(6)", "0");
  EXPECT_TRUE(StartGuard(alert_.Windows()));
  EXPECT_EQ(alert_.update_checks, 1);
  EXPECT_EQ(alert_.unloads, 2);
}

// A first pass whose repair found hijacked settings: the red notice once, no update
// check, and a pass every 5 seconds from then on, the pauses letting messages run.
TEST_F(GuardTest, HijackedSettingsKeepTheGuardPassingEveryFiveSeconds) {
  SystemValuesGuard system_values;
  ScopedVersion five(5);
  WriteRegValue(kWinlogon, "uihost", "evil.exe");
  ManualClock clock;
  std::vector<uint32_t> pass_ends;
  GuardWindows windows = alert_.Windows();
  windows.HideAlert = [&] { pass_ends.push_back(platform::TickCount()); };
  int ticks = 0;
  platform::Timer messages("messages", 1000);
  messages.on_timer = [&] { ++ticks; };
  messages.SetEnabled(true);
  LimitGuardPassesForTesting(3);

  EXPECT_TRUE(StartGuard(windows));

  ASSERT_EQ(pass_ends.size(), 3u);
  for (size_t i = 1; i < pass_ends.size(); ++i) {
    EXPECT_GE(pass_ends[i] - pass_ends[i - 1], kGuardPauseMs);
    EXPECT_LT(pass_ends[i] - pass_ends[i - 1], kGuardPauseMs + 1000);
  }
  EXPECT_GE(ticks, 2);
  ASSERT_EQ(alert_.notices.size(), 1u);
  EXPECT_EQ(alert_.notices[0].message, kSettingChanged);
  EXPECT_EQ(alert_.notices[0].color, 255u);
  EXPECT_EQ(alert_.update_checks, 0);
  EXPECT_EQ(alert_.unloads, 0);
  EXPECT_TRUE(KeepGuarding);
  EXPECT_EQ(ReadRegValue(kWinlogon, "uihost", ""), "%windir%\\resources\\logon\\logonui.exe");
}

// Time goes on between two readings of the clock. The pause reads it once a round, so
// however far it moves meanwhile, the rest never aims past a deadline that has already
// gone by (which would be a wait of 49 days). Each step size puts the deadline between
// two readings somewhere along the way.
TEST(GuardPauseTest, ARestNeverOutlastsTheDeadlineHoweverTheClockMoves) {
  ManualClock clock;
  for (uint32_t step = 100; step < kGuardPauseMs; step += 100) {
    SCOPED_TRACE(step);
    platform::StepClockOnReadingForTesting(step);
    uint32_t start = platform::TickCount();
    PauseLettingMessagesRun(kGuardPauseMs);
    uint32_t took = platform::TickCount() - start;
    EXPECT_GE(took, kGuardPauseMs);
    EXPECT_LE(took, kGuardPauseMs + 4 * step);
    EXPECT_LE(platform::LongestIdleForTesting(), kGuardPauseMs);
  }
}

// The single scan holds its lock while it runs (seen here from its error report). A guard
// that starts meanwhile puts nothing back, letting messages run, until the scan ends; one
// still running after the longest wait leaves the muted entries for the next start.
TEST_F(GuardTest, TheGuardPutsNothingBackWhileTheSingleScanRuns) {
  machine_.AddRunValue("Pest", pest_);
  GuardWindows scan_windows = alert_.Windows();
  bool held_while_scanning = false;
  scan_windows.SubmitError = [&](const std::string&) {
    held_while_scanning = platform::SessionLockHeld(kEarlyScanLock);
  };
  platform::SetRootReadOnlyForTesting(platform::RegRoot::CurrentUser, true);
  ScanOnce(scan_windows);  // the value cannot be muted: an error
  platform::SetRootReadOnlyForTesting(platform::RegRoot::CurrentUser, false);
  EXPECT_TRUE(held_while_scanning);
  EXPECT_FALSE(platform::SessionLockHeld(kEarlyScanLock));
  ScanOnce(alert_.Windows());  // muted, and no autostart value written
  EXPECT_TRUE(RunOnceMode);
  RunOnceMode = false;  // the guard is another process
  ASSERT_FALSE(HasValue(kHkcuRun, "Pest"));
  EXPECT_FALSE(HasValue(kRunKey, kAutostartValue));

  ManualClock clock;
  const uint32_t start = platform::TickCount();
  std::optional<platform::SessionLock> scan(std::in_place, kEarlyScanLock);
  platform::Timer scan_end("scan end", 20000);
  bool back_before_the_scan_ended = true;
  scan_end.on_timer = [&] {
    back_before_the_scan_ended = HasValue(kHkcuRun, "Pest");
    scan.reset();
    scan_end.SetEnabled(false);
  };
  scan_end.SetEnabled(true);
  alert_.answers = {{"Pest", Answer::kAllow}};
  uint32_t asked_after = 0;
  alert_.on_alert = [&](const AlertCall&) { asked_after = platform::TickCount() - start; };

  EXPECT_TRUE(StartGuard(alert_.Windows()));
  EXPECT_FALSE(scan.has_value()) << "no message ran while the guard waited";
  EXPECT_FALSE(back_before_the_scan_ended);
  EXPECT_GE(asked_after, 20000u);
  EXPECT_LT(asked_after, 21000u);
  ASSERT_EQ(alert_.alerts.size(), 1u);

  // A scan that never ends.
  DeleteRegValue(kHkcuRun, "Pest");
  WriteRegValue(kMutedKey, std::string(kHkcuRun) + "\\Pest", pest_);
  platform::SessionLock stuck(kEarlyScanLock);
  const uint32_t stuck_start = platform::TickCount();
  EXPECT_TRUE(StartGuard(alert_.Windows()));
  EXPECT_GE(platform::TickCount() - stuck_start, kEarlyScanWaitMs);
  EXPECT_LT(platform::TickCount() - stuck_start, kEarlyScanWaitMs + 1000);
  EXPECT_FALSE(HasValue(kHkcuRun, "Pest"));
  EXPECT_EQ(ReadRegValue(kMutedKey, std::string(kHkcuRun) + "\\Pest", ""), pest_);
  EXPECT_EQ(alert_.alerts.size(), 1u);
  EXPECT_NE(machine_.ErrorLog().find("The early scan is still running: the muted entries stay "
                                     "aside until the next start of the guard"),
            std::string::npos);
}

// A standard user: nothing of the machine's can be written, so no answer could be kept.
// The early scan holds back only the user's own values, recorded in the user's key; the
// guard puts them back, asks nothing and says why, once.
TEST_F(GuardTest, WithoutTheMachinesSettingsOnlyTheUsersValuesAreHeldBackAndNothingIsAsked) {
  const std::string record = std::string(kHkcuRun) + "\\Pest";
  machine_.AddRunValue("Pest", pest_);
  WriteRegValue(kHklmRun, "Machine pest", pest_);
  machine_.AddStartupShortcut("Pest", pest_);
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, true);
  ScanOnce(alert_.Windows());
  EXPECT_TRUE(LimitedRights);
  EXPECT_FALSE(HasValue(kHkcuRun, "Pest"));
  EXPECT_EQ(ReadRegValue(kUserMutedKey, record, ""), pest_);
  EXPECT_TRUE(HasValue(kHklmRun, "Machine pest"));
  EXPECT_EQ(ValueNames(kUserMutedKey).size(), 1u) << "only the user's value";
  EXPECT_EQ(machine_.ErrorLog(), "");

  const std::string limited =
      "Runwarden cannot ask about startup entries on this account: it may not change its "
      "settings for this computer (access denied: administrator rights are needed), so no "
      "answer could be kept.";
  const std::string held_back =
      " The startup entries of your account that are not allowed were held back at logon and "
      "are back in place now; they did not start this time.";
  for (const std::string& said : {limited + held_back, limited}) {
    SCOPED_TRACE(said);
    alert_.notices.clear();
    EXPECT_TRUE(StartGuard(alert_.Windows()));
    EXPECT_EQ(ReadRegValue(kHkcuRun, "Pest", ""), pest_);
    EXPECT_TRUE(ValueNames(kUserMutedKey).empty());
    EXPECT_TRUE(alert_.alerts.empty());
    ASSERT_EQ(alert_.notices.size(), 1u);
    EXPECT_EQ(alert_.notices[0].message, said);
    EXPECT_EQ(alert_.notices[0].color, 255u);
    EXPECT_EQ(alert_.update_checks, 0);
    EXPECT_FALSE(KeepGuarding);
    EXPECT_FALSE(HasValue(kRunKey, kAutostartValue));
  }
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, false);
}
