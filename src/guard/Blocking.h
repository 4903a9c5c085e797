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
// the file's path with "^" for every "\" for a file.
std::string BackupKeyOf(const StartupEntry& entry);

// Removes the entry, File being its resolved file. A registry value is deleted only
// after its startupreg backup was written and read back. A Startup file whose command
// exists is moved to a free name in the pss folder after its startupfolder backup
// (which names that path) was written and read back; one whose command is gone is
// deleted and logged "Deleted <path>". False, with a line in errlog.log, when the
// entry was left in place.
bool RemoveStartupEntry(const StartupEntry& entry, const std::string& file,
                        const std::string& pss_folder);

// Starts two hidden copies of this program that end the processes of File: one named
// after the base of its short path, one after its own base name.
void TerminateEntryProcesses(const std::string& file);
