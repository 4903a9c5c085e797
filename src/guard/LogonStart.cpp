#include "guard/LogonStart.h"

#include "app/Paths.h"
#include "app/LaunchModes.h"
#include "guard/GuardLoop.h"
#include "platform/system.h"
#include "platform/tasks.h"
#include "registry/Registry.h"

namespace {

// Element text: quotes may stand as they are.
std::string EscapeXml(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// The command as the task holds it: the path in quotes, so one with blanks is one name.
std::string TaskCommand(const std::string& exe_path) {
  return "<Command>" + EscapeXml("\"" + exe_path + "\"") + "</Command>";
}

std::string DelayElement(const LogonTask& task) {
  if (!*task.delay)
    return "";
  return "      <Delay>" + std::string(task.delay) + "</Delay>\n";
}

// Both forms this program's values have had: quoted, and unquoted from older versions.
bool StartsThisProgram(const std::string& command, const std::string& switch_text) {
  return command == AutostartCommand(switch_text) || command == AppExePath + " " + switch_text;
}

// Whether the task is there and starts this program (on a service that keeps no actions,
// whether it is there).
bool TaskStartsThisProgram(const char* path) {
  std::string xml;
  if (!platform::ReadTaskXml(path, &xml))
    return false;
  return xml.find("<Command>") == std::string::npos ||
         xml.find(TaskCommand(AppExePath)) != std::string::npos;
}

bool GuardStartedByTask() {
  return platform::MajorVersion() >= 6 &&
         (TaskStartsThisProgram(kGuardTask.path) || TaskStartsThisProgram(kOldLogonTaskPath));
}

long DeleteOwnValue(const char* key, const std::string& switch_text) {
  if (!StartsThisProgram(ReadRegValue(key, kAutostartValue, ""), switch_text))
    return 0;
  return DeleteRegValue(key, kAutostartValue);
}

}  // namespace

// The definition keeps the shape of the XML it makes.
// clang-format off
std::string LogonTaskXml(const LogonTask& task, const std::string& exe_path) {
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
         "  <RegistrationInfo>\n"
         "    <Author>Runwarden</Author>\n"
         "    <Description>" + std::string(task.description) + "</Description>\n"
         "  </RegistrationInfo>\n"
         "  <Triggers>\n"
         "    <LogonTrigger>\n"
         "      <Enabled>true</Enabled>\n" +
         DelayElement(task) +
         "    </LogonTrigger>\n"
         "  </Triggers>\n"
         "  <Principals>\n"
         "    <Principal id=\"Users\">\n"
         "      <GroupId>" + std::string(kUsersGroupSid) + "</GroupId>\n"
         "      <RunLevel>HighestAvailable</RunLevel>\n"
         "    </Principal>\n"
         "  </Principals>\n"
         "  <Settings>\n"
         "    <MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>\n"
         "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n"
         "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n"
         "    <AllowHardTerminate>true</AllowHardTerminate>\n"
         "    <StartWhenAvailable>false</StartWhenAvailable>\n"
         "    <Enabled>true</Enabled>\n"
         "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\n"
         "    <Priority>4</Priority>\n"
         "  </Settings>\n"
         "  <Actions Context=\"Users\">\n"
         "    <Exec>\n"
         "      " + TaskCommand(exe_path) + "\n"
         "      <Arguments>" + task.switch_text + "</Arguments>\n"
         "      <WorkingDirectory>" + EscapeXml(GetFolderPath(exe_path)) + "</WorkingDirectory>\n"
         "    </Exec>\n"
         "  </Actions>\n"
         "</Task>\n";
}
// clang-format on

bool LogonTaskPossible() {
  return platform::MajorVersion() >= 6 && platform::TaskSchedulerAvailable();
}

bool LogonStartEnabled() {
  return GuardStartedByTask() ||
         StartsThisProgram(ReadRegValue(kRunKey, kAutostartValue, ""), "/s");
}

LogonStartResult EnableLogonStart() {
  if (!LogonTaskPossible()) {
    long status = WriteRegValue(kRunKey, kAutostartValue, AutostartCommand("/s"));
    if (status != 0)
      return {status, "the Run value could not be written"};
    return {};
  }
  for (const LogonTask& task : kLogonTasks)
    if (long status = platform::RegisterTask(task.path, LogonTaskXml(task, AppExePath)))
      return {status, task.name + std::string(" could not be registered")};
  // Beside the two it would run a second early scan and guard, the guard at once.
  long status = platform::DeleteTask(kOldLogonTaskPath);
  if (status != 0 && status != platform::kTaskErrorNotFound)
    return {status, "the earlier logon task could not be removed"};
  // Otherwise a Run value would start a second guard, without the task's rights.
  for (auto [key, switch_text] : {std::pair{kRunKey, "/s"}, std::pair{kRunOnceKey, "/r"}})
    if (long status = DeleteOwnValue(key, switch_text))
      return {status, "the old Run values could not be removed"};
  return {};
}

LogonStartResult DisableLogonStart() {
  const std::pair<const char*, std::string> tasks[] = {
      {kScanTask.path, kScanTask.name},
      {kGuardTask.path, kGuardTask.name},
      {kOldLogonTaskPath, "the earlier logon task"},
  };
  bool removed = false;
  for (const auto& [path, name] : tasks) {
    if (!TaskStartsThisProgram(path))
      continue;
    long status = platform::DeleteTask(path);
    if (status != 0 && status != platform::kTaskErrorNotFound)
      return {status, name + " could not be removed"};
    removed = true;
  }
  if (removed)
    platform::DeleteTaskFolder(kLogonTaskFolder);  // only when nothing else is in it
  for (auto [key, switch_text] : {std::pair{kRunKey, "/s"}, std::pair{kRunOnceKey, "/r"}})
    if (long status = DeleteOwnValue(key, switch_text))
      return {status, "the Run values could not be removed"};
  return {};
}

void KeepAutostartValues() {
  // An earlier version's one task runs the guard at once, before Explorer has read what
  // the early scan set aside.
  if (platform::MajorVersion() >= 6 && TaskStartsThisProgram(kOldLogonTaskPath) &&
      !TaskStartsThisProgram(kGuardTask.path))
    EnableLogonStart();
  if (GuardStartedByTask())
    return;
  WriteRegValue(kRunOnceKey, kAutostartValue, AutostartCommand("/r"));
  WriteRegValue(kRunKey, kAutostartValue, AutostartCommand("/s"));
}
