// A program that only waits a while (the seconds given, 60 by default) and ends: the
// processes the termination tests start and end by name. A name after the seconds is a
// mutex it holds meanwhile, as another run of the program holds its lock.
#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  char* rest = command_line;
  long seconds = std::strtol(command_line, &rest, 10);
  while (*rest == ' ')
    ++rest;
  HANDLE mutex = *rest ? CreateMutexA(nullptr, FALSE, rest) : nullptr;
  Sleep(static_cast<DWORD>(seconds > 0 ? seconds : 60) * 1000);
  if (mutex)
    CloseHandle(mutex);
  return 0;
}
