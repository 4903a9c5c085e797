#include "guard/TaskEntries.h"

#include "app/Rights.h"
#include "app/TextFunctions.h"
#include "guard/ListKey.h"
#include "guard/OwnBackups.h"
#include "guard/CommandResolution.h"
#include "platform/files.h"
#include "platform/system.h"
#include "registry/Registry.h"

namespace {

// A clean Windows 10/11 holds dozens of tasks under \Microsoft\Windows\ that start at
// logon or at boot; asking about them would teach the user to press Allow. So a task is
// Windows' own by where it is and what it runs together: under \Microsoft\, and only
// programs of the Windows folder, which only administrators and Windows itself can write.
// An attacker hides a task there (ATT&CK T1053.005: named like Windows' own) but then
// runs a program of his own (in a profile, ProgramData, Temp), a script host with a
// command or a script of his own, or a file in one of the folders of the Windows folder
// that any user can write; each of these makes the task an entry. What it cannot catch:
// one with an administrator's rights who puts his program into System32 itself.
const char* const kWritableWindowsFolders[] = {
    "temp",
    "tasks",
    "tracing",
    "debug",
    "registration\\crmlog",
    "system32\\tasks",
    "syswow64\\tasks",
    "system32\\spool",
    "system32\\com\\dmp",
    "syswow64\\com\\dmp",
    "system32\\fxstmp",
    "syswow64\\fxstmp",
    "system32\\microsoft\\crypto\\rsa\\machinekeys",
    "syswow64\\microsoft\\crypto\\rsa\\machinekeys",
};

constexpr char kActionSeparator[] = " & ";

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

// Lower case, the 8.3 names made long, one trailing backslash.
std::string FolderForm(const std::string& folder) {
  std::string form = LowerCase(platform::LongPathName(folder));
  if (!form.empty() && form.back() != '\\')
    form += '\\';
  return form;
}

// A file of the Windows folder that only the system and administrators can write. A
// path that climbs out again ("..") or names a stream is none.
bool IsProtectedWindowsFile(const std::string& file) {
  std::string windir = FolderForm(platform::GetEnv("windir"));
  std::string path = LowerCase(platform::LongPathName(file));
  if (windir.size() < 2 || path.find("\\..") != std::string::npos ||
      path.find("\\.\\") != std::string::npos || path.find(':', 2) != std::string::npos ||
      !StartsWith(path, windir) || path.size() == windir.size())
    return false;
  for (const char* writable : kWritableWindowsFolders)
    if (StartsWith(path, windir + writable + "\\"))
      return false;
  return true;
}

// What one action runs: the program, and for a script host the script or DLL it is told
// to run (none when its command runs anything else, say a command text).
bool RunsOnlyWindowsFiles(const platform::TaskExec& exec) {
  std::string command = TaskCommand({exec});
  std::string file = ResolveCommandFile(command);
  if (!IsProtectedWindowsFile(file))
    return false;
  if (ScriptHostOf(command, file).empty())
    return true;
  ListRecord record = ListRecordOf(command, file, "", false);
  return record.key != CommandTextKey(command) && IsProtectedWindowsFile(record.file);
}

std::string TaskName(const std::string& task_path) {
  std::string::size_type cut = task_path.find_last_of('\\');
  return cut == std::string::npos ? task_path : task_path.substr(cut + 1);
}

bool WriteAndVerify(const std::string& key, const std::string& name, const std::string& text) {
  platform::RegData data{platform::kRegSz, text + '\0'};
  if (WriteRegRaw(key, name, data) != platform::kErrorSuccess)
    return false;
  platform::RegData back;
  return ReadRegRaw(key, name, &back) && back == data;
}

// Unreadable counts as enabled: a task is muted only when it is known to be disabled.
bool IsEnabled(const std::string& path) {
  bool enabled = true;
  return !platform::ReadTaskEnabled(path, &enabled) || enabled;
}

}  // namespace

std::string TaskLocation(const std::string& task_path) {
  return kTaskLocationRoot + task_path;
}

std::string TaskPathOf(const std::string& location) {
  const std::string root = std::string(kTaskLocationRoot) + "\\";
  if (!StartsWith(location, root) || location.size() == root.size())
    return "";
  return location.substr(root.size() - 1);
}

std::string TaskCommand(const std::vector<platform::TaskExec>& execs) {
  std::string command;
  for (const platform::TaskExec& exec : execs) {
    if (exec.path.empty())
      continue;
    if (!command.empty())
      command += kActionSeparator;
    // Quoted, a program path with blanks is one name whatever follows it.
    command += exec.path.front() == '"' ? exec.path : "\"" + exec.path + "\"";
    if (!exec.arguments.empty())
      command += " " + exec.arguments;
  }
  return command;
}

bool RunsSeveralPrograms(const StartupEntry& entry) {
  // Every program is quoted, so a second one begins with the separator and a quote; an
  // argument that looks so too only makes the key stricter.
  return entry.Kind == kKindTask &&
         entry.Command.find(std::string(kActionSeparator) + "\"") != std::string::npos;
}

bool IsWindowsOwnTask(const platform::ScheduledTask& task) {
  if (!StartsWith(LowerCase(task.path), "\\microsoft\\"))
    return false;
  for (const platform::TaskExec& exec : task.execs)
    if (!exec.path.empty() && !RunsOnlyWindowsFiles(exec))
      return false;
  return true;
}

StartupEntryList ListTaskEntries() {
  StartupEntryList entries;
  for (const platform::ScheduledTask& task : platform::ListScheduledTasks()) {
    std::string command = TaskCommand(task.execs);
    if (!task.enabled || !task.starts_at_logon_or_boot || command.empty() || IsWindowsOwnTask(task))
      continue;
    entries.push_back({TaskName(task.path), command, TaskLocation(task.path), kKindTask});
  }
  return entries;
}

bool IsTaskRecord(const std::string& record) {
  return !TaskPathOf(record).empty();
}

bool MuteTask(const StartupEntry& entry, const std::string& muted_key, ErrorScope& error) {
  std::string path = TaskPathOf(entry.Location);
  if (path.empty()) {
    error.Raise("'" + entry.Location + "' names no task");
    return false;
  }
  if (!WriteAndVerify(muted_key, entry.Location, path)) {
    error.Raise("Cannot write the muted record of " + entry.Location);
    return false;
  }
  // Read back: a service may take the change and keep nothing of it (Wine's does).
  long status = platform::EnableTask(path, false);
  if (status || IsEnabled(path)) {
    DeleteRegValueNamed(muted_key, entry.Location);
    error.Raise("Cannot disable the task " + path +
                (status ? " (" + DescribeFailure(status) + ")" : ": it stays enabled"));
    return false;
  }
  return true;
}

void RestoreMutedTask(const std::string& muted_key, const std::string& record, ErrorScope& error) {
  std::string path = ReadRegValue(muted_key, record, "");
  if (path.empty())
    path = TaskPathOf(record);
  long status = platform::EnableTask(path, true);
  if (status == platform::kTaskErrorNotFound) {
    // Deleted meanwhile: there is nothing left to enable, now or at a later logon.
    DeleteRegValueNamed(muted_key, record);
    error.Raise("The muted task " + path + " is gone");
    return;
  }
  if (status || !IsEnabled(path)) {
    error.Raise("Cannot enable the task " + path +
                (status ? " (" + DescribeFailure(status) + ")" : ": it stays disabled"));
    return;
  }
  DeleteRegValueNamed(muted_key, record);
}

bool RemoveTask(const StartupEntry& entry, ErrorScope& error) {
  OwnBackup backup;
  backup.task_path = TaskPathOf(entry.Location);
  if (backup.task_path.empty() || !platform::ReadTaskXml(backup.task_path, &backup.task_xml)) {
    error.Raise("Cannot read the task " + entry.Location);
    return false;
  }
  backup.kind = kBackupKindTask;
  backup.name = entry.Name;
  backup.command = entry.Command;
  backup.location = entry.Location;
  backup.time = platform::Now();
  std::string key = WriteOwnBackup(backup);
  if (key.empty()) {
    error.Raise("Cannot write the backup of the task " + backup.task_path);
    return false;
  }
  long status = platform::DeleteTask(backup.task_path);
  if (status && status != platform::kTaskErrorNotFound) {
    DeleteOwnBackup(key);
    error.Raise("Cannot delete the task " + backup.task_path + " (" + DescribeFailure(status) +
                ")");
    return false;
  }
  return true;
}

bool PutTaskBack(const std::string& task_path, const std::string& xml, std::string* problem) {
  std::string current;
  if (platform::ReadTaskXml(task_path, &current)) {
    if (current == xml)
      return true;
    *problem =
        "Another task is in its place: " + TaskLocation(task_path) + ". It was left as it is.";
    return false;
  }
  if (long status = platform::RestoreTask(task_path, xml)) {
    *problem =
        "Cannot register the task " + task_path + " again (" + DescribeFailure(status) + ").";
    return false;
  }
  return true;
}
