// Runwarden's own backups of blocked entries: the ones msconfig's startupreg and
// startupfolder keys cannot describe (a part of a list value, a RunOnceEx subkey, an
// Active Setup StubPath, a scheduled task, a moved Startup folder).
//
// Each backup is one subkey of HKLM\SOFTWARE\Runwarden\Backups, named by a number that
// is one more than the highest there (so a later backup has a higher number). Values:
//
//   "Kind"      REG_SZ   what was taken away and how it comes back:
//                          "value"  one registry value, put back whole as it was
//                          "item"   one item of a list value: the value goes back to
//                                   "Data" while it still holds "After", else the item
//                                   is added to it again
//                          "folder" a moved Startup folder: its value goes back to "Data"
//                                   while it still holds "After" (the default path)
//                          "task"   a scheduled task, registered again from its XML
//   "Name"      REG_SZ   the entry's name, as the alert and the log name it
//   "Command"   REG_SZ   its command
//   "Location"  REG_SZ   where it lived, as the alert shows it
//   "Time"      REG_SZ   when it was blocked, local time: "2026-12-06 21:07:09"
//   "RegKey"    REG_SZ   "value": the registry path of the key that held the value
//   "RegValue"  REG_SZ   "value": the value's name ("" is the unnamed value)
//   "Data"      as found "value", "item", "folder": the value itself as it was, with its
//                        type and raw bytes
//   "After"     as left  "item", "folder": what the value held once the entry was out
//   "Item"      REG_SZ   "item": the item taken out
//   "TaskPath"  REG_SZ   "task": the task's path in the scheduler, "\Folder\Name"
//   "TaskXml"   REG_SZ   "task": the XML the task was registered with
//
// A kind may add values of its own; a reader ignores what it does not know.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/system.h"

inline constexpr char kBackupsKey[] = "HKLM\\SOFTWARE\\Runwarden\\Backups";

// What an entry was, for every backup whatever keeps it.
inline constexpr char kBackupKindValue[] = "value";    // a registry value
inline constexpr char kBackupKindFile[] = "file";      // a file in a Startup folder
inline constexpr char kBackupKindTask[] = "task";      // a scheduled task
inline constexpr char kBackupKindItem[] = "item";      // an item of a list value
inline constexpr char kBackupKindFolder[] = "folder";  // a moved Startup folder

struct OwnBackup {
  std::string kind;
  std::string name, command, location;
  platform::LocalTime time;  // year 0 when it was not recorded
  std::string reg_key, reg_value;
  platform::RegData data;
  bool has_after = false;  // "item", "folder": After holds what the value was left with
  platform::RegData after;
  std::string item;
  std::string task_path, task_xml;
};

// Writes Backup into a new subkey, every value read back. The subkey's registry path;
// empty, with nothing left behind, when it could not be written whole.
std::string WriteOwnBackup(const OwnBackup& backup);
// The same under another key (the records of muted entries have the same form).
std::string WriteOwnBackupIn(const std::string& parent, const OwnBackup& backup);
// False when Key holds no backup (no "Kind").
bool ReadOwnBackup(const std::string& key, OwnBackup* backup);
// The registry paths of every backup, the newest number first.
std::vector<std::string> OwnBackupKeys();
std::vector<std::string> OwnBackupKeysIn(const std::string& parent);

// The writer for a registry value about to be blocked: its backup of kind "value", taken
// now, with the value exactly as stored. The backup's path; empty when the value cannot
// be read or the backup cannot be written.
std::string BackUpRegistryValue(const std::string& reg_key,
                                const std::string& reg_value,
                                const std::string& name,
                                const std::string& command,
                                const std::string& location);

// Puts a registry value back as it was (the restorer of "value" backups, and of
// msconfig's startupreg ones): written with its type and raw bytes and read back. A
// value of that name already holding the same data counts as put back; one holding
// anything else is never overwritten. False with the reason in Problem.
bool PutValueBack(const std::string& reg_key,
                  const std::string& reg_value,
                  const platform::RegData& data,
                  std::string* problem);

// The restorers of "item" and "folder" backups (and of muted records of those kinds).
// An item: the value goes back to Data while it holds After (or is gone); once changed
// otherwise, the item is added at its end unless it is there already. A folder: the
// value goes back to Data while it holds After (or is gone); anything else stays.
bool PutListItemBack(const OwnBackup& backup, std::string* problem);
bool PutFolderBack(const OwnBackup& backup, std::string* problem);

// Restores the backup in Key and removes it. Kinds without a restorer yet are refused.
// False with the reason in Problem; the backup then stays.
bool RestoreOwnBackup(const std::string& key, std::string* problem);
// Removes the backup in Key.
bool DeleteOwnBackup(const std::string& key);

// "2026-12-06 21:07:09", and back; a text of another form reads as year 0.
std::string BackupTimeText(const platform::LocalTime& time);
platform::LocalTime ParseBackupTime(const std::string& text);
