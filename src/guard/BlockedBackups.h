// Every backup of a blocked entry, wherever it is kept: msconfig's startupreg key (a
// registry value) and startupfolder key (a Startup file moved to the pss folder), and
// Runwarden's own backups (OwnBackups.h). The Blocked Entries window lists them and
// restores or deletes one.
#pragma once

#include <string>
#include <vector>

#include "platform/system.h"

enum class BackupStore { kStartupReg, kStartupFolder, kOwn };

struct BlockedBackup {
  BackupStore store = BackupStore::kOwn;
  std::string kind;  // kBackupKindValue, kBackupKindFile, kBackupKindTask ...
  std::string name, command, location;
  platform::LocalTime time;  // year 0: not recorded (version 5 and msconfig's own backups)
  // Where the backup lives: its registry key, and for a Startup file the moved file.
  std::string key;
  std::string copy;
};

// All of them, the newest first; those without a time last.
std::vector<BlockedBackup> ListBlockedBackups();

// Puts the entry back as it was (a value with its type and raw bytes; a Startup file
// moved back from the pss folder), takes it off the Blocked list (by its file and its
// digest, as the scan listed it) so the guard does not block it again, and removes the
// backup. Nothing already in the entry's place is ever overwritten. False, with the
// reason in Problem and a line in errlog.log, when it could not be done; the entry is
// then as it was, unless Problem says it is back.
bool RestoreBlockedBackup(const BlockedBackup& backup, std::string* problem);

// Removes the backup for good, and with it a Startup file's blocked copy in the pss
// folder: a copy no backup names is never listed, restored or cleaned up again. The
// entry stays blocked (the Blocked list keeps it). False, with the reason in Problem and
// a line in errlog.log, when something of it is left.
bool DeleteBlockedBackup(const BlockedBackup& backup, std::string* problem);
