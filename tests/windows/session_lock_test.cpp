// The single scan's lock between two real processes: another process's lock is seen, and
// it goes with that process however it ends.
#include <gtest/gtest.h>

#include "platform/session_lock.h"
#include "windows/WineProcesses.h"

using namespace wine_test;

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
