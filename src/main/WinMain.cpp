#include <windows.h>

#include "app/basMain.h"
#include "main/ProgramModes.h"
#include "platform/system.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string arguments = CommandArgumentText(GetCommandLineA(), platform::ModulePath());
  if (Main(arguments, RunwardenModes()) == MainOutcome::kEndAtOnce) platform::EndProcessNow(0);
  return 0;
}
