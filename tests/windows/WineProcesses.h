// Starting and waiting for real programs under Wine: the sleeper beside the tests, and
// the real Runwarden.exe of the build.
#pragma once

#include <windows.h>

#include <string>

#include "guard/ProcessKill.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "support/TestFolder.h"

namespace wine_test {

inline std::string TestsFolder() {
  char buffer[MAX_PATH * 2];
  DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  std::string path(buffer, length);
  return path.substr(0, path.find_last_of('\\'));
}

// The build's Runwarden.exe, through Wine's Z: drive.
inline std::string RunwardenExe() {
  std::string path = std::string("Z:") + RUNWARDEN_EXE_HOST_PATH;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

inline bool CopyTo(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

// Copies the sleeper as Folder\Name and starts it.
inline uint32_t StartSleeperAs(const TestFolder& folder, const std::string& name) {
  std::string path = folder.File(name);
  if (!CopyTo(TestsFolder() + "\\rwsleeper.exe", path)) return 0;
  return platform::StartProgram("\"" + path + "\" 60", platform::StartWindow::kHidden);
}

template <class Condition>
bool WaitFor(Condition condition, int seconds = 15) {
  for (int i = 0; i < seconds * 20; ++i) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

}  // namespace wine_test
