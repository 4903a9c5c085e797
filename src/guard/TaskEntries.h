// Scheduled tasks (Task Scheduler 2.0, Vista and later) as autostart entries of Kind "4":
// one entry per enabled task, in any folder, that starts at logon or at boot and runs a
// program (an Exec action). Muting disables the task, and the guard enables it again;
// blocking keeps its definition (XML) as Runwarden's own backup and deletes it; the
// Blocked Entries window registers it again from that backup.
#pragma once

#include <string>
#include <vector>

#include "app/ErrorScope.h"
#include "guard/StartupEntry.h"
#include "platform/tasks.h"

// The Location of a task's entry is "Task Scheduler" and the task's path:
// "Task Scheduler\Folder\Name", "Task Scheduler\Name" for the root folder's tasks.
inline constexpr char kTaskLocationRoot[] = "Task Scheduler";
std::string TaskLocation(const std::string& task_path);
// The task's path ("\Folder\Name") of such a Location; empty for any other text.
std::string TaskPathOf(const std::string& location);

// The entry's Command: the first Exec action's program, in quotes, and its arguments. A
// task runs all its actions one after the other, so further Exec actions follow, joined
// by " & ": the alert shows all the task starts.
std::string TaskCommand(const std::vector<platform::TaskExec>& execs);
// A task's entry that starts more than one program: the lists know it by its whole
// command, so that allowing a harmless first program allows no other beside it.
bool RunsSeveralPrograms(const StartupEntry& entry);

// Windows' own tasks: in a folder under "\Microsoft\", and every program they run (for a
// script host, what it is told to run as well) a file of the Windows folder outside the
// folders there that any user can write.
bool IsWindowsOwnTask(const platform::ScheduledTask& task);

// The entries of every task that starts at logon or at boot and runs a program, but for
// Windows' own tasks and disabled ones (they start nothing).
StartupEntryList ListTaskEntries();

// A record of the Muted key that names a task (its name is the entry's Location).
bool IsTaskRecord(const std::string& record);
// Records the task under Muted (in MutedKey), then disables it. False, with the error
// raised, when the task was left as it was.
bool MuteTask(const StartupEntry& entry, const std::string& muted_key, ErrorScope& error);
// Enables the task of a muted record again and removes the record. A task deleted
// meanwhile has nothing to enable: its record goes, logged.
void RestoreMutedTask(const std::string& muted_key, const std::string& record, ErrorScope& error);

// Blocks the task: its definition is written to Runwarden's own backups (kind "task")
// and read back before the task is deleted. False, with the error raised, when the task
// was left in place (and no backup of it stays).
bool RemoveTask(const StartupEntry& entry, ErrorScope& error);
// Registers the task at TaskPath again from Xml (platform::RestoreTask). A task of that
// path holding the same definition counts as back; one holding another is never
// replaced. False with the reason in Problem.
bool PutTaskBack(const std::string& task_path, const std::string& xml, std::string* problem);
