// Ending processes for real: the hidden copies a blocked-forever entry starts. (The
// program's own termination mode is proven end to end in e2e/startup_test.)
#include <gtest/gtest.h>

#include "app/ShortPath.h"
#include "guard/Blocking.h"
#include "windows/WineProcesses.h"

using namespace wine_test;

// The hidden copy is this program started again from its own folder: put a
// Runwarden.exe beside the tests for the time of the test. The blocked file is named
// like the program itself, and so is a program in another folder (as a guard would be):
// only the blocked file's process ends, whichever form of its path the copy is given.
TEST(TerminateModeTest, TheHiddenCopyEndsOnlyTheBlockedFilesProcess) {
  TestFolder folder;
  std::string copy = TestsFolder() + "\\Runwarden.exe";
  ASSERT_TRUE(CopyTo(RunwardenExe(), copy));
  {
    ProgramLocation program(copy);
    CreateDirectoryA(folder.File("blocked program").c_str(), nullptr);
    CreateDirectoryA(folder.File("guard program").c_str(), nullptr);
    const std::string blocked = folder.File("blocked program\\Runwarden.exe");
    const std::string guard = folder.File("guard program\\Runwarden.exe");
    ASSERT_NE(StartSleeper(folder.File("guard program\\Runwarden.exe")), 0u);
    for (bool short_form : {false, true}) {
      ASSERT_NE(StartSleeper(folder.File("blocked program\\Runwarden.exe")), 0u);
      ASSERT_TRUE(WaitUntil([&] { return IsProcessRunning(blocked) && IsProcessRunning(guard); }));
      const std::string path = short_form ? GetShortPath(blocked) : blocked;
      SCOPED_TRACE(path);
      ASSERT_FALSE(path.empty());
      if (short_form)
        EXPECT_NE(path, blocked);
      TerminateEntryProcesses(path);
      EXPECT_TRUE(WaitUntil([&] { return !IsProcessRunning(blocked); }));
      EXPECT_TRUE(WaitUntil([&] { return !IsProcessRunning(copy); })) << "the copy did not end";
      EXPECT_TRUE(IsProcessRunning(guard));
    }
    KillProcessByFile(guard);
    EXPECT_TRUE(WaitUntil([&] { return !IsProcessRunning(guard); }));
  }
  // The copies may still be on their way out.
  WaitUntil([&] { return platform::RemoveFile(copy); });
  platform::RemoveFile(TestsFolder() + "\\ver.ini");
}
