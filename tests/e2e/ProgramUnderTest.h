// Starting Runwarden.exe the way Windows does, and finding and answering its windows.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "support/TestFolder.h"

// The built Runwarden.exe as Wine sees it (Z:\...\app\Runwarden.exe).
std::string BuiltProgramPath();

// Copies the built program to Path (creating its folder).
bool InstallProgramAt(const std::string& path);

// Copies the tests' sleeper into Folder under Name and starts it; it waits a minute.
// Its process id, 0 when it could not be started.
DWORD StartSleeper(const TestFolder& folder, const std::string& name);
// Asks again every 50 ms for up to 15 seconds.
bool WaitUntil(const std::function<bool()>& condition);

class RunningProgram {
 public:
  // Starts the command line as Windows starts a Run value: exactly as written.
  explicit RunningProgram(const std::string& command_line);
  ~RunningProgram();

  bool started() const { return process_.hProcess != nullptr; }
  // Waits for a visible dialog (message box) of the process; nullptr when none comes.
  HWND WaitForDialog(DWORD timeout_ms) const;
  // Waits for the process to end; false when it is still running.
  bool WaitForExit(DWORD timeout_ms, DWORD* exit_code = nullptr) const;

 private:
  PROCESS_INFORMATION process_{};
};

std::string WindowText(HWND window);
// The text of a message box (its static text control).
std::string MessageBoxText(HWND dialog);
