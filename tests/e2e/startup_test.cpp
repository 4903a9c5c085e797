// Runwarden.exe started the ways Windows and the user start it, from a folder whose name
// starts with the program's own: unquoted as a Run value holds it, or quoted.
#include <windows.h>

#include <gtest/gtest.h>

#include "ProgramUnderTest.h"
#include "app/Ini.h"
#include "guard/ProcessKill.h"
#include "runwarden_version.h"

namespace {

constexpr DWORD kStartTimeoutMs = 30000;

// Without an argument and with "/options": the options window, which lives until it is
// closed. With a process name: that process ends, and nothing else does, not even a
// program named like Runwarden itself. Every start marks its version in ver.ini.
TEST(StartupTest, FromAFolderNamedLikeItEachArgumentTakesItsOwnMode) {
  const std::string folder = "C:\\Program Files\\Runwarden Test";
  const std::string exe = folder + "\\Runwarden.exe";
  ASSERT_TRUE(InstallProgramAt(exe));
  TestFolder sleepers;
  int round = 0;
  for (const std::string& program : {exe, "\"" + exe + "\""}) {
    // A victim, and a bystander named like the program itself, fresh copies each round.
    const std::string copies = std::to_string(++round);
    CreateDirectoryA(sleepers.File(copies).c_str(), nullptr);
    ASSERT_NE(StartSleeper(sleepers.File(copies + "\\rwe2evictim.exe")), 0u);
    ASSERT_NE(StartSleeper(sleepers.File(copies + "\\Runwarden.exe")), 0u);
    ASSERT_TRUE(WaitUntil([] { return IsProcessRunning("rwe2evictim.exe"); }));
    for (const char* options : {"", " /options"}) {
      RunningProgram started(program + options);
      HWND window = started.WaitForWindow(L"RunwardenForm", L"Manage Runwarden", kStartTimeoutMs);
      EXPECT_NE(window, nullptr) << program << options;
      if (window)
        PostMessageW(window, WM_CLOSE, 0, 0);
      DWORD exit_code = 1;
      EXPECT_TRUE(started.WaitForExit(kStartTimeoutMs, &exit_code)) << program << options;
      EXPECT_EQ(exit_code, 0u);
      EXPECT_TRUE(IsProcessRunning("rwe2evictim.exe")) << program << options;
    }

    DeleteFileA((folder + "\\ver.ini").c_str());
    RunningProgram terminate(program + " rwe2evictim.exe");
    DWORD exit_code = 1;
    EXPECT_TRUE(terminate.WaitForExit(kStartTimeoutMs, &exit_code)) << program;
    EXPECT_EQ(exit_code, 0u);
    EXPECT_TRUE(WaitUntil([] { return !IsProcessRunning("rwe2evictim.exe"); })) << program;
    EXPECT_TRUE(IsProcessRunning("Runwarden.exe")) << program;
    EXPECT_EQ(GetIniValue(folder + "\\ver.ini", "Installed", "Runwarden.exe", ""),
              RUNWARDEN_VERSION_STRING);
    KillProcessByFile("Runwarden.exe");
  }
  for (const char* file : {"Runwarden.exe", "ver.ini", "errlog.log"})
    DeleteFileA((folder + "\\" + file).c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
