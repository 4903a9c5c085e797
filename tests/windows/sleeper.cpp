// A program that only waits a while (the seconds given, 60 by default) and ends: the
// processes the termination tests start and end by name.
#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  int seconds = std::atoi(command_line);
  Sleep(static_cast<DWORD>(seconds > 0 ? seconds : 60) * 1000);
  return 0;
}
