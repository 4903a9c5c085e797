// Starting and waiting for real programs under Wine: the sleeper beside the tests, and
// the real Runwarden.exe of the build.
#pragma once

#include <windows.h>

#include <string>

#include "guard/ProcessKill.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "support/Programs.h"
#include "support/TestFolder.h"

namespace wine_test {

// The build's Runwarden.exe, through Wine's Z: drive.
inline std::string RunwardenExe() {
  return WinePath(RUNWARDEN_EXE_HOST_PATH);
}

inline bool CopyTo(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

// Runs a command line and waits for it to end; its exit code, or -1.
inline long RunAndWait(const std::string& command_line, DWORD timeout_ms) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string writable = command_line;
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    return -1;
  DWORD waited = WaitForSingleObject(info.hProcess, timeout_ms);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return waited == WAIT_OBJECT_0 ? static_cast<long>(code) : -1;
}

}  // namespace wine_test
