#include "main/ProgramModes.h"

#include "app/ErrorScope.h"
#include "app/Rights.h"
#include "app/Settings.h"
#include "guard/GuardLoop.h"
#include "guard/LogonStart.h"
#include "guard/ProcessKill.h"
#include "guard/RuleLists.h"
#include "platform/process.h"
#include "platform/system.h"
#include "registry/Registry.h"
#include "ui/AlertWindow.h"
#include "ui/BlockedEntriesWindow.h"
#include "ui/OptionsWindow.h"

GuardWindows RunwardenGuardWindows() {
  GuardWindows windows;
  windows.ShowAlert = [](const StartupEntry& entry, bool& block, bool with_timer,
                         const std::string& code, const std::string& rating_text,
                         const std::string& file_name, const std::string& hash) {
    return ShowAlert(entry, block, with_timer, code, rating_text, file_name, hash);
  };
  windows.ShowAlert2 = [](const std::string& message, uint32_t color) {
    ShowAlert2(message, color);
  };
  windows.CheckUpdates = [] { AlertProgramSupport().CheckUpdates(); };
  windows.SubmitError = [](const std::string& report) {
    AlertProgramSupport().SubmitError(report);
  };
  windows.HideAlert = HideAlert;
  windows.UnloadWindows = [] {
    UnloadAlert();
    UnloadOptionsWindow();
  };
  return windows;
}

namespace {

// The one-action switches: nothing is shown, a failure goes to errlog.log, and the
// status is the exit code for whoever started this copy (the setup, the uninstaller,
// the options window waiting for its elevated copy).
int Enable(bool start_guard) {
  ErrorScope error;
  LogonStartResult result;
  error.Try([&] { result = EnableLogonStart(); });
  if (!result.ok()) {
    error.Raise("Runwarden could not be enabled: " + result.step + " (" +
                DescribeFailure(result.status) + ")");
    return static_cast<int>(result.status);
  }
  error.Try([] { WriteRegValue(kSettingsKey, "Unload", "0"); });
  if (start_guard)
    platform::StartProgram(AutostartCommand("/s"), platform::StartWindow::kNormal);
  return 0;
}

int Disable() {
  ErrorScope error;
  LogonStartResult result;
  error.Try([&] { result = DisableLogonStart(); });
  if (!result.ok()) {
    error.Raise("Runwarden could not be disabled: " + result.step + " (" +
                DescribeFailure(result.status) + ")");
    return static_cast<int>(result.status);
  }
  error.Try([] { WriteRegValue(kSettingsKey, "Unload", "1"); });
  return 0;
}

int ResetAllRules() {
  ErrorScope error;
  long status = ResetRules();
  if (status)
    error.Raise("The rules could not be deleted (" + DescribeFailure(status) + ")");
  return static_cast<int>(status);
}

}  // namespace

ProgramModes RunwardenModes() {
  ProgramModes modes;
  modes.show_options = ShowOptionsWindow;
  modes.start_guard = [] {
    // Without its rule files the guard ends the program at once.
    if (!StartGuard(RunwardenGuardWindows()))
      platform::EndProcessNow(0);
  };
  modes.scan_once = [] { ScanOnce(RunwardenGuardWindows()); };
  modes.terminate_processes = KillProcessByFile;
  modes.enable = [] { return Enable(false); };
  modes.enable_and_start = [] { return Enable(true); };
  modes.disable = Disable;
  modes.reset_rules = ResetAllRules;
  modes.show_blocked_entries = ShowBlockedEntriesWindow;
  return modes;
}
