// How Runwarden starts at every logon: the task's definition as text, and Enable and
// Disable on a Windows with a Task Scheduler, on Windows XP and with the service off.
// Under Wine the task goes to the prefix's real scheduler.
#include "guard/LogonStart.h"

#include <gtest/gtest.h>

#include "app/basMain.h"
#include "app/basSettings.h"
#include "guard/GuardLoop.h"
#include "main/ProgramModes.h"
#include "platform/tasks.h"
#include "registry/basReg.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

using platform::TaskServiceForTesting;

constexpr char kExpectedTask[] =
    R"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo>
    <Author>Runwarden</Author>
    <Description>Runwarden at every logon: the early scan (/r) sets new startup entries aside before they start, then the guard (/s) puts them back and asks about each.</Description>
  </RegistrationInfo>
  <Triggers>
    <LogonTrigger>
      <Enabled>true</Enabled>
    </LogonTrigger>
  </Triggers>
  <Principals>
    <Principal id="Users">
      <GroupId>S-1-5-32-545</GroupId>
      <RunLevel>HighestAvailable</RunLevel>
    </Principal>
  </Principals>
  <Settings>
    <MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>
    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>
    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>
    <AllowHardTerminate>true</AllowHardTerminate>
    <StartWhenAvailable>false</StartWhenAvailable>
    <Enabled>true</Enabled>
    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>
    <Priority>4</Priority>
  </Settings>
  <Actions Context="Users">
    <Exec>
      <Command>"C:\Program Files\Runwarden\Runwarden.exe"</Command>
      <Arguments>/r</Arguments>
      <WorkingDirectory>C:\Program Files\Runwarden</WorkingDirectory>
    </Exec>
    <Exec>
      <Command>"C:\Program Files\Runwarden\Runwarden.exe"</Command>
      <Arguments>/s</Arguments>
      <WorkingDirectory>C:\Program Files\Runwarden</WorkingDirectory>
    </Exec>
  </Actions>
</Task>
)";

TEST(LogonTaskXml, IsTheExpectedDefinitionWithThePathAsXmlText) {
  EXPECT_EQ(LogonTaskXml("C:\\Program Files\\Runwarden\\Runwarden.exe"), kExpectedTask);
  std::string odd = LogonTaskXml("C:\\R&D <new>\\Runwarden.exe");
  EXPECT_NE(odd.find("<Command>\"C:\\R&amp;D &lt;new&gt;\\Runwarden.exe\"</Command>"),
            std::string::npos);
  EXPECT_NE(odd.find("<WorkingDirectory>C:\\R&amp;D &lt;new&gt;</WorkingDirectory>"),
            std::string::npos);
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

TEST_F(LogonStartTest, EnableRegistersTheTaskWhereThereIsOneAndTheRunValueElsewhere) {
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
    // An earlier guard's early scan: the task starts both runs, a value would run it twice.
    WriteRegValue(kRunOnceKey, kAutostartValue, AutostartCommand("/r"));

    ASSERT_TRUE(EnableLogonStart().ok());
    EXPECT_TRUE(LogonStartEnabled());
    EXPECT_EQ(platform::TaskExists(kLogonTaskPath), machine.task);
    EXPECT_EQ(Value(kRunKey), machine.task ? "none" : AutostartCommand("/s"));
    EXPECT_EQ(Value(kRunOnceKey), machine.task ? "none" : AutostartCommand("/r"));
    std::string registered;
    if (machine.task) {
      ASSERT_TRUE(platform::ReadTaskXml(kLogonTaskPath, &registered));
#ifdef _WIN32
      // Wine keeps the settings, not the trigger, principal and actions.
      EXPECT_NE(registered.find("<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>"),
                std::string::npos);
#else
      EXPECT_EQ(registered, LogonTaskXml(AppExePath));
#endif
      // A folder with a task in it stays.
      EXPECT_NE(platform::DeleteTaskFolder(kLogonTaskFolder), 0);
      EXPECT_TRUE(platform::TaskExists(kLogonTaskPath));
      // The guard leaves its values alone while the task starts it.
      KeepAutostartValues();
      EXPECT_EQ(Value(kRunKey), "none");
    }

    ASSERT_TRUE(DisableLogonStart().ok());
    EXPECT_FALSE(LogonStartEnabled());
    EXPECT_FALSE(platform::TaskExists(kLogonTaskPath));
    if (machine.task)  // its folder goes with it
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
  ASSERT_EQ(platform::RegisterTask(kLogonTaskPath, LogonTaskXml(other)), 0);
  EXPECT_FALSE(LogonStartEnabled());
  ASSERT_TRUE(DisableLogonStart().ok());
  EXPECT_TRUE(platform::TaskExists(kLogonTaskPath));
  ASSERT_TRUE(EnableLogonStart().ok());
  EXPECT_TRUE(LogonStartEnabled());
  // Wine's keeps none: there the registration alone counts.
  platform::SetTaskServiceForTesting(TaskServiceForTesting::kLikeWine);
  ASSERT_EQ(platform::RegisterTask(kLogonTaskPath, LogonTaskXml(other)), 0);
  EXPECT_TRUE(LogonStartEnabled());
#endif
}

TEST_F(LogonStartTest, ARefusalSaysWhichStepFailedAndWhy) {
  {
    TaskSandbox tasks(TaskServiceForTesting::kRefusing);
    LogonStartResult result = EnableLogonStart();
    EXPECT_EQ(result.status, 5);
    EXPECT_EQ(result.step, "the logon task could not be registered");
    EXPECT_FALSE(LogonStartEnabled());
  }
  {
    ScopedVersion xp(5);
    platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, true);
    LogonStartResult result = EnableLogonStart();
    platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, false);
    EXPECT_EQ(result.status, 5);
    EXPECT_EQ(result.step, "the Run value could not be written");
    EXPECT_EQ(Value(kRunKey), "none");
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
  EXPECT_TRUE(platform::TaskExists(kLogonTaskPath));
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Unload", ""), "0");
  Main("/disable", RunwardenModes(), &exit_code);
  EXPECT_EQ(exit_code, 0);
  EXPECT_FALSE(platform::TaskExists(kLogonTaskPath));
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
                .find("Runwarden could not be enabled: the logon task could not be registered "
                      "(access denied: administrator rights are needed)"),
            std::string::npos);
  Main("/resetrules", RunwardenModes(), &exit_code);
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Allowed", "?"), "");
}

}  // namespace
