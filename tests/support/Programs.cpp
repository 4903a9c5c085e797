#include "support/Programs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "platform/events.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"

#ifdef _WIN32
#include <windows.h>
#endif

bool WaitUntil(const std::function<bool()>& condition, int seconds) {
  for (int i = 0; i < seconds * 20; ++i) {
    if (condition())
      return true;
    platform::Sleep(50);
  }
  return condition();
}

#ifdef _WIN32
std::string TestsFolder() {
  char buffer[MAX_PATH * 2];
  std::string path(buffer, GetModuleFileNameA(nullptr, buffer, sizeof buffer));
  return path.substr(0, path.find_last_of('\\'));
}
#endif

std::string SleeperBytes() {
#ifdef _WIN32
  const std::string source = WinePath(RUNWARDEN_SLEEPER_UNIX);
#else
  const std::string source = "C:\\bin\\sleep";
#endif
  std::string bytes;
  EXPECT_TRUE(platform::ReadWholeFile(source, &bytes)) << source;
  return bytes;
}

uint32_t StartSleeper(const std::string& path, int seconds) {
  if (platform::FileSize(path) < 0)
    EXPECT_TRUE(platform::WriteWholeFile(path, SleeperBytes())) << path;
  MakeRunnable(path);
  return platform::StartProgram("\"" + path + "\" " + std::to_string(seconds),
                                platform::StartWindow::kHidden);
}

void MakeRunnable([[maybe_unused]] const std::string& path) {
#ifndef _WIN32
  EXPECT_EQ(std::system(("chmod +x '" + HostPath(path) + "'").c_str()), 0) << path;
#endif
}

std::string HostPath(const std::string& path) {
  std::string host = path.substr(2);
  std::replace(host.begin(), host.end(), '\\', '/');
  return host;
}

std::string WinePath(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}
