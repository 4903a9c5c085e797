#include "guard/LogonStart.h"

#include "app/basFileFunctions.h"
#include "app/basMain.h"
#include "guard/GuardLoop.h"
#include "platform/system.h"
#include "platform/tasks.h"
#include "registry/basReg.h"

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

// The definitions keep the shape of the XML they make.
// clang-format off
std::string ExecAction(const std::string& exe_path, const std::string& switch_text) {
  return "    <Exec>\n"
         "      " + TaskCommand(exe_path) + "\n"
         "      <Arguments>" + switch_text + "</Arguments>\n"
         "      <WorkingDirectory>" + EscapeXml(GetFolderPath(exe_path)) + "</WorkingDirectory>\n"
         "    </Exec>\n";
}
// clang-format on

// Both forms this program's values have had: quoted, and unquoted from older versions.
bool StartsThisProgram(const std::string& command, const std::string& switch_text) {
  return command == AutostartCommand(switch_text) || command == AppExePath + " " + switch_text;
}

long DeleteOwnValue(const char* key, const std::string& switch_text) {
  if (!StartsThisProgram(ReadRegValue(key, kAutostartValue, ""), switch_text))
    return 0;
  return DeleteRegValue(key, kAutostartValue);
}

}  // namespace

// clang-format off
std::string LogonTaskXml(const std::string& exe_path) {
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
         "  <RegistrationInfo>\n"
         "    <Author>Runwarden</Author>\n"
         "    <Description>Runwarden at every logon: the early scan (/r) sets new startup "
         "entries aside before they start, then the guard (/s) puts them back and asks about "
         "each.</Description>\n"
         "  </RegistrationInfo>\n"
         "  <Triggers>\n"
         "    <LogonTrigger>\n"
         "      <Enabled>true</Enabled>\n"
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
         "  <Actions Context=\"Users\">\n" +
         ExecAction(exe_path, "/r") + ExecAction(exe_path, "/s") +
         "  </Actions>\n"
         "</Task>\n";
}
// clang-format on

bool LogonTaskPossible() {
  return platform::MajorVersion() >= 6 && platform::TaskSchedulerAvailable();
}

bool LogonTaskStartsThisProgram() {
  std::string xml;
  if (!platform::ReadTaskXml(kLogonTaskPath, &xml))
    return false;
  return xml.find("<Command>") == std::string::npos ||
         xml.find(TaskCommand(AppExePath)) != std::string::npos;
}

bool LogonStartEnabled() {
  return (platform::MajorVersion() >= 6 && LogonTaskStartsThisProgram()) ||
         StartsThisProgram(ReadRegValue(kRunKey, kAutostartValue, ""), "/s");
}

LogonStartResult EnableLogonStart() {
  if (!LogonTaskPossible()) {
    long status = WriteRegValue(kRunKey, kAutostartValue, AutostartCommand("/s"));
    if (status != 0)
      return {status, "the Run value could not be written"};
    return {};
  }
  if (long status = platform::RegisterTask(kLogonTaskPath, LogonTaskXml(AppExePath)))
    return {status, "the logon task could not be registered"};
  // Otherwise a Run value would start a second guard, without the task's rights.
  for (auto [key, switch_text] : {std::pair{kRunKey, "/s"}, std::pair{kRunOnceKey, "/r"}})
    if (long status = DeleteOwnValue(key, switch_text))
      return {status, "the old Run values could not be removed"};
  return {};
}

LogonStartResult DisableLogonStart() {
  if (LogonTaskStartsThisProgram()) {
    long status = platform::DeleteTask(kLogonTaskPath);
    if (status != 0 && status != platform::kTaskErrorNotFound)
      return {status, "the logon task could not be removed"};
    platform::DeleteTaskFolder(kLogonTaskFolder);  // only when nothing else is in it
  }
  for (auto [key, switch_text] : {std::pair{kRunKey, "/s"}, std::pair{kRunOnceKey, "/r"}})
    if (long status = DeleteOwnValue(key, switch_text))
      return {status, "the Run values could not be removed"};
  return {};
}

void KeepAutostartValues() {
  if (platform::MajorVersion() >= 6 && LogonTaskStartsThisProgram())
    return;
  WriteRegValue(kRunOnceKey, kAutostartValue, AutostartCommand("/r"));
  WriteRegValue(kRunKey, kAutostartValue, AutostartCommand("/s"));
}
