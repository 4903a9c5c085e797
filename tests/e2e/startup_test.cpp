// Runwarden.exe started the ways Windows and the user start it.
#include <windows.h>

#include <gtest/gtest.h>

#include "ProgramUnderTest.h"
#include "app/modINI.h"
#include "guard/ProcessKill.h"
#include "guard/RuleLists.h"
#include "guard/basGuard.h"
#include "registry/basReg.h"
#include "support/RegistrySandbox.h"
#include "support/TestFolder.h"
#include "runwarden_version.h"

namespace {

constexpr DWORD kStartTimeoutMs = 30000;

std::string InstalledMarker(const std::string& folder) {
  return GetIniValue(folder + "\\ver.ini", "Installed", "Runwarden.exe", "");
}

TEST(StartupTest, InTheRootOfADriveItAsksToBeMovedAndEndsAfterOk) {
  ASSERT_TRUE(InstallProgramAt("C:\\Runwarden.exe"));
  DeleteFileA("C:\\ver.ini");
  {
    RunningProgram program("C:\\Runwarden.exe");
    ASSERT_TRUE(program.started());
    HWND dialog = program.WaitForDialog(kStartTimeoutMs);
    ASSERT_NE(dialog, nullptr) << "no message box";
    EXPECT_EQ(MessageBoxText(dialog),
              "Please save this executable in a folder, not in the root of a drive to function "
              "properly!");
    EXPECT_EQ(WindowText(dialog), "Runwarden");
    // Still waiting for the user: the program must not end before OK.
    EXPECT_FALSE(program.WaitForExit(500));
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    DWORD exit_code = 1;
    EXPECT_TRUE(program.WaitForExit(kStartTimeoutMs, &exit_code));
    EXPECT_EQ(exit_code, 0u);
  }
  EXPECT_EQ(InstalledMarker("C:"), RUNWARDEN_VERSION_STRING);
  DeleteFileA("C:\\Runwarden.exe");
  DeleteFileA("C:\\ver.ini");
}

// Installed in a folder whose name starts with the program's own name, started the ways
// Windows starts it (unquoted as a Run value holds it, or quoted): each argument takes
// its own mode. A process name really ends that process and nothing else; the options
// path ends nothing and shows no message.
TEST(StartupTest, FromAFolderNamedLikeItEachArgumentTakesItsOwnMode) {
  // The single scan visits every autostart place: only what this test plants is there.
  RegistrySandbox sandbox;
  for (const std::string& location : RegistryLocations()) sandbox.Own(location);
  TestFolder sleepers;
  int round = 0;
  for (const std::string folder : {"C:\\Program Files\\Runwarden Test", "C:\\Runwarden 1.0"}) {
    const std::string exe = folder + "\\Runwarden.exe";
    ASSERT_TRUE(InstallProgramAt(exe)) << exe;
    for (const std::string& program : {exe, "\"" + exe + "\""}) {
      // A victim, and a bystander named like the program itself, fresh copies each round.
      const std::string copies = std::to_string(++round);
      CreateDirectoryA(sleepers.File(copies).c_str(), nullptr);
      ASSERT_NE(StartSleeper(sleepers.File(copies + "\\rwe2evictim.exe")), 0u);
      ASSERT_NE(StartSleeper(sleepers.File(copies + "\\Runwarden.exe")), 0u);
      ASSERT_TRUE(WaitUntil([] { return IsProcessRunning("rwe2evictim.exe"); }));

      for (const char* options : {"", " /options"}) {
        RunningProgram started(program + options);
        ASSERT_TRUE(started.started());
        // The options window, which lives until it is closed.
        HWND window = started.WaitForWindow(L"RunwardenForm", L"Manage Runwarden", kStartTimeoutMs);
        EXPECT_NE(window, nullptr) << program << options;
        if (window) PostMessageW(window, WM_CLOSE, 0, 0);
        DWORD exit_code = 1;
        EXPECT_TRUE(started.WaitForExit(kStartTimeoutMs, &exit_code)) << program << options;
        EXPECT_EQ(exit_code, 0u);
        EXPECT_TRUE(IsProcessRunning("rwe2evictim.exe")) << program << options;
      }

      DeleteFileA((folder + "\\ver.ini").c_str());
      RunningProgram terminate(program + " rwe2evictim.exe");
      ASSERT_TRUE(terminate.started());
      DWORD exit_code = 1;
      EXPECT_TRUE(terminate.WaitForExit(kStartTimeoutMs, &exit_code)) << program;
      EXPECT_EQ(exit_code, 0u);
      EXPECT_TRUE(WaitUntil([] { return !IsProcessRunning("rwe2evictim.exe"); })) << program;
      EXPECT_TRUE(IsProcessRunning("Runwarden.exe")) << program;
      EXPECT_EQ(InstalledMarker(folder), RUNWARDEN_VERSION_STRING);
      KillProcessByFile("Runwarden.exe");
    }

    // The guard: without rule files beside it, it says so and ends after OK.
    {
      DeleteFileA((folder + "\\ver.ini").c_str());
      RunningProgram guard(exe + " /s");
      ASSERT_TRUE(guard.started());
      HWND dialog = guard.WaitForDialog(kStartTimeoutMs);
      ASSERT_NE(dialog, nullptr) << "the guard did not start";
      EXPECT_EQ(WindowText(dialog), "Runwarden - Critical Error");
      SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
      DWORD exit_code = 1;
      EXPECT_TRUE(guard.WaitForExit(kStartTimeoutMs, &exit_code));
      EXPECT_EQ(exit_code, 0u);
      EXPECT_EQ(InstalledMarker(folder), RUNWARDEN_VERSION_STRING);
    }
    // The single scan: an undecided entry is muted.
    {
      DeleteFileA((folder + "\\ver.ini").c_str());
      WriteRegValue(kHkcuRun, "RwE2E Startup", "C:\\windows\\notepad.exe");
      RunningProgram once(exe + " /r");
      ASSERT_TRUE(once.started());
      DWORD exit_code = 1;
      EXPECT_TRUE(once.WaitForExit(kStartTimeoutMs, &exit_code));
      EXPECT_EQ(exit_code, 0u);
      EXPECT_EQ(ReadRegValue(kHkcuRun, "RwE2E Startup", "muted"), "muted");
      EXPECT_EQ(ReadRegValue(kMutedKey, std::string(kHkcuRun) + "\\RwE2E Startup", ""),
                "C:\\windows\\notepad.exe");
      EXPECT_EQ(InstalledMarker(folder), RUNWARDEN_VERSION_STRING);
      DeleteRegValue(kMutedKey, std::string(kHkcuRun) + "\\RwE2E Startup");
    }
    DeleteFileA(exe.c_str());
    DeleteFileA((folder + "\\ver.ini").c_str());
    DeleteFileA((folder + "\\errlog.log").c_str());
    RemoveDirectoryA(folder.c_str());
  }
}

}  // namespace
