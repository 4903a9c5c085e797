#include "guard/GuardLoop.h"

#include "app/AppInfo.h"
#include "app/ErrorScope.h"
#include "app/Rights.h"
#include "app/Paths.h"
#include "app/Log.h"
#include "app/LaunchModes.h"
#include "app/Settings.h"
#include "guard/LogonStart.h"
#include "guard/RuleLists.h"
#include "guard/Scan.h"
#include "guard/SettingsRepair.h"
#include "platform/events.h"
#include "platform/session_lock.h"
#include "platform/window.h"
#include "registry/Registry.h"

bool KeepGuarding = false;

namespace {

constexpr char kApplicationTitle[] = "Runwarden";
constexpr char kSettingChangedNotice[] =
    "Found a setting change and fixed some of them! It might be a spyware or harmful file in "
    "your system. Please scan your computer with a antivirus and antispyware!";

constexpr char kLimitedRightsNotice[] =
    "Runwarden cannot ask about startup entries on this account: it may not change its "
    "settings for this computer (access denied: administrator rights are needed), so no "
    "answer could be kept.";
constexpr char kHeldBackNotice[] =
    " The startup entries of your account that are not allowed were held back at logon and "
    "are back in place now; they did not start this time.";

int& PassLimit() {
  static int limit = 0;
  return limit;
}

// Both rule files must be there: without them nothing harmful could be recognised.
bool RuleFilesPresent() {
  for (const char* rules : {"prerules.ini", "virrules.ini"}) {
    if (FileExists(AppFile(rules)))
      continue;
    std::string text = std::string("Missing file - ") + rules + ", cannot check harmfull files!";
    LogError(text);
    platform::ShowMessageBox(text + "\r\n\r\nThis application will now terminate!",
                             std::string(kApplicationTitle) + " - Critical Error",
                             platform::kMbOk | platform::kMbIconCritical);
    return false;
  }
  return true;
}

// Said once per logon by a guard that cannot write the machine's settings.
void ShowLimitedRightsNotice(const GuardWindows& windows, bool held_back) {
  std::string text = kLimitedRightsNotice;
  if (held_back)
    text += kHeldBackNotice;
  LogError(text);
  if (windows.ShowAlert2)
    windows.ShowAlert2(text, kNoticeRed);
}

// Between two looks at the single scan's lock.
constexpr uint32_t kEarlyScanPollMs = 250;

// False when a single scan of this session still runs after kEarlyScanWaitMs.
bool WaitForEarlyScan() {
  uint32_t deadline = platform::TickCount() + kEarlyScanWaitMs;
  while (platform::SessionLockHeld(kEarlyScanLock)) {
    if (static_cast<int32_t>(platform::TickCount() - deadline) >= 0)
      return false;
    platform::DoEvents();
    platform::Idle(kEarlyScanPollMs);
  }
  return true;
}

void Call(const std::function<void()>& procedure) {
  if (procedure)
    procedure();
}

}  // namespace

// Lets messages run until the time is up: a guard that does not answer for 5 seconds
// would hold up logoff and every broadcast. One reading of the clock per round: a
// deadline that passed between two readings would turn the rest into an endless wait.
void PauseLettingMessagesRun(uint32_t milliseconds) {
  uint32_t deadline = platform::TickCount() + milliseconds;
  for (;;) {
    platform::DoEvents();
    int32_t left = static_cast<int32_t>(deadline - platform::TickCount());
    if (left <= 0)
      return;
    platform::Idle(static_cast<uint32_t>(left));
  }
}

std::string AutostartCommand(const std::string& switch_text) {
  return "\"" + AppExePath + "\" " + switch_text;
}

void ScanOnce(const GuardWindows& windows) {
  ErrorScope error;
  // The guard puts nothing back while this runs.
  platform::SessionLock running(kEarlyScanLock);
  error.Try([&] {
    LoadOptions();
    RunOnceMode = true;
    LimitedRights = !CanWriteMachineSettings();
    ScanStartup(windows);
  });
}

bool StartGuard(const GuardWindows& windows) {
  ErrorScope error;
  bool started = true;
  error.Try([&] {
    LoadOptions();
    if (!RuleFilesPresent()) {
      started = false;
      return;
    }
    GuardMode = true;
    LimitedRights = !CanWriteMachineSettings();
    if (!LimitedRights)
      KeepAutostartValues();
    platform::ListenForSessionEnd();
    // An entry put back while the scan sets it aside could be lost between the two.
    bool scan_over = WaitForEarlyScan();
    if (!scan_over)
      LogError(
          "The early scan is still running: the muted entries stay aside until the next "
          "start of the guard");
    bool held_back = scan_over && HasMutedRecords(kUserMutedKey);
    if (scan_over)
      RestoreMutedEntries();
    if (LimitedRights) {
      // No question: none of its answers could be kept.
      ShowLimitedRightsNotice(windows, held_back);
      Call(windows.HideAlert);
      Call(windows.UnloadWindows);
      return;
    }
    for (int passes = 1;; ++passes) {
      error.Try([] { RepairSystemSettings(); });
      error.Try([&] { ScanStartup(windows); });
      error.Try([&] {
        Call(windows.HideAlert);
        if (KeepGuarding)
          return;
        if (OptAlert) {
          if (windows.ShowAlert2)
            windows.ShowAlert2(kSettingChangedNotice, kNoticeRed);
          KeepGuarding = true;
          return;
        }
        if (OptAutoUpdate)
          Call(windows.CheckUpdates);
        Call(windows.UnloadWindows);
      });
      if (!KeepGuarding || (PassLimit() > 0 && passes >= PassLimit()))
        return;
      PauseLettingMessagesRun(kGuardPauseMs);
    }
  });
  return started;
}

void LimitGuardPassesForTesting(int passes) {
  PassLimit() = passes;
}
