// Blocking an entry: it leaves its autostart location, and a backup stays where the
// System Configuration utility (msconfig) looks for the entries it disabled itself.
#pragma once

#include <string>

#include "guard/StartupEntry.h"

inline constexpr char kStartupRegBackupKey[] =
    "HKLM\\SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
inline constexpr char kStartupFolderBackupKey[] =
    "HKLM\\SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder";

// The msconfig key of an entry: startupreg\Name for a registry value, startupfolder\ and
// the file's path with "^" for every "\" for a file. When that key already holds the
// backup of another entry (same name, other key or command), the backup goes to the
// first free "... (2)", "... (3)" instead; the entry's own earlier backup is replaced.
std::string BackupKeyOf(const StartupEntry& entry);

// Removes the entry, File being its resolved file. A registry value is deleted only
// after its startupreg backup was written and read back; besides msconfig's values the
// backup holds "RegValue" (the value's exact name) and "Data" (the value with its type
// and raw bytes), from which the Blocked Entries window puts it back as it was. A
// Startup file is moved to a free name in the pss folder after its startupfolder backup
// (which names that path) was written and read back, unless its target truly is not
// there (hidden and system files are there): then it is deleted and logged "Deleted
// <path>". A backup that fails half-way takes back only what it added. False, with a
// line in errlog.log, when the entry was left in place.
bool RemoveStartupEntry(const StartupEntry& entry, const std::string& file,
                        const std::string& pss_folder);

// Starts a hidden copy of this program that ends the processes whose image is File,
// given its full path, quoted (KillProcessByFile).
void TerminateEntryProcesses(const std::string& file);
