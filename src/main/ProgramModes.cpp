#include "main/ProgramModes.h"

#include "guard/GuardLoop.h"
#include "guard/ProcessKill.h"
#include "platform/system.h"
#include "ui/frmAlert.h"
#include "ui/frmOptions.h"

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
  return modes;
}
