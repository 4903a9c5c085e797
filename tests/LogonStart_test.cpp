// How Runwarden starts at every logon: the task's definition as text, and Enable and
// Disable on a Windows with a Task Scheduler, on Windows XP and with the service off.
// Under Wine the task goes to the prefix's real scheduler.
#include "guard/LogonStart.h"

#include <gtest/gtest.h>

#include "app/LaunchModes.h"
#include "app/Settings.h"
#include "guard/GuardLoop.h"
#include "main/ProgramModes.h"
#include "platform/tasks.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

using platform::TaskServiceForTesting;

// What each definition must say: a logon trigger for the group of users, with the highest
// rights there are, no time limit and no battery rule (the guard runs all session long),
// the program quoted and its folder as working folder; the guard two minutes late.
TEST(LogonTaskXml, SayWhenAndWhatTheyRunWithThePathAsXmlText) {
  const std::string exe = "C:\\R&D <new>\\Runwarden.exe";
  for (const LogonTask& task : {kScanTask, kGuardTask}) {
    const std::string xml = LogonTaskXml(task, exe);
    const bool guard = std::string(task.path) == kGuardTask.path;
    for (const std::string& part :
         {std::string("<LogonTrigger>"), std::string("<GroupId>S-1-5-32-545</GroupId>"),
          std::string("<RunLevel>HighestAvailable</RunLevel>"),
          std::string("<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>"),
          std::string("<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>"),
          std::string("<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>"),
          std::string("<Command>\"C:\\R&amp;D &lt;new&gt;\\Runwarden.exe\"</Command>"),
          std::string("<WorkingDirectory>C:\\R&amp;D &lt;new&gt;</WorkingDirectory>"),
          std::string("<Arguments>") + (guard ? "/s" : "/r") + "</Arguments>"})
      EXPECT_NE(xml.find(part), std::string::npos) << part;
    EXPECT_EQ(xml.find("<Delay>PT2M</Delay>") != std::string::npos, guard);
  }
}

class LogonStartTest : public ::testing::Test {
 protected:
  LogonStartTest() : program_(folder_.File("Runwarden.exe")) {
    AppExePath = folder_.File("Runwarden.exe");
    ForgetAutostart();
  }
  ~LogonStartTest() override {
    ForgetAutostart();
    AppExePath.clear();
  }
  static void ForgetAutostart() {
    DeleteRegValue(kRunKey, kAutostartValue);
    DeleteRegValue(kRunOnceKey, kAutostartValue);
  }
  static std::string Value(const char* key) { return ReadRegValue(key, kAutostartValue, "none"); }

  RegistrySandbox sandbox_;
  TestFolder folder_;
  ProgramLocation program_;
};

TEST_F(LogonStartTest, EnableRegistersTheTasksWhereThereAreAnyAndTheRunValueElsewhere) {
  struct Machine {
    const char* name;
    int version;
    TaskServiceForTesting service;
    bool task;
  };
  const Machine machines[] = {
      {"Vista and later", 6, TaskServiceForTesting::kReal, true},
      {"Windows XP", 5, TaskServiceForTesting::kReal, false},
      {"the Task Scheduler off", 6, TaskServiceForTesting::kUnavailable, false},
  };
  for (const Machine& machine : machines) {
    SCOPED_TRACE(machine.name);
    TaskSandbox tasks(machine.service);
    ScopedVersion version(machine.version);
    EXPECT_FALSE(LogonStartEnabled());
    // An earlier guard's early scan: the tasks start both runs, a value would run it twice.
    WriteRegValue(kRunOnceKey, kAutostartValue, AutostartCommand("/r"));

    ASSERT_TRUE(EnableLogonStart().ok());
    EXPECT_TRUE(LogonStartEnabled());
    EXPECT_EQ(TaskSandbox::Registered(), machine.task ? 2 : 0);
    EXPECT_EQ(Value(kRunKey), machine.task ? "none" : AutostartCommand("/s"));
    EXPECT_EQ(Value(kRunOnceKey), machine.task ? "none" : AutostartCommand("/r"));
    if (machine.task) {
      for (const LogonTask& task : kLogonTasks) {
        std::string registered;
        ASSERT_TRUE(platform::ReadTaskXml(task.path, &registered));
#ifdef _WIN32
        // Wine keeps the settings, not the trigger, principal and actions.
        EXPECT_NE(registered.find("<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>"),
                  std::string::npos);
#else
        EXPECT_EQ(registered, LogonTaskXml(task, AppExePath));
#endif
      }
      // A folder with a task in it stays.
      EXPECT_NE(platform::DeleteTaskFolder(kLogonTaskFolder), 0);
      EXPECT_EQ(TaskSandbox::Registered(), 2);
      // The guard leaves its values alone while the task starts it.
      KeepAutostartValues();
      EXPECT_EQ(Value(kRunKey), "none");
    }

    ASSERT_TRUE(DisableLogonStart().ok());
    EXPECT_FALSE(LogonStartEnabled());
    EXPECT_EQ(TaskSandbox::Registered(), 0);
    if (machine.task)  // their folder goes with them
      EXPECT_EQ(platform::DeleteTaskFolder(kLogonTaskFolder), platform::kTaskErrorNotFound);
    EXPECT_EQ(Value(kRunKey), "none");
    EXPECT_EQ(Value(kRunOnceKey), "none");
    KeepAutostartValues();
    EXPECT_EQ(Value(kRunKey), AutostartCommand("/s"));
    EXPECT_EQ(Value(kRunOnceKey), AutostartCommand("/r"));
    ForgetAutostart();
  }
}

TEST_F(LogonStartTest, AnotherCopysStartIsNotThisOneAndDisableLeavesItAlone) {
  TaskSandbox tasks;
  const std::string other = "C:\\Elsewhere\\Runwarden.exe";
  WriteRegValue(kRunKey, kAutostartValue, "\"" + other + "\" /s");
  WriteRegValue(kRunOnceKey, kAutostartValue, "\"" + other + "\" /r");
  EXPECT_FALSE(LogonStartEnabled());
  ASSERT_TRUE(DisableLogonStart().ok());
  EXPECT_EQ(Value(kRunKey), "\"" + other + "\" /s");
  EXPECT_EQ(Value(kRunOnceKey), "\"" + other + "\" /r");
#ifndef _WIN32
  // Only a scheduler that keeps the actions can tell whose a task is.
  for (const LogonTask& task : kLogonTasks)
    ASSERT_EQ(platform::RegisterTask(task.path, LogonTaskXml(task, other)), 0);
  ASSERT_EQ(platform::RegisterTask(kOldLogonTaskPath, LogonTaskXml(kGuardTask, other)), 0);
  EXPECT_FALSE(LogonStartEnabled());
  ASSERT_TRUE(DisableLogonStart().ok());
  EXPECT_EQ(TaskSandbox::Registered(), 2);
  EXPECT_TRUE(platform::TaskExists(kOldLogonTaskPath));
  ASSERT_TRUE(EnableLogonStart().ok());
  EXPECT_TRUE(LogonStartEnabled());
  // Wine's keeps none: there the registration alone counts.
  platform::SetTaskServiceForTesting(TaskServiceForTesting::kLikeWine);
  ASSERT_EQ(platform::RegisterTask(kGuardTask.path, LogonTaskXml(kGuardTask, other)), 0);
  EXPECT_TRUE(LogonStartEnabled());
#endif
}

// The one task of the build before, which ran the guard at once after the early scan: it
// counts as the start at logon until Enable or the guard's own start replaces it with the
// two, and Disable removes it.
TEST_F(LogonStartTest, TheEarlierOneTaskIsReplacedByEnableOrTheGuardAndRemovedByDisable) {
  TaskSandbox tasks;
  struct Step {
    const char* name;
    void (*run)();
    int tasks_after;
  };
  const Step steps[] = {
      {"Enable", [] { EXPECT_TRUE(EnableLogonStart().ok()); }, 2},
      {"the guard's start", KeepAutostartValues, 2},
      {"Disable", [] { EXPECT_TRUE(DisableLogonStart().ok()); }, 0},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    ASSERT_EQ(platform::RegisterTask(kOldLogonTaskPath, LogonTaskXml(kGuardTask, AppExePath)), 0);
    EXPECT_TRUE(LogonStartEnabled());
    step.run();
    EXPECT_FALSE(platform::TaskExists(kOldLogonTaskPath));
    EXPECT_EQ(TaskSandbox::Registered(), step.tasks_after);
    EXPECT_EQ(LogonStartEnabled(), step.tasks_after > 0);
    EXPECT_EQ(Value(kRunKey), "none");
    EXPECT_EQ(Value(kRunOnceKey), "none");
    ASSERT_TRUE(DisableLogonStart().ok());
    EXPECT_EQ(platform::DeleteTaskFolder(kLogonTaskFolder), platform::kTaskErrorNotFound);
  }
}

// What the setup, the uninstaller and the options window's elevated copy run: one step
// each, nothing shown, the status as exit code and a failure in errlog.log.
TEST_F(LogonStartTest, TheOneStepSwitchesGiveTheirStatusAndLogAFailure) {
  TaskSandbox tasks;
  WriteRegValue(kSettingsKey, "Allowed", "<#>C:\\a.exe<#>AA");
  int exit_code = -1;
  EXPECT_EQ(Main("/enable", RunwardenModes(), &exit_code), MainOutcome::kEndAtOnce);
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(TaskSandbox::Registered(), 2);
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Unload", ""), "0");
  Main("/disable", RunwardenModes(), &exit_code);
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(TaskSandbox::Registered(), 0);
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Unload", ""), "1");

  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, true);
  Main("/resetrules", RunwardenModes(), &exit_code);
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, false);
  EXPECT_EQ(exit_code, 5);
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Allowed", ""), "<#>C:\\a.exe<#>AA");
  EXPECT_NE(folder_.Read("errlog.log")
                .find("The rules could not be deleted (access denied: administrator rights are "
                      "needed)"),
            std::string::npos);
  platform::SetTaskServiceForTesting(TaskServiceForTesting::kRefusing);
  Main("/enable", RunwardenModes(), &exit_code);
  EXPECT_EQ(exit_code, 5);
  EXPECT_NE(folder_.Read("errlog.log")
                .find("Runwarden could not be enabled: the guard's logon task could not be "
                      "registered (access denied: administrator rights are needed)"),
            std::string::npos);
  EXPECT_FALSE(LogonStartEnabled());
  Main("/resetrules", RunwardenModes(), &exit_code);
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Allowed", "?"), "");
  // Without a Task Scheduler the Run value is the step that can fail.
  ScopedVersion xp(5);
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, true);
  LogonStartResult result = EnableLogonStart();
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, false);
  EXPECT_EQ(result.status, 5);
  EXPECT_EQ(result.step, "the Run value could not be written");
  EXPECT_EQ(Value(kRunKey), "none");
}

}  // namespace
