#include "main/ProgramModes.h"

#include "guard/GuardLoop.h"
#include "guard/ProcessKill.h"
#include "ui/frmOptions.h"

ProgramModes RunwardenModes() {
  ProgramModes modes;
  modes.show_options = ShowOptionsWindow;
  modes.start_guard = StartGuard;
  modes.scan_once = ScanOnce;
  modes.terminate_processes = KillProcessByFile;
  return modes;
}
