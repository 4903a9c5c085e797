// How Windows starts Runwarden at every logon. On Vista and later one task of the Task
// Scheduler runs "/r" and then "/s" for every user who logs on, elevated without a
// prompt for an administrator; where no task can be made (Windows XP, the service
// stopped) the machine's RunOnce ("/r") and Run ("/s") values do it, as the guard
// writes them.
#pragma once

#include <string>

inline constexpr char kLogonTaskPath[] = "\\Runwarden\\Logon";
inline constexpr char kLogonTaskFolder[] = "\\Runwarden";
// The Users group (BUILTIN\Users): every user who logs on.
inline constexpr char kUsersGroupSid[] = "S-1-5-32-545";

// The task's definition for the program at ExePath (its folder is the working folder):
// a logon trigger for any user, the interactive users as principal with the highest
// rights they have, the early scan and then the guard as its two actions (the service
// runs a task's actions one after the other), no time limit, on battery too.
std::string LogonTaskXml(const std::string& exe_path);

// Whether this Windows starts the guard from the task: version 6 or later, with the
// Task Scheduler reachable.
bool LogonTaskPossible();
// Whether the task is registered and starts this program. A service that keeps no
// actions (Wine's) cannot say whose the task is: its registration counts.
bool LogonTaskStartsThisProgram();
// Whether the guard starts at logon: the task, or the Run value naming this program.
bool LogonStartEnabled();

// A failed step: what could not be done, and the platform's status.
struct LogonStartResult {
  long status = 0;
  std::string step;  // "the logon task could not be registered", ...
  bool ok() const { return status == 0; }
};

// Registers the task and removes this program's own Run and RunOnce values (the task
// starts both runs); where no task can be made, writes the Run value instead.
LogonStartResult EnableLogonStart();
// Removes the task, when it starts this program, and this program's Run and RunOnce
// values; another copy's values and task are left to it.
LogonStartResult DisableLogonStart();
// The guard's part at every start: without the task it writes its RunOnce and Run
// values again (Windows deletes a RunOnce value when it runs it).
void KeepAutostartValues();
