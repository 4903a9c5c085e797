// Ending processes by name for real: Runwarden.exe's own termination mode, and the
// hidden copies a blocked-forever entry starts.
#include <gtest/gtest.h>

#include "app/basFileFunctions.h"
#include "guard/Blocking.h"
#include "windows/WineProcesses.h"

using namespace wine_test;

TEST(TerminateModeTest, RunwardenWithAProgramNameEndsThatProgramAndNothingElse) {
  TestFolder folder;
  ASSERT_TRUE(FileExists(RunwardenExe())) << RunwardenExe();
  ASSERT_NE(platform::StartProgram("notepad.exe", platform::StartWindow::kNormal), 0u);
  ASSERT_NE(StartSleeperAs(folder, "mynotepad.exe"), 0u);
  ASSERT_NE(StartSleeperAs(folder, "notepad2.exe"), 0u);
  ASSERT_TRUE(WaitFor([] {
    return IsProcessRunning("notepad.exe") && IsProcessRunning("mynotepad.exe") &&
           IsProcessRunning("notepad2.exe");
  }));

  EXPECT_EQ(RunAndWait("\"" + RunwardenExe() + "\" notepad.exe", 60000), 0);
  EXPECT_TRUE(WaitFor([] { return !IsProcessRunning("notepad.exe"); }));
  EXPECT_TRUE(IsProcessRunning("mynotepad.exe"));
  EXPECT_TRUE(IsProcessRunning("notepad2.exe"));

  // A part of a name ends nothing.
  EXPECT_EQ(RunAndWait("\"" + RunwardenExe() + "\" notepad", 60000), 0);
  EXPECT_TRUE(IsProcessRunning("mynotepad.exe"));
  EXPECT_TRUE(IsProcessRunning("notepad2.exe"));

  KillProcessByFile("mynotepad.exe");
  KillProcessByFile("notepad2.exe");
  KillProcessByFile("notepad.exe");
  EXPECT_TRUE(WaitFor([] {
    return !IsProcessRunning("mynotepad.exe") && !IsProcessRunning("notepad2.exe");
  }));
}

// The hidden copies are this program started again from its own folder: put a
// Runwarden.exe beside the tests for the time of the test.
TEST(TerminateModeTest, TheHiddenCopiesEndTheProcessesOfABlockedFile) {
  TestFolder folder;
  std::string copy = TestsFolder() + "\\Runwarden.exe";
  ASSERT_TRUE(CopyTo(RunwardenExe(), copy));
  {
    ProgramLocation program(copy);
    ASSERT_NE(StartSleeperAs(folder, "rwblocked.exe"), 0u);
    ASSERT_NE(StartSleeperAs(folder, "rwblocked2.exe"), 0u);
    ASSERT_TRUE(WaitFor([] { return IsProcessRunning("rwblocked.exe"); }));
    TerminateEntryProcesses(folder.File("rwblocked.exe"));
    EXPECT_TRUE(WaitFor([] { return !IsProcessRunning("rwblocked.exe"); }));
    EXPECT_TRUE(IsProcessRunning("rwblocked2.exe"));
    KillProcessByFile("rwblocked2");
    EXPECT_TRUE(WaitFor([] { return !IsProcessRunning("rwblocked2.exe"); }));
  }
  // The copies may still be on their way out.
  WaitFor([&] { return platform::RemoveFile(copy); });
  platform::RemoveFile(TestsFolder() + "\\ver.ini");
}
