#include "guard/BlockedBackups.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "app/ErrorScope.h"
#include "app/TextFunctions.h"
#include "app/Paths.h"
#include "app/Settings.h"
#include "guard/Blocking.h"
#include "guard/ListKey.h"
#include "guard/OwnBackups.h"
#include "guard/Places.h"
#include "guard/RuleLists.h"
#include "guard/CommandResolution.h"
#include "guard/HashCache.h"
#include "guard/Scan.h"
#include "platform/files.h"
#include "registry/Registry.h"

namespace {

constexpr const char* kTimeValues[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};

bool HasValue(const std::string& key, const char* name) {
  platform::RegData data;
  return ReadRegRaw(key, name, &data);
}

// The six time values of an msconfig backup; year 0 when one of them is missing.
platform::LocalTime MsconfigTime(const std::string& key) {
  int parts[6] = {};
  for (int i = 0; i < 6; ++i) {
    std::string text = ReadRegValue(key, kTimeValues[i], "");
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
      return {};
    parts[i] = std::stoi(text);
  }
  return {parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]};
}

// The name of the value a startupreg backup holds: the one written beside msconfig's
// values, else msconfig's own rule (the key's name), without the " (n)" this program
// gives the further backups of same-named values.
std::string StartupRegValueName(const std::string& key) {
  if (HasValue(key, "RegValue"))
    return ReadRegValue(key, "RegValue", "");
  if (key.size() <= std::strlen(kStartupRegBackupKey))
    return "";
  std::string name = key.substr(std::strlen(kStartupRegBackupKey) + 1);
  std::string::size_type open = name.rfind(" (");
  if (open != std::string::npos && name.back() == ')' && name.size() > open + 3 &&
      name.substr(open + 2, name.size() - open - 3).find_first_not_of("0123456789") ==
          std::string::npos)
    name.erase(open);
  return name;
}

BlockedBackup StartupRegBackup(const std::string& key) {
  BlockedBackup backup;
  backup.store = BackupStore::kStartupReg;
  backup.kind = kBackupKindValue;
  backup.key = key;
  backup.name = StartupRegValueName(key);
  backup.command = ReadRegValue(key, "command", "");
  std::string root = ReadRegValue(key, "hkey", "");
  std::string sub_key = ReadRegValue(key, "key", "");
  backup.location = root.empty() ? sub_key : root + "\\" + sub_key;
  backup.time = MsconfigTime(key);
  return backup;
}

BlockedBackup StartupFolderBackup(const std::string& key) {
  BlockedBackup backup;
  backup.store = BackupStore::kStartupFolder;
  backup.kind = kBackupKindFile;
  backup.key = key;
  backup.name = ReadRegValue(key, "item", "");
  backup.command = ReadRegValue(key, "command", "");
  backup.location = ReadRegValue(key, "path", "");
  backup.copy = ReadRegValue(key, "backup", "");
  backup.time = MsconfigTime(key);
  return backup;
}

bool Newer(const BlockedBackup& a, const BlockedBackup& b) {
  auto order = [](const platform::LocalTime& t) {
    return std::make_tuple(t.year, t.month, t.day, t.hour, t.minute, t.second);
  };
  return order(a.time) > order(b.time);
}

bool IsDrivePath(const std::string& path) {
  return path.size() > 3 && path[1] == ':' && path[2] == '\\';
}

bool IsThere(const std::string& path) {
  uint32_t attributes = 0;
  return platform::ReadAttributes(path, &attributes);
}

// What the scan may have listed the entry by, with lists matched by digest or by path: its
// resolved file and that file's digest (a Startup file's own digest is taken from its
// blocked copy), or for a script host's entry what the host runs.
std::vector<std::string> ListKeysOf(const BlockedBackup& backup) {
  // A moved folder is listed by its path.
  if (backup.kind == kBackupKindFolder)
    return {ExpandedFolderPath(backup.command)};
  std::string file = ResolveCommandFile(
      RunnableCommand({backup.name, backup.command, backup.location, kKindRegistry}));
  std::string hashed = file;
  if (backup.store == BackupStore::kStartupFolder && EqualsIgnoringCase(file, backup.location))
    hashed = backup.copy;
  std::string hash =
      !hashed.empty() && IsThere(hashed) ? GetFileHashCached(hashed, kScanHashAlgorithm) : "";
  // A task that runs several programs is known by its whole command.
  return {ListRecordOf(backup.command, file, hash, true).key,
          ListRecordOf(backup.command, file, hash, false).key, CommandTextKey(backup.command)};
}

// The backup values of the startupreg key itself (an unnamed value's backup): the key
// also holds every other backup, so only these go.
bool DeleteStartupRegRootValues() {
  std::vector<const char*> names = {"item",       "command",  "hkey", "key",
                                    "inimapping", "RegValue", "Data"};
  names.insert(names.end(), std::begin(kTimeValues), std::end(kTimeValues));
  bool ok = true;
  for (const char* name : names) {
    DeleteRegValueNamed(kStartupRegBackupKey, name);
    ok = ok && !HasValue(kStartupRegBackupKey, name);
  }
  return ok;
}

bool DeleteBackupKey(const BlockedBackup& backup) {
  if (backup.store == BackupStore::kStartupReg && backup.key == kStartupRegBackupKey)
    return DeleteStartupRegRootValues();
  if (backup.store == BackupStore::kOwn)
    return DeleteOwnBackup(backup.key);
  return DeleteRegKey(backup.key) == platform::kErrorSuccess || !RegKeyExists(backup.key);
}

bool PutStartupRegValueBack(const BlockedBackup& backup, std::string* problem) {
  platform::RegData data;
  // A backup msconfig or an older Runwarden wrote has only the command: it goes back as
  // the text it is.
  if (!ReadRegRaw(backup.key, "Data", &data))
    data = {platform::kRegSz, backup.command + '\0'};
  return PutValueBack(backup.location, backup.name, data, problem);
}

bool MoveStartupFileBack(const BlockedBackup& backup, std::string* problem) {
  if (!IsDrivePath(backup.location) || !IsDrivePath(backup.copy)) {
    *problem = "The backup does not say where the file was or where it waits.";
    return false;
  }
  if (!IsThere(backup.copy)) {
    *problem = "The blocked file " + backup.copy + " is missing.";
    return false;
  }
  if (IsThere(backup.location)) {
    *problem = "Another file is in its place: " + backup.location + ". It was left as it is.";
    return false;
  }
  if (!platform::RenameFile(backup.copy, backup.location)) {
    *problem = "Cannot move " + backup.copy + " back to " + backup.location + ".";
    return false;
  }
  return true;
}

bool PutBack(const BlockedBackup& backup, std::string* problem) {
  switch (backup.store) {
    case BackupStore::kStartupReg:
      return PutStartupRegValueBack(backup, problem);
    case BackupStore::kStartupFolder:
      return MoveStartupFileBack(backup, problem);
    case BackupStore::kOwn:
      return RestoreOwnBackup(backup.key, problem);
  }
  return false;
}

}  // namespace

std::vector<BlockedBackup> ListBlockedBackups() {
  ErrorScope error;
  std::vector<BlockedBackup> backups;
  error.Try([&] {
    for (const std::string& key : OwnBackupKeys()) {
      OwnBackup own;
      if (!ReadOwnBackup(key, &own))
        continue;
      BlockedBackup backup;
      backup.store = BackupStore::kOwn;
      backup.kind = own.kind;
      backup.name = own.name;
      backup.command = own.command;
      backup.location = own.location;
      backup.time = own.time;
      backup.key = key;
      backups.push_back(std::move(backup));
    }
    if (HasValue(kStartupRegBackupKey, "command"))
      backups.push_back(StartupRegBackup(kStartupRegBackupKey));
    for (const std::string& name : EnumRegSubKeys(kStartupRegBackupKey)) {
      std::string key = std::string(kStartupRegBackupKey) + "\\" + name;
      if (EnumRegValues(key).Count() > 0)
        backups.push_back(StartupRegBackup(key));
    }
    for (const std::string& name : EnumRegSubKeys(kStartupFolderBackupKey)) {
      std::string key = std::string(kStartupFolderBackupKey) + "\\" + name;
      if (EnumRegValues(key).Count() > 0)
        backups.push_back(StartupFolderBackup(key));
    }
    std::stable_sort(backups.begin(), backups.end(), Newer);
  });
  return backups;
}

bool RestoreBlockedBackup(const BlockedBackup& backup, std::string* problem) {
  ErrorScope error;
  bool restored = false;
  problem->clear();
  error.Try([&] {
    // Off the list first, so that a list that cannot be written leaves everything as it
    // was; the list goes back as it was when the entry cannot.
    std::string list = GetBlockedList();
    if (!UnlistBlocked(ListKeysOf(backup))) {
      *problem = "Cannot take it off the Blocked list.";
      return;
    }
    if (!PutBack(backup, problem)) {
      if (GetBlockedList() != list)
        WriteRegValue(kSettingsKey, "Blocked", list);
      return;
    }
    if (backup.store != BackupStore::kOwn && !DeleteBackupKey(backup)) {
      *problem = "It is back in place, but its backup " + backup.key + " could not be removed.";
      return;
    }
    restored = true;
  });
  if (!restored) {
    if (problem->empty())
      *problem = error.pending() ? error.description() : "Unknown error";
    error.Raise("Cannot restore '" + backup.name + "' of " + backup.location + ": " + *problem);
  }
  return restored;
}

bool DeleteBlockedBackup(const BlockedBackup& backup, std::string* problem) {
  ErrorScope error;
  bool deleted = false;
  problem->clear();
  error.Try([&] {
    // Only a copy in the pss folder is this backup's to delete.
    if (backup.store == BackupStore::kStartupFolder && IsThere(backup.copy) &&
        EqualsIgnoringCase(GetFolderPath(backup.copy), PssFolder()) &&
        !platform::RemoveFile(backup.copy)) {
      *problem = "Cannot delete the blocked file " + backup.copy + ".";
      return;
    }
    if (!DeleteBackupKey(backup)) {
      *problem = "Cannot remove the backup " + backup.key + ".";
      return;
    }
    deleted = true;
  });
  if (!deleted) {
    if (problem->empty())
      *problem = error.pending() ? error.description() : "Unknown error";
    error.Raise("Cannot delete the backup of '" + backup.name + "': " + *problem);
  }
  return deleted;
}
