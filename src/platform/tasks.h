// The Task Scheduler (2.0, Vista and later): tasks registered from their XML definition.
// A task is addressed by its full path, "\Folder\Name" or "\Name"; a missing folder is
// made when a task is registered in it. Win32 talks to the service through ITaskService;
// the portable side keeps the tasks in memory, with switches that play a machine without
// the service, one whose service refuses the caller, and Wine's, which keeps a task's
// registration but drops its triggers and actions.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Status codes: 0 or a Windows error number (an HRESULT of the Win32 facility is given
// as its error number, so access denied is 5 whichever way it came).
inline constexpr long kTaskErrorNotFound = 2;
inline constexpr long kTaskErrorAccessDenied = 5;
inline constexpr long kTaskErrorServiceUnavailable = 1058;  // ERROR_SERVICE_DISABLED
inline constexpr long kTaskErrorExists = 183;               // ERROR_ALREADY_EXISTS

// Whether the service can be reached (it runs, and this Windows has version 2.0).
bool TaskSchedulerAvailable();

// Creates the task or replaces its definition, with the principal's group logon
// (TASK_LOGON_GROUP), so it runs for whichever member of the group logs on.
long RegisterTask(const std::string& path, const std::string& xml);
// kTaskErrorNotFound when there is no such task.
long DeleteTask(const std::string& path);
// Removes a folder that holds no task and no folder; refused otherwise.
long DeleteTaskFolder(const std::string& path);
bool TaskExists(const std::string& path);
// The definition as the service keeps it (it may differ from what was registered);
// false when the task is not there or cannot be read.
bool ReadTaskXml(const std::string& path, std::string* xml);

// One Exec action as the definition holds it (environment variables unexpanded).
struct TaskExec {
  std::string path, arguments;
  bool operator==(const TaskExec&) const = default;
};

// What the guard needs of a registered task.
struct ScheduledTask {
  std::string path;  // "\Folder\Name"
  bool enabled = false;
  bool starts_at_logon_or_boot = false;  // it has an enabled logon or boot trigger
  std::vector<TaskExec> execs;           // its Exec actions in order; other kinds left out
};

// Every task of every folder, hidden ones too. What cannot be read (a folder or task this account
// may not see) is left out.
std::vector<ScheduledTask> ListScheduledTasks();
long EnableTask(const std::string& path, bool enabled);
// Whether the task is enabled, as the service says; false when it cannot be read.
bool ReadTaskEnabled(const std::string& path, bool* enabled);
// Registers a task again from the XML it was read as, under the account its principal
// names, with that principal's kind of logon: a group's task for the group, a user's
// for the user (interactive token, S4U), a service account's as the service account. A
// task that ran with a stored password comes back as the user's interactive task: the
// password was never readable. Refused when a task is at Path already.
long RestoreTask(const std::string& path, const std::string& xml);

// Test switches. Win32 honours kUnavailable and kRefusing; kLikeWine is the portable
// store's (under Wine the real service behaves so).
enum class TaskServiceForTesting {
  kReal,         // as the platform has it
  kUnavailable,  // no service: Windows XP, or the service stopped
  kRefusing,     // every change refused: access denied, as for a standard user
  kLikeWine,     // keeps the registration, drops the triggers and the actions, and takes
                 // a change of the enabled state without keeping it
};
void SetTaskServiceForTesting(TaskServiceForTesting service);
// Empties the portable store.
void ResetTasksForTesting();

}  // namespace platform
