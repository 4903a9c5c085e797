// Scheduled tasks as autostart entries: what the Task Scheduler keeps of a task (under
// Wine its real service, which drops triggers and actions), which tasks are Windows' own,
// and, where the service keeps triggers (the portable store), a logon task's whole life:
// listed, muted, put back, allowed, blocked with its definition, registered again.
#include "guard/TaskEntries.h"

#include <gtest/gtest.h>

#include "app/Settings.h"
#include "app/TextFunctions.h"
#include "guard/BlockedBackups.h"
#include "guard/ListKey.h"
#include "guard/Locations.h"
#include "guard/Md2.h"
#include "guard/OwnBackups.h"
#include "guard/RuleLists.h"
#include "guard/Scan.h"
#include "platform/files.h"
#include "registry/Registry.h"
#include "support/ScanMachine.h"

namespace {

using platform::ScheduledTask;
using platform::TaskExec;

std::string Escaped(const std::string& text) {
  std::string xml;
  for (char c : text)
    xml += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
  return xml;
}

// A definition as schtasks /xml takes it: Trigger ("LogonTrigger", "BootTrigger",
// "CalendarTrigger") and the Exec actions.
std::string TaskXml(const std::string& trigger, const std::vector<TaskExec>& execs) {
  std::string actions;
  for (const TaskExec& exec : execs)
    actions += "    <Exec>\n      <Command>" + Escaped(exec.path) + "</Command>\n" +
               (exec.arguments.empty()
                    ? ""
                    : "      <Arguments>" + Escaped(exec.arguments) + "</Arguments>\n") +
               "    </Exec>\n";
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
         "  <Triggers>\n    <" +
         trigger + ">\n      <Enabled>true</Enabled>\n    </" + trigger +
         ">\n  </Triggers>\n"
         "  <Settings>\n    <Enabled>true</Enabled>\n"
         "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\n  </Settings>\n"
         "  <Actions Context=\"Author\">\n" +
         actions + "  </Actions>\n</Task>\n";
}

// Writes a file of the machine, with the folders it lies in.
std::string Plant(const ScanMachine& machine, const std::string& name) {
  for (std::string::size_type cut = name.find('\\'); cut != std::string::npos;
       cut = name.find('\\', cut + 1))
    platform::CreateFolder(machine.folder().File(name.substr(0, cut)));
  return machine.folder().Write(name, "MZ " + name);
}

std::string SettingsOf(const std::string& xml) {
  std::string::size_type begin = xml.find("<Settings>"), end = xml.find("</Settings>");
  return begin == std::string::npos || end == std::string::npos ? ""
                                                                : xml.substr(begin, end - begin);
}

}  // namespace

// Under Wine too (its real service, which drops triggers and actions and takes a change
// of the enabled state without keeping it) a task's registration and settings are kept,
// read back, deleted and registered again from what was read. What the portable store
// keeps besides, as Windows does, a task's life below shows.
TEST(TaskSchedulerTest, KeepsTheRegistrationAndSettingsThroughDeleteAndRegisterAgain) {
  TaskSandbox tasks;
  const std::string path = "\\Runwarden Test\\Updater";
  ASSERT_EQ(tasks.Plant(path, TaskXml("LogonTrigger", {{"C:\\upd.exe", "/bg"}})), 0);
  bool enabled = false;
  EXPECT_TRUE(platform::ReadTaskEnabled(path, &enabled));
  EXPECT_TRUE(enabled);
  EXPECT_EQ(platform::EnableTask(path, false), 0);
  EXPECT_EQ(platform::EnableTask(path + " gone", true), platform::kTaskErrorNotFound);
  std::string xml, again;
  ASSERT_TRUE(platform::ReadTaskXml(path, &xml));
  EXPECT_NE(SettingsOf(xml).find("<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>"),
            std::string::npos);
  EXPECT_EQ(platform::RestoreTask(path, xml), platform::kTaskErrorExists);
  ASSERT_EQ(platform::DeleteTask(path), 0);
  EXPECT_FALSE(platform::TaskExists(path));
  ASSERT_EQ(platform::RestoreTask(path, xml), 0);
  ASSERT_TRUE(platform::ReadTaskXml(path, &again));
  EXPECT_EQ(SettingsOf(again), SettingsOf(xml));
}

// Windows' own tasks start at logon and boot by the dozen; what hides among them does not
// run Windows' own files only.
TEST(TaskEntriesTest, WindowsOwnTasksAreNoEntriesWhatHidesAmongThemIs) {
  ScanMachine machine;
  const std::string system32 = machine.Windir() + "\\system32";
  for (const char* file :
       {"usoclient.exe", "rundll32.exe", "themeui.dll", "wscript.exe", "gatherNetworkInfo.vbs",
        "cmd.exe", "sc.exe", "WindowsPowerShell\\v1.0\\powershell.exe", "wbem\\wmiprvse.exe"})
    Plant(machine, "windows\\system32\\" + std::string(file));
  std::string temp_evil = Plant(machine, "windows\\Temp\\evil.exe");
  std::string tasks_evil = Plant(machine, "windows\\Tasks\\evil.exe");
  std::string evil = Plant(machine, "programs\\evil.exe");
  std::string evil_dll = Plant(machine, "programs\\evil.dll");
  std::string evil_vbs = Plant(machine, "programs\\evil.vbs");
  const TaskExec uso = {"%windir%\\system32\\usoclient.exe", "StartScan"};

  struct Case {
    const char* path;
    std::vector<TaskExec> execs;
    bool own;
  };
  const Case cases[] = {
      {"\\Microsoft\\Windows\\UpdateOrchestrator\\Reboot", {uso}, true},
      {"\\Microsoft\\Windows\\Time Synchronization\\Sync",
       {{system32 + "\\sc.exe", "start w32time task_started"}},
       true},
      {"\\Microsoft\\Windows\\Shell\\ThemesSync",
       {{"%windir%\\system32\\rundll32.exe", "themeui.dll,ThemesSyncDownloadCall"}},
       true},
      {"\\Microsoft\\Windows\\NetTrace\\Gather",
       {{"%windir%\\system32\\wscript.exe", "%windir%\\system32\\gatherNetworkInfo.vbs"}},
       true},
      {"\\Microsoft\\Windows\\Wmi\\Provider", {{system32 + "\\wbem\\wmiprvse.exe", ""}}, true},
      {"\\Microsoft\\Windows\\Clean\\ComOnly", {}, true},
      // Hidden among them, running something else.
      {"\\Microsoft\\Windows\\UpdateOrchestrator\\Fake", {{evil, ""}}, false},
      {"\\Microsoft\\Windows\\Fake\\Temp", {{temp_evil, ""}}, false},
      {"\\Microsoft\\Windows\\Fake\\Tasks", {{tasks_evil, ""}}, false},
      {"\\Microsoft\\Windows\\Fake\\Climbs",
       {{system32 + "\\..\\..\\programs\\evil.exe", ""}},
       false},
      {"\\Microsoft\\Windows\\Fake\\Second", {uso, {evil, ""}}, false},
      {"\\Microsoft\\Windows\\Fake\\Encoded",
       {{"%windir%\\system32\\WindowsPowerShell\\v1.0\\powershell.exe", "-enc SQBFAFgA"}},
       false},
      {"\\Microsoft\\Windows\\Fake\\Chained",
       {{system32 + "\\cmd.exe", "/c " + system32 + "\\usoclient.exe & " + evil}},
       false},
      {"\\Microsoft\\Windows\\Fake\\Dll",
       {{system32 + "\\rundll32.exe", evil_dll + ",Run"}},
       false},
      {"\\Microsoft\\Windows\\Fake\\Script", {{system32 + "\\wscript.exe", evil_vbs}}, false},
      // Windows' files, but not in Windows' folder of tasks.
      {"\\Updater", {uso}, false},
      {"\\MicrosoftEdgeUpdateTaskMachineCore", {uso}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(IsWindowsOwnTask({c.path, true, true, c.execs}), c.own);
  }
}

TEST(TaskEntriesTest, LocationAndCommandNameTheTaskAndAllItRuns) {
  EXPECT_EQ(TaskLocation("\\Vendor\\Sub\\Updater"), "Task Scheduler\\Vendor\\Sub\\Updater");
  EXPECT_EQ(TaskPathOf("Task Scheduler\\Updater"), "\\Updater");
  EXPECT_EQ(TaskPathOf("Task Scheduler\\"), "");
  EXPECT_EQ(TaskPathOf("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"), "");
  EXPECT_EQ(TaskCommand({{"C:\\Program Files\\Up\\up.exe", "/c \"x y\""}}),
            "\"C:\\Program Files\\Up\\up.exe\" /c \"x y\"");
  const std::string two = TaskCommand({{"\"C:\\a.exe\"", ""}, {"", "ignored"}, {"b.exe", "-q"}});
  EXPECT_EQ(two, "\"C:\\a.exe\" & \"b.exe\" -q");
  EXPECT_TRUE(RunsSeveralPrograms({"T", two, "Task Scheduler\\T", kKindTask}));
  EXPECT_FALSE(RunsSeveralPrograms({"T", "\"C:\\a.exe\" -q", "Task Scheduler\\T", kKindTask}));
  EXPECT_FALSE(RunsSeveralPrograms({"T", two, "HKCU\\Run", kKindRegistry}));
}

// The portable store keeps triggers and actions as Windows does; Wine's service does not,
// so a task's life as an entry is shown here only.
#ifndef _WIN32
class TaskLifeTest : public ::testing::Test {
 protected:
  TaskLifeTest() { machine_.WriteRules("[Nothing]\r\nF=nothing.exe\r\n", ""); }
  ~TaskLifeTest() override {
    GuardMode = false;
    RunOnceMode = false;
  }
  void Scan(bool guard) {
    GuardMode = guard;
    RunOnceMode = !guard;
    ScanStartup(alert_.Windows());
  }
  // As the service lists the task now.
  static bool Enabled(const std::string& path) {
    for (const ScheduledTask& task : platform::ListScheduledTasks())
      if (task.path == path)
        return task.enabled;
    return false;
  }

  ScanMachine machine_;
  TaskSandbox tasks_;
  AlertStandIn alert_;
};

TEST_F(TaskLifeTest, ALogonTaskIsMutedPutBackAllowedBlockedAndRegisteredAgain) {
  // A name the definition holds escaped.
  std::string upd = machine_.Program("upd & co.exe", "MZ upd");
  std::string other = machine_.Program("other.exe", "MZ other");
  Plant(machine_, "windows\\system32\\usoclient.exe");
  const std::string updater = "\\Vendor\\Updater", pair = "\\Pair";
  const std::string updater_xml = TaskXml("LogonTrigger", {{upd, "/bg"}});
  ASSERT_EQ(tasks_.Plant(updater, updater_xml), 0);
  ASSERT_EQ(tasks_.Plant(pair, TaskXml("BootTrigger", {{upd, ""}, {other, ""}})), 0);
  // Not entries: Windows' own, a daily task, a disabled one, and Runwarden's own.
  ASSERT_EQ(tasks_.Plant("\\Microsoft\\Windows\\UpdateOrchestrator\\Reboot",
                         TaskXml("BootTrigger", {{"%windir%\\system32\\usoclient.exe", ""}})),
            0);
  ASSERT_EQ(tasks_.Plant("\\Daily", TaskXml("CalendarTrigger", {{upd, ""}})), 0);
  ASSERT_EQ(tasks_.Plant("\\Off", TaskXml("LogonTrigger", {{upd, ""}})), 0);
  ASSERT_EQ(platform::EnableTask("\\Off", false), 0);
  ASSERT_EQ(tasks_.Plant(kGuardTask.path, LogonTaskXml(kGuardTask, machine_.Program())), 0);

  const StartupEntry updater_entry = {"Updater", "\"" + upd + "\" /bg",
                                      "Task Scheduler\\Vendor\\Updater", kKindTask};
  const StartupEntry pair_entry = {"Pair", "\"" + upd + "\" & \"" + other + "\"",
                                   "Task Scheduler\\Pair", kKindTask};
  StartupEntryList entries = CollectStartupEntries();
  EXPECT_EQ(entries.size(), 3u);  // the two, and the guard's task, which the scan skips
  EXPECT_NE(std::find(entries.begin(), entries.end(), updater_entry), entries.end());
  EXPECT_NE(std::find(entries.begin(), entries.end(), pair_entry), entries.end());

  // The early scan disables both, and records them; the guard enables them again.
  Scan(false);
  EXPECT_TRUE(alert_.alerts.empty());
  EXPECT_FALSE(Enabled(updater));
  EXPECT_FALSE(Enabled(pair));
  EXPECT_TRUE(Enabled(kGuardTask.path));
  EXPECT_EQ(ReadRegValue(kMutedKey, updater_entry.Location, ""), updater);
  EXPECT_EQ(ValueNames(kMutedKey).size(), 2u);
  RestoreMutedEntries();
  EXPECT_TRUE(Enabled(updater));
  EXPECT_TRUE(Enabled(pair));
  EXPECT_TRUE(ValueNames(kMutedKey).empty());

  // Allowed by its program's digest; the pair by all it runs.
  alert_.answers = {{"Updater", Answer::kAllow}, {"Pair", Answer::kAllow}};
  Scan(true);
  ASSERT_EQ(alert_.alerts.size(), 2u);
  EXPECT_TRUE(alert_.alerts[0].entry == updater_entry || alert_.alerts[1].entry == updater_entry);
  // The portable store lists its tasks by path: the pair first.
  EXPECT_EQ(GetAllowedList(), "<#>" + LowerCase(upd) + "<#>" + CommandTextKey(pair_entry.Command) +
                                  "<#>" + LowerCase(upd) + "<#>" + Md2Hex("MZ upd"));
  // Another pair around the same first program is asked about.
  ASSERT_EQ(platform::RegisterTask(pair, TaskXml("BootTrigger", {{upd, ""}, {upd, "-x"}})), 0);
  alert_.alerts.clear();
  alert_.answers.clear();  // Block
  Scan(true);
  ASSERT_EQ(alert_.alerts.size(), 1u);
  EXPECT_FALSE(platform::TaskExists(pair));

  // Blocked for ever: its definition kept, the task deleted, and back from the backup.
  WriteRegValue(kSettingsKey, "Allowed", "");
  alert_.alerts.clear();
  alert_.answers = {{"Updater", Answer::kBlockForever}};
  Scan(true);
  EXPECT_FALSE(platform::TaskExists(updater));
  EXPECT_EQ(GetBlockedList(), "<#>" + LowerCase(upd) + "<#>" + Md2Hex("MZ upd"));
  std::vector<BlockedBackup> backups = ListBlockedBackups();
  ASSERT_EQ(backups.size(), 2u);  // the pair's and the updater's, newest first
  OwnBackup own;
  ASSERT_TRUE(ReadOwnBackup(backups[0].key, &own));
  EXPECT_EQ(own.kind, kBackupKindTask);
  EXPECT_EQ(own.task_path, updater);
  EXPECT_EQ(own.task_xml, updater_xml);
  EXPECT_EQ(own.location, updater_entry.Location);
  std::string problem;
  ASSERT_TRUE(RestoreBlockedBackup(backups[0], &problem)) << problem;
  std::string xml;
  ASSERT_TRUE(platform::ReadTaskXml(updater, &xml));
  EXPECT_EQ(xml, updater_xml);
  EXPECT_EQ(GetBlockedList(), "");
  EXPECT_EQ(ListBlockedBackups().size(), 1u);

  // A service that takes the change and keeps nothing (Wine's): the mute says it failed.
  platform::SetTaskServiceForTesting(platform::TaskServiceForTesting::kLikeWine);
  EXPECT_FALSE(MuteEntry(updater_entry, machine_.Pss()));
  EXPECT_TRUE(ValueNames(kMutedKey).empty());
  EXPECT_NE(machine_.ErrorLog().find("Cannot disable the task \\Vendor\\Updater: it stays enabled"),
            std::string::npos);
  platform::SetTaskServiceForTesting(platform::TaskServiceForTesting::kReal);

  // A muted task deleted before the guard runs: nothing to enable, its record goes.
  Scan(false);
  ASSERT_EQ(platform::DeleteTask(updater), 0);
  RestoreMutedEntries();
  EXPECT_TRUE(ValueNames(kMutedKey).empty());
  EXPECT_NE(machine_.ErrorLog().find("The muted task \\Vendor\\Updater is gone"),
            std::string::npos);
}
#endif
