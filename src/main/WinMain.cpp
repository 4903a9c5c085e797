#include <windows.h>

#include "app/basMain.h"
#include "app/basShortPath.h"
#include "main/ProgramModes.h"
#include "platform/system.h"
#include "platform/win32/wide_text.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string exe = platform::ModulePath();
  std::string arguments =
      CommandArgumentText(platform::NarrowBuffer(GetCommandLineW()), exe, GetShortPath(exe));
  if (Main(arguments, RunwardenModes()) == MainOutcome::kEndAtOnce) platform::EndProcessNow(0);
  return 0;
}
