#include <windows.h>

#include "app/basMain.h"
#include "app/basShortPath.h"
#include "main/ProgramModes.h"
#include "platform/system.h"
#include "platform/win32/wide_text.h"
#include "platform/window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string exe = platform::ModulePath();
  std::string arguments =
      CommandArgumentText(platform::NarrowBuffer(GetCommandLineW()), exe, GetShortPath(exe));
  if (Main(arguments, RunwardenModes()) == MainOutcome::kEndAtOnce) platform::EndProcessNow(0);
  // The program lives as long as one of its windows is open (the options window).
  platform::RunMessageLoop();
  return 0;
}
