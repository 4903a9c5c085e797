// The autostart places beyond the keys whose every value is a command and the Startup
// folders themselves: values Windows reads as one command, values it reads as lists of
// programs, RunOnceEx's sections, Winlogon's notification packages, Active Setup's
// components, and the values that say where the Startup folders are. What a clean
// Windows keeps in them is no entry.
#pragma once

#include <string>

#include "guard/StartupEntry.h"
#include "platform/registry.h"

inline constexpr char kWinlogonKey[] =
    "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
inline constexpr char kUserWinlogonKey[] =
    "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
inline constexpr char kSessionManagerKey[] =
    "HKLM\\System\\CurrentControlSet\\Control\\Session Manager";
inline constexpr char kUserWindowsKey[] =
    "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
inline constexpr char kRdpwdKey[] =
    "HKLM\\System\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd";
inline constexpr char kActiveSetupKey[] =
    "HKLM\\SOFTWARE\\Microsoft\\Active Setup\\Installed Components";
inline constexpr char kUserShellFoldersKey[] =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
inline constexpr char kCommonShellFoldersKey[] =
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Every entry of those places, place by place, each key read once: kinds "1", "3" and
// "5"; then the files of a moved Startup folder (kind "2"), and of its default folder,
// which comes back into use when the move is undone.
StartupEntryList CollectPlaceEntries();

// The values of a RunOnceEx key that run: every named value of each section (subkey) and
// of the section's Depend subkey; of the key's own values all but "Title" and "Flags",
// which say how the sections are shown.
StartupEntryList ListRunOnceEx(const std::string& path);
bool IsRunOnceExKey(const std::string& path);

// What an entry's command runs: of a RunOnceEx section's "||DLL|function" (or
// "DLL|function") the DLL, of any other entry the command itself.
std::string RunnableCommand(const StartupEntry& entry);

// Whether Item is one Windows itself keeps in the list value Name (of any view or hive).
bool IsDefaultListItem(const std::string& value_name, const std::string& item);

// What a list value holds once the entry's item is out of it: the first item equal to it
// goes with one separator; a Winlogon Userinit or Shell left without Windows' own program
// gets Windows' own value instead, so that logon still works. False when the item is
// not in it.
bool ValueWithoutItem(const StartupEntry& entry,
                      const platform::RegData& before,
                      platform::RegData* after);

// The text a Startup folder value of that name ("Startup", "Common Startup") has when
// the folder was never moved.
std::string DefaultStartupFolderText(const std::string& value_name);

// Takes an entry of kind "3" or "5" out of its value: the item goes, or the folder's
// path becomes its default again. First a record of the value as it was and as it is
// left is written under Parent (the records of muted entries, or the backups) and read
// back, then the value is written. True when the entry is out: with the record's path in
// Record, or with none when the item was gone already (another hand repaired the value).
// False, with the reason in Problem, when the value was left as it was.
bool TakeOutOfValue(const StartupEntry& entry,
                    const std::string& parent,
                    std::string* record_key,
                    std::string* problem);

// The path a Startup folder value names: expanded, without a trailing backslash.
std::string ExpandedFolderPath(const std::string& text);

// "%NAME%" replaced by the environment value NAME wherever it is set.
std::string ExpandEnvironmentText(const std::string& text);
