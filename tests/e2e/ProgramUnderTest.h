// Starting Runwarden.exe the way Windows does, and finding and answering its windows.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "support/Programs.h"
#include "support/TestFolder.h"

// The built Runwarden.exe as Wine sees it (Z:\...\app\Runwarden.exe).
std::string BuiltProgramPath();

// Copies the built program to Path (creating its folder).
bool InstallProgramAt(const std::string& path);

class RunningProgram {
 public:
  // Starts the command line as Windows starts a Run value: exactly as written.
  explicit RunningProgram(const std::string& command_line);
  ~RunningProgram();

  bool started() const { return process_.hProcess != nullptr; }
  // Waits for a visible dialog (message box) of the process; nullptr when none comes.
  HWND WaitForDialog(DWORD timeout_ms) const;
  // Waits for a visible top-level window of the process with this class and text.
  HWND WaitForWindow(const std::wstring& class_name,
                     const std::wstring& text,
                     DWORD timeout_ms) const;
  DWORD id() const { return process_.dwProcessId; }
  // Waits for the process to end; false when it is still running.
  bool WaitForExit(DWORD timeout_ms, DWORD* exit_code = nullptr) const;

 private:
  PROCESS_INFORMATION process_{};
};

std::string WindowText(HWND window);
std::wstring WideWindowText(HWND window);
// A window anywhere below Parent with this class (any case) and text.
HWND FindDescendant(HWND parent, const std::wstring& class_name, const std::wstring& text);
// The command line another process was started with; empty when it cannot be read.
std::wstring ProcessCommandLine(DWORD process_id);
// Presses a button as a user would, without waiting for what the click does (it may
// open a message box).
void PressLater(HWND button);
// Ends every process started from an executable inside Folder (the guards and editors a
// test's program started), after closing their windows.
void EndProcessesStartedFrom(const std::string& folder);
// The text of a message box (its static text control).
std::string MessageBoxText(HWND dialog);
