// How Windows starts Runwarden at every logon. On Vista and later two tasks of the Task
// Scheduler start it for every user who logs on, elevated without a prompt for an
// administrator: the early scan ("/r") at once, the guard ("/s") two minutes later, when
// Explorer has started the logon's startup programs. Where no task can be made (Windows
// XP, the service stopped) the machine's RunOnce ("/r") and Run ("/s") values do it, as
// the guard writes them.
#pragma once

#include <string>

struct LogonTask {
  const char* path;
  const char* switch_text;
  const char* delay;  // after the logon, as the Task Scheduler writes a duration; "" for none
  const char* name;   // in messages
  const char* description;
};

// Put back any sooner, the entries the early scan set aside would still start at this
// logon: Explorer starts the Run values and Startup items only after the desktop is up
// (from Windows 8 on some seconds later still, one after the other).
inline constexpr char kGuardDelay[] = "PT2M";
inline constexpr LogonTask kGuardTask = {
    "\\Runwarden\\Guard", "/s", kGuardDelay, "the guard's logon task",
    "Runwarden's guard (/s), two minutes after every logon, when Windows has started the "
    "startup programs: puts back the entries the early scan set aside and asks about each."};
inline constexpr LogonTask kScanTask = {
    "\\Runwarden\\Scan", "/r", "", "the early scan's logon task",
    "Runwarden's early scan (/r) at every logon: sets new startup entries aside before "
    "Windows starts them."};
// Registered in this order, removed in the other: never an early scan without its guard,
// which would set entries aside that nothing puts back.
inline constexpr LogonTask kLogonTasks[] = {kGuardTask, kScanTask};
// The one task of earlier versions, which ran "/r" and then "/s" at once.
inline constexpr char kOldLogonTaskPath[] = "\\Runwarden\\Logon";
inline constexpr char kLogonTaskFolder[] = "\\Runwarden";
// The Users group (BUILTIN\Users): every user who logs on.
inline constexpr char kUsersGroupSid[] = "S-1-5-32-545";

// The task's definition for the program at ExePath (its folder is the working folder):
// a logon trigger for any user (with the task's delay), the interactive users as
// principal with the highest rights they have, the task's run as its action, no time
// limit, on battery too.
std::string LogonTaskXml(const LogonTask& task, const std::string& exe_path);

// Whether this Windows starts the guard from the tasks: version 6 or later, with the
// Task Scheduler reachable.
bool LogonTaskPossible();
// Whether the guard starts at logon: its task (or the one task of an earlier version)
// starting this program, or the Run value naming this program. A service that keeps no
// actions (Wine's) cannot say whose a task is: there its registration counts.
bool LogonStartEnabled();

// A failed step: what could not be done, and the platform's status.
struct LogonStartResult {
  long status = 0;
  std::string step;  // "the guard's logon task could not be registered", ...
  bool ok() const { return status == 0; }
};

// Registers both tasks, removes the one task of an earlier version and this program's own
// Run and RunOnce values (the tasks start both runs); where no task can be made, writes
// the Run value instead.
LogonStartResult EnableLogonStart();
// Removes the tasks that start this program, the earlier version's too, and this
// program's Run and RunOnce values; another copy's values and tasks are left to it.
LogonStartResult DisableLogonStart();
// The guard's part at every start: an earlier version's one task is replaced by the two;
// without the tasks it writes its RunOnce and Run values again (Windows deletes a RunOnce
// value when it runs it).
void KeepAutostartValues();
