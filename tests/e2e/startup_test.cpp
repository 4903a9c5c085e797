// Runwarden.exe started the ways Windows and the user start it.
#include <windows.h>

#include <gtest/gtest.h>

#include "ProgramUnderTest.h"
#include "app/modINI.h"
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

TEST(StartupTest, FromAFolderTheSwitchesRunWithoutAMessage) {
  const std::string folder = "C:\\Program Files\\Runwarden Test";
  const std::string exe = folder + "\\Runwarden.exe";
  ASSERT_TRUE(InstallProgramAt(exe));
  for (const char* switch_text : {" /s", " /r", " nothing-runs-by-this-name.exe"}) {
    DeleteFileA((folder + "\\ver.ini").c_str());
    // Quoted, as the guard writes its own values.
    RunningProgram program("\"" + exe + "\"" + switch_text);
    ASSERT_TRUE(program.started());
    DWORD exit_code = 1;
    EXPECT_TRUE(program.WaitForExit(kStartTimeoutMs, &exit_code)) << switch_text;
    EXPECT_EQ(exit_code, 0u) << switch_text;
    EXPECT_EQ(InstalledMarker(folder), RUNWARDEN_VERSION_STRING) << switch_text;
  }
  DeleteFileA(exe.c_str());
  DeleteFileA((folder + "\\ver.ini").c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
