#include "guard/ProcessKill.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/TextFunctions.h"
#include "app/ShortPath.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

// A program that just waits: our helper beside the tests on Windows, sleep(1) here.
std::string SleeperSource() {
#ifdef _WIN32
  std::string tests = platform::ModulePath();
  return tests.substr(0, tests.find_last_of('\\')) + "\\rwsleeper.exe";
#else
  return "C:\\bin\\sleep";
#endif
}

// Copies the sleeper under Name into Folder and starts it.
uint32_t StartSleeper(const TestFolder& folder, const std::string& name) {
  std::string path = folder.File(name);
  // A running program cannot be overwritten: a second copy of a name reuses the file.
  if (platform::FileSize(path) < 0) {
    std::string bytes;
    EXPECT_TRUE(platform::ReadWholeFile(SleeperSource(), &bytes)) << SleeperSource();
    folder.Write(name, bytes);
  }
#ifndef _WIN32
  std::string host = "chmod +x '" + path.substr(2) + "'";
  for (char& c : host)
    if (c == '\\') c = '/';
  EXPECT_EQ(std::system(host.c_str()), 0);
#endif
  return platform::StartProgram("\"" + path + "\" 60", platform::StartWindow::kHidden);
}

// Waits up to ten seconds for the condition.
template <class Condition>
bool WaitFor(Condition condition) {
  for (int i = 0; i < 200; ++i) {
    if (condition()) return true;
    platform::Sleep(50);
  }
  return condition();
}

constexpr char kSelfKillMarker[] = "RUNWARDEN_SELF_KILL_MARKER";

// A copy of this test program started by the test below runs only this: it ends every
// process of its own name, and then leaves a mark that it lived through it.
const bool kSelfKillHelper = [] {
  std::string marker = platform::GetEnv(kSelfKillMarker);
  if (marker.empty()) return false;
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
  ASSERT_NE(StartSleeper(folder, "rwsleeper.exe"), 0u);
  ASSERT_NE(StartSleeper(folder, "rwsleeper.exe"), 0u);
  ASSERT_NE(StartSleeper(folder, "rwsleeperx.exe"), 0u);
  ASSERT_NE(StartSleeper(folder, "xrwsleeper.exe"), 0u);
  ASSERT_TRUE(WaitFor([] {
    return IsProcessRunning("rwsleeper.exe") && IsProcessRunning("rwsleeperx") &&
           IsProcessRunning("XRWSLEEPER.EXE");
  }));
  EXPECT_FALSE(IsProcessRunning("rwsleep"));
  EXPECT_FALSE(IsProcessRunning(""));

  KillProcessByFile("");
  KillProcessByFile("sleeper");
  KillProcessByFile("RWSLEEPER");
  EXPECT_TRUE(WaitFor([] { return !IsProcessRunning("rwsleeper.exe"); }));
  EXPECT_TRUE(IsProcessRunning("rwsleeperx.exe"));
  EXPECT_TRUE(IsProcessRunning("xrwsleeper.exe"));

  KillProcessByFile("rwsleeperx.exe");
  KillProcessByFile("xrwsleeper");
  EXPECT_TRUE(WaitFor([] {
    return !IsProcessRunning("rwsleeperx.exe") && !IsProcessRunning("xrwsleeper.exe");
  }));
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
  ASSERT_NE(StartSleeper(folder, "first folder\\rwtwin.exe"), 0u);
  ASSERT_NE(StartSleeper(folder, "second folder\\rwtwin.exe"), 0u);
  ASSERT_TRUE(WaitFor([&] { return IsProcessRunning(first) && IsProcessRunning(second); }));
  EXPECT_FALSE(IsProcessRunning(folder.File("rwtwin.exe")));

  {
    ProgramLocation self(second);
    KillProcessByFile(second);
  }
  const std::string short_first = GetShortPath(first);
  ASSERT_FALSE(short_first.empty());
  KillProcessByFile("\"" + UpperCase(short_first) + "\"");
  EXPECT_TRUE(WaitFor([&] { return !IsProcessRunning(first); }));
  EXPECT_TRUE(IsProcessRunning(second));
  EXPECT_TRUE(IsProcessRunning("rwtwin.exe"));

  KillProcessByFile(second);
  EXPECT_TRUE(WaitFor([&] { return !IsProcessRunning(second); }));
}

// Asked to end its own name (a blocked file named like it, or a copy told to), the
// program ends the others of that name and goes on itself.
TEST(ProcessKillTest, TheProgramSparesItsOwnProcess) {
  TestFolder folder;
  const std::string name = "rwself" + std::to_string(platform::CurrentProcessId()) + ".exe";
  platform::CreateFolder(folder.File("other"));
  ASSERT_NE(StartSleeper(folder, "other\\" + name), 0u);
  ASSERT_TRUE(WaitFor([&] { return IsProcessRunning(name); }));

  std::string bytes;
  ASSERT_TRUE(platform::ReadWholeFile(platform::ModulePath(), &bytes));
  std::string copy = folder.Write(name, bytes);
#ifndef _WIN32
  std::string host = "chmod +x '" + copy.substr(2) + "'";
  for (char& c : host)
    if (c == '\\') c = '/';
  ASSERT_EQ(std::system(host.c_str()), 0);
#endif
  std::string marker = folder.File("alive.txt");
  {
    ScopedEnv helper(kSelfKillMarker, marker);
    ASSERT_NE(platform::StartProgram("\"" + copy + "\"", platform::StartWindow::kHidden), 0u);
  }
  auto marked = [&] { return platform::FileSize(marker) > 0; };
  for (int i = 0; i < 6 && !marked(); ++i) WaitFor(marked);  // a large program starts slowly
  EXPECT_TRUE(marked()) << "the program ended itself";
  EXPECT_TRUE(WaitFor([&] { return !IsProcessRunning(name); })) << "the other one still runs";
  KillProcessByFile(name);
}
