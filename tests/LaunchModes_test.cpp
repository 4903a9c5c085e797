#include "app/LaunchModes.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/AppInfo.h"
#include "app/Ini.h"
#include "platform/window.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

// Whatever the path looks like (quoted or not, any case, short form, a folder named like
// the program, or the name alone), the text after it is the argument.
TEST(CommandArgumentTextTest, EverythingAfterTheProgramsOwnPath) {
  const std::string exe = "C:\\Program Files\\Runwarden x\\Runwarden y\\Runwarden.exe";
  const std::string short_exe = "C:\\PROGRA~1\\RUNWAR~1\\RUNWAR~2\\RUNWAR~1.EXE";
  const struct {
    std::string command, argument;
  } cases[] = {
      {exe + " /s", "/s"},
      {"\"" + exe + "\" notepad.exe", "notepad.exe"},
      {"C:\\PROGRAM FILES\\RUNWARDEN X\\RUNWARDEN Y\\RUNWARDEN.EXE /s", "/s"},
      {exe + "   ", ""},
      {"\"" + exe + "\"", ""},
      {"Runwarden.exe   /S", "/S"},
      {"Runwarden notepad.exe", "notepad.exe"},
      {"c:\\progra~1\\runwar~1\\runwar~2\\runwar~1.exe /r", "/r"},
      {"\"" + short_exe + "\" notepad.exe", "notepad.exe"},
      {short_exe, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CommandArgumentText(c.command, exe, short_exe), c.argument) << c.command;
  // A short path it is not told of ends at the first blank.
  EXPECT_EQ(CommandArgumentText(short_exe + " /s", exe), "/s");
}

struct Recorded {
  std::vector<std::string> calls;
};

class MainTest : public ::testing::Test {
 protected:
  MainTest() {
    modes_.show_options = [this] { recorded_.calls.push_back("options"); };
    modes_.start_guard = [this] { recorded_.calls.push_back("guard"); };
    modes_.scan_once = [this] { recorded_.calls.push_back("scan once"); };
    modes_.terminate_processes = [this](const std::string& text) {
      recorded_.calls.push_back("terminate " + text);
    };
    auto action = [this](const char* name, int status) {
      return [this, name, status] {
        recorded_.calls.push_back(name);
        return status;
      };
    };
    modes_.enable = action("enable", 0);
    modes_.enable_and_start = action("enable and start", 0);
    modes_.disable = action("disable", 5);
    modes_.reset_rules = action("reset rules", 0);
    modes_.show_blocked_entries = [this] { recorded_.calls.push_back("blocked entries"); };
  }

  RegistrySandbox sandbox_;
  TestFolder folder_;
  ProgramModes modes_;
  Recorded recorded_;
  MessageBoxRecorder boxes_;
};

TEST_F(MainTest, DispatchesEachModeAndEndsAtOnceWhereItMust) {
  ProgramLocation program(folder_.File("Runwarden.exe"));
  struct Case {
    const char* argument;
    const char* call;
    MainOutcome outcome;
    int exit_code;
  } cases[] = {
      {"", "options", MainOutcome::kReturn, 0},
      {"/options", "options", MainOutcome::kReturn, 0},
      {"/s", "guard", MainOutcome::kReturn, 0},
      {"/scan", "guard", MainOutcome::kReturn, 0},
      {"/start", "guard", MainOutcome::kReturn, 0},
      {"/r", "scan once", MainOutcome::kEndAtOnce, 0},
      {"/runonce", "scan once", MainOutcome::kEndAtOnce, 0},
      {"/once", "scan once", MainOutcome::kEndAtOnce, 0},
      // Only whole switches in their case count: anything else names processes to end.
      {"notepad.exe", "terminate notepad.exe", MainOutcome::kEndAtOnce, 0},
      {"/S", "terminate /S", MainOutcome::kEndAtOnce, 0},
      {" /s", "terminate  /s", MainOutcome::kEndAtOnce, 0},
      {"/s x", "terminate /s x", MainOutcome::kEndAtOnce, 0},
      {"/Options", "terminate /Options", MainOutcome::kEndAtOnce, 0},
      // One action each; the status is the exit code.
      {"/enable", "enable", MainOutcome::kEndAtOnce, 0},
      {"/enable /s", "enable and start", MainOutcome::kEndAtOnce, 0},
      {"/disable", "disable", MainOutcome::kEndAtOnce, 5},
      {"/resetrules", "reset rules", MainOutcome::kEndAtOnce, 0},
      {"/blocked", "blocked entries", MainOutcome::kReturn, 0},
      {"/enable ", "terminate /enable ", MainOutcome::kEndAtOnce, 0},
      {"/Disable", "terminate /Disable", MainOutcome::kEndAtOnce, 0},
  };
  for (const Case& c : cases) {
    recorded_.calls.clear();
    int exit_code = -1;
    EXPECT_EQ(Main(c.argument, modes_, &exit_code), c.outcome) << c.argument;
    EXPECT_EQ(recorded_.calls, std::vector<std::string>{c.call}) << c.argument;
    EXPECT_EQ(exit_code, c.exit_code) << c.argument;
  }
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(AppExePath, folder_.File("Runwarden.exe"));
}

TEST_F(MainTest, AProgramInTheRootOfADriveSaysSoAndEnds) {
  ProgramLocation program("C:\\Runwarden.exe");
  EXPECT_EQ(Main("", modes_), MainOutcome::kEndAtOnce);
  EXPECT_TRUE(recorded_.calls.empty());
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].style, platform::kMbOk | platform::kMbIconInformation);
  EXPECT_EQ(boxes_[0].text,
            "Please save this executable in a folder, not in the root of a drive to function "
            "properly!");
  EXPECT_EQ(AppExePath, "C:\\Runwarden.exe");
  EXPECT_EQ(AppFolder(), "C:\\");
  EXPECT_EQ(AppFile("log.log"), "C:\\log.log");

  boxes_.clear();
  EXPECT_EQ(Main("/options", modes_), MainOutcome::kReturn);
  EXPECT_EQ(Main("/s", modes_), MainOutcome::kReturn);
  EXPECT_EQ(recorded_.calls, (std::vector<std::string>{"options", "guard"}));
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(MainTest, TheInstalledMarkerIsWrittenOnlyWhenItDiffers) {
  ProgramLocation program(folder_.File("Runwarden.exe"));
  Main("/s", modes_);
  EXPECT_EQ(GetIniValue(folder_.File("ver.ini"), "Installed", "Runwarden.exe", ""), VersionText());

  // Equal already: the file is left exactly as it is (a rewrite would drop the blanks).
  std::string kept = "[Installed]\r\nRunwarden.exe =   " + VersionText() + "\r\n";
  folder_.Write("ver.ini", kept);
  Main("/s", modes_);
  EXPECT_EQ(folder_.Read("ver.ini"), kept);
}

}  // namespace
