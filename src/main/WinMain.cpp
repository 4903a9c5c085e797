#include <windows.h>

#include "app/LaunchModes.h"
#include "app/ShortPath.h"
#include "main/ProgramModes.h"
#include "platform/system.h"
#include "platform/win32/wide_text.h"
#include "platform/window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string exe = platform::ModulePath();
  std::string arguments =
      CommandArgumentText(platform::NarrowBuffer(GetCommandLineW()), exe, GetShortPath(exe));
  int exit_code = 0;
  if (Main(arguments, RunwardenModes(), &exit_code) == MainOutcome::kEndAtOnce)
    platform::EndProcessNow(exit_code);
  // The program lives as long as one of its windows is open (the options window).
  platform::RunMessageLoop();
  return 0;
}
