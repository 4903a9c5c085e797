#include "guard/ProcessKill.h"

#include <gtest/gtest.h>

#include "app/ShortPath.h"
#include "app/TextFunctions.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "support/Programs.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

constexpr char kSelfKillMarker[] = "RUNWARDEN_SELF_KILL_MARKER";

// A copy of this test program started by the test below runs only this: it ends every
// process of its own name, and then leaves a mark that it lived through it.
const bool kSelfKillHelper = [] {
  std::string marker = platform::GetEnv(kSelfKillMarker);
  if (marker.empty())
    return false;
  std::string own = platform::ModulePath();
  KillProcessByFile(own.substr(own.find_last_of('\\') + 1));
  platform::WriteWholeFile(marker, "alive");
  std::_Exit(0);
}();

}  // namespace

TEST(ProcessNameTest, OnlyTheWholeNameWithOrWithoutItsExtensionMatches) {
  EXPECT_TRUE(ProcessNameMatches("notepad.exe", "notepad.exe"));
  EXPECT_TRUE(ProcessNameMatches("notepad.exe", "NOTEPAD"));
  EXPECT_TRUE(ProcessNameMatches("NotePad.EXE", "notepad.exe"));
  EXPECT_TRUE(ProcessNameMatches("my.tool.exe", "my.tool"));
  EXPECT_FALSE(ProcessNameMatches("notepad.exe", "note"));
  EXPECT_FALSE(ProcessNameMatches("explorer.exe", "e.exe"));
  EXPECT_FALSE(ProcessNameMatches("services.exe", "e"));
  EXPECT_FALSE(ProcessNameMatches("notepad.exe", "notepad.ex"));
  EXPECT_FALSE(ProcessNameMatches("notepad.exe", "C:\\Windows\\notepad.exe"));
  EXPECT_FALSE(ProcessNameMatches("notepad.exe", ""));
  EXPECT_FALSE(ProcessNameMatches(".exe", ""));
}

TEST(ProcessKillTest, EndsTheNamedProcessesAndSparesNamesThatMerelyContainIt) {
  TestFolder folder;
  ASSERT_NE(StartSleeper(folder.File("rwsleeper.exe")), 0u);
  ASSERT_NE(StartSleeper(folder.File("rwsleeper.exe")), 0u);
  ASSERT_NE(StartSleeper(folder.File("rwsleeperx.exe")), 0u);
  ASSERT_NE(StartSleeper(folder.File("xrwsleeper.exe")), 0u);
  ASSERT_TRUE(WaitUntil([] {
    return IsProcessRunning("rwsleeper.exe") && IsProcessRunning("rwsleeperx") &&
           IsProcessRunning("XRWSLEEPER.EXE");
  }));
  EXPECT_FALSE(IsProcessRunning("rwsleep"));
  EXPECT_FALSE(IsProcessRunning(""));

  KillProcessByFile("");
  KillProcessByFile("sleeper");
  KillProcessByFile("RWSLEEPER");
  EXPECT_TRUE(WaitUntil([] { return !IsProcessRunning("rwsleeper.exe"); }));
  EXPECT_TRUE(IsProcessRunning("rwsleeperx.exe"));
  EXPECT_TRUE(IsProcessRunning("xrwsleeper.exe"));

  KillProcessByFile("rwsleeperx.exe");
  KillProcessByFile("xrwsleeper");
  EXPECT_TRUE(WaitUntil(
      [] { return !IsProcessRunning("rwsleeperx.exe") && !IsProcessRunning("xrwsleeper.exe"); }));
}

// Two programs of one name in two folders: a path ends the process of that very file
// however it is written (quoted, in capitals, in its 8.3 form), never its namesake; a
// path naming this program's own executable ends nothing.
TEST(ProcessKillTest, APathEndsOnlyThatFilesProcess) {
  TestFolder folder;
  platform::CreateFolder(folder.File("first folder"));
  platform::CreateFolder(folder.File("second folder"));
  const std::string first = folder.File("first folder\\rwtwin.exe");
  const std::string second = folder.File("second folder\\rwtwin.exe");
  ASSERT_NE(StartSleeper(folder.File("first folder\\rwtwin.exe")), 0u);
  ASSERT_NE(StartSleeper(folder.File("second folder\\rwtwin.exe")), 0u);
  ASSERT_TRUE(WaitUntil([&] { return IsProcessRunning(first) && IsProcessRunning(second); }));
  EXPECT_FALSE(IsProcessRunning(folder.File("rwtwin.exe")));

  {
    ProgramLocation self(second);
    KillProcessByFile(second);
  }
  const std::string short_first = GetShortPath(first);
  ASSERT_FALSE(short_first.empty());
  KillProcessByFile("\"" + UpperCase(short_first) + "\"");
  EXPECT_TRUE(WaitUntil([&] { return !IsProcessRunning(first); }));
  EXPECT_TRUE(IsProcessRunning(second));
  EXPECT_TRUE(IsProcessRunning("rwtwin.exe"));

  KillProcessByFile(second);
  EXPECT_TRUE(WaitUntil([&] { return !IsProcessRunning(second); }));
}

// Asked to end its own name (a blocked file named like it, or a copy told to), the
// program ends the others of that name and goes on itself.
TEST(ProcessKillTest, TheProgramSparesItsOwnProcess) {
  TestFolder folder;
  const std::string name = "rwself" + std::to_string(platform::CurrentProcessId()) + ".exe";
  platform::CreateFolder(folder.File("other"));
  ASSERT_NE(StartSleeper(folder.File("other\\" + name)), 0u);
  ASSERT_TRUE(WaitUntil([&] { return IsProcessRunning(name); }));

  std::string bytes;
  ASSERT_TRUE(platform::ReadWholeFile(platform::ModulePath(), &bytes));
  std::string copy = folder.Write(name, bytes);
  MakeRunnable(copy);
  std::string marker = folder.File("alive.txt");
  {
    ScopedEnv helper(kSelfKillMarker, marker);
    ASSERT_NE(platform::StartProgram("\"" + copy + "\"", platform::StartWindow::kHidden), 0u);
  }
  auto marked = [&] { return platform::FileSize(marker) > 0; };
  WaitUntil(marked);  // a large program starts slowly
  EXPECT_TRUE(marked()) << "the program ended itself";
  EXPECT_TRUE(WaitUntil([&] { return !IsProcessRunning(name); })) << "the other one still runs";
  KillProcessByFile(name);
}
