// Real processes under Wine: the hidden copies a blocked-forever entry starts (the
// program's own termination mode is proven end to end in e2e/startup_test), and the
// single scan's lock between two processes.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/ShortPath.h"
#include "guard/Blocking.h"
#include "guard/ProcessKill.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/session_lock.h"
#include "support/Programs.h"
#include "support/TestFolder.h"

// The hidden copy is this program started again from its own folder: put the build's
// Runwarden.exe beside the tests for the time of the test. The blocked file is named
// like the program itself, and so is a program in another folder (as a guard would be):
// only the blocked file's process ends, whichever form of its path the copy is given.
TEST(TerminateModeTest, TheHiddenCopyEndsOnlyTheBlockedFilesProcess) {
  TestFolder folder;
  std::string copy = TestsFolder() + "\\Runwarden.exe";
  ASSERT_TRUE(CopyFileA(WinePath(RUNWARDEN_EXE_HOST_PATH).c_str(), copy.c_str(), FALSE));
  {
    ProgramLocation program(copy);
    CreateDirectoryA(folder.File("blocked program").c_str(), nullptr);
    CreateDirectoryA(folder.File("guard program").c_str(), nullptr);
    const std::string blocked = folder.File("blocked program\\Runwarden.exe");
    const std::string guard = folder.File("guard program\\Runwarden.exe");
    ASSERT_NE(StartSleeper(guard), 0u);
    for (bool short_form : {false, true}) {
      ASSERT_NE(StartSleeper(blocked), 0u);
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

// Another process's lock is seen, and it goes with that process however it ends.
TEST(SessionLockTest, AnotherProcesssLockIsHeldUntilThatProcessEnds) {
  const std::string name = "Runwarden.Test." + std::to_string(GetCurrentProcessId());
  EXPECT_FALSE(platform::SessionLockHeld(name));
  uint32_t holder = platform::StartProgram(
      "\"" + TestsFolder() + "\\rwsleeper.exe\" 60 Local\\" + name, platform::StartWindow::kHidden);
  ASSERT_NE(holder, 0u);
  EXPECT_TRUE(WaitUntil([&] { return platform::SessionLockHeld(name); }));
  EXPECT_TRUE(platform::EndProcessById(holder));  // as a crash would end it
  EXPECT_TRUE(WaitUntil([&] { return !platform::SessionLockHeld(name); }));
}
