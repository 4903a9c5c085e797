#include "guard/RuleLists.h"

#include <algorithm>
#include <vector>

#include "app/ErrorScope.h"
#include "app/TextFunctions.h"
#include "app/Paths.h"
#include "app/Settings.h"
#include "guard/OwnBackups.h"
#include "guard/Places.h"
#include "guard/TaskEntries.h"
#include "guard/Locations.h"
#include "platform/files.h"
#include "platform/system.h"
#include "registry/Registry.h"

namespace {

bool IsDrivePath(const std::string& s) {
  return s.size() >= 2 && s[1] == ':';
}

bool PathTaken(const std::string& path) {
  return platform::FileSize(path) >= 0 || platform::FolderExists(path);
}

// Writes the value and reads it back: true only when the registry holds exactly Data.
bool WriteAndVerify(const std::string& key,
                    const std::string& name,
                    const platform::RegData& data) {
  if (WriteRegRaw(key, name, data) != platform::kErrorSuccess)
    return false;
  platform::RegData back;
  return ReadRegRaw(key, name, &back) && back == data;
}

// The fields of a list value, split at every "<#>" (the text before the first one too).
std::vector<std::string> ListFields(const std::string& list) {
  const std::string separator = "<#>";
  std::vector<std::string> fields;
  std::string::size_type start = 0;
  for (;;) {
    std::string::size_type end = list.find(separator, start);
    fields.push_back(list.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos)
      return fields;
    start = end + separator.size();
  }
}

platform::RegData TextData(const std::string& text) {
  return {platform::kRegSz, text + '\0'};
}

// A muted registry record is named Location "\" Name. Value names may hold backslashes,
// so the key is the longest autostart location the record starts with; a record of any
// other key is split at its last backslash.
void SplitMutedName(const std::string& record, std::string* key, std::string* name) {
  std::string lower = LowerCase(record);
  std::string best;
  for (const std::string& location : RegistryLocations()) {
    std::string prefix = LowerCase(location) + "\\";
    if (lower.rfind(prefix, 0) == 0 && location.size() > best.size())
      best = location;
  }
  if (!best.empty()) {
    *key = record.substr(0, best.size());
    *name = record.substr(best.size() + 1);
    return;
  }
  *key = GetFolderPath(record);
  std::string::size_type cut = record.find_last_of('\\');
  *name = cut == std::string::npos ? record : record.substr(cut + 1);
}

// Whether a record named Location "\" Name splits into that key and name again.
bool RecordNameSplitsBack(const StartupEntry& entry) {
  std::string key, name;
  SplitMutedName(entry.Location + "\\" + entry.Name, &key, &name);
  return key == entry.Location && name == entry.Name;
}

bool MuteRegistryValue(const StartupEntry& entry, ErrorScope& error) {
  platform::RegData data;
  if (!ReadRegRaw(entry.Location, entry.Name, &data)) {
    error.Raise("Cannot read the value '" + entry.Name + "' of " + entry.Location);
    return false;
  }
  std::string record = entry.Location + "\\" + entry.Name;
  if (RecordNameSplitsBack(entry)) {
    if (!WriteAndVerify(MutedRecordsKey(), record, data)) {
      error.Raise("Cannot write the muted record of " + record);
      return false;
    }
  } else {
    // A key below an autostart location (a RunOnceEx section) or a name with a
    // backslash: a record of its own says which key and which value it was.
    OwnBackup own;
    own.kind = kBackupKindValue;
    own.name = entry.Name;
    own.command = entry.Command;
    own.location = entry.Location;
    own.time = platform::Now();
    own.reg_key = entry.Location;
    own.reg_value = entry.Name;
    own.data = data;
    if (WriteOwnBackupIn(MutedRecordsKey(), own).empty()) {
      error.Raise("Cannot write the muted record of " + record);
      return false;
    }
  }
  if (DeleteRegValueNamed(entry.Location, entry.Name) != platform::kErrorSuccess) {
    // Still in place, and recorded: the restore writes the same data over it.
    error.Raise("Cannot delete the value '" + entry.Name + "' of " + entry.Location);
    return false;
  }
  return true;
}

// An item of a list value, or a moved folder's path: the value stays, changed.
bool MuteValuePart(const StartupEntry& entry, ErrorScope& error) {
  std::string record, problem;
  if (!TakeOutOfValue(entry, MutedRecordsKey(), &record, &problem)) {
    error.Raise(problem);
    return false;
  }
  return true;
}

bool MuteFile(const StartupEntry& entry, const std::string& pss_folder, ErrorScope& error) {
  const std::string& source = entry.Location;
  if (platform::FileSize(source) < 0) {
    error.Raise("Cannot find the file " + source);
    return false;
  }
  if (!platform::FolderExists(pss_folder))
    platform::CreateFolder(pss_folder);
  std::string target = FreePathIn(pss_folder, GetFileName(source));
  if (!WriteAndVerify(MutedRecordsKey(), source, TextData(target))) {
    error.Raise("Cannot write the muted record of " + source);
    return false;
  }
  if (!platform::RenameFile(source, target)) {
    DeleteRegValueNamed(MutedRecordsKey(), source);
    error.Raise("Cannot move " + source + " to " + target);
    return false;
  }
  return true;
}

void RestoreFile(const std::string& muted_key, const std::string& record, ErrorScope& error) {
  std::string copy = ReadRegValue(muted_key, record, "");
  if (copy.empty() || platform::FileSize(copy) < 0) {
    error.Raise("The muted copy of " + record + " is missing");
    return;
  }
  if (platform::FileSize(record) >= 0)
    platform::RemoveFile(record);
  if (!platform::RenameFile(copy, record)) {
    error.Raise("Cannot move " + copy + " back to " + record);
    return;
  }
  DeleteRegValueNamed(muted_key, record);
}

void RestoreRegistryValue(const std::string& muted_key,
                          const std::string& record,
                          ErrorScope& error) {
  platform::RegData data;
  if (!ReadRegRaw(muted_key, record, &data)) {
    error.Raise("Cannot read the muted record " + record);
    return;
  }
  std::string key, name;
  SplitMutedName(record, &key, &name);
  if (!WriteAndVerify(key, name, data)) {
    error.Raise("Cannot restore the value '" + name + "' of " + key);
    return;
  }
  DeleteRegValueNamed(muted_key, record);
}

}  // namespace

std::string GetAllowedList() {
  ErrorScope error;
  std::string list;
  error.Try([&] { list = ReadRegValue(kSettingsKey, "Allowed", ""); });
  return list;
}

std::string GetBlockedList() {
  ErrorScope error;
  std::string list;
  error.Try([&] { list = ReadRegValue(kSettingsKey, "Blocked", ""); });
  return list;
}

bool IsOnList(const std::string& list, const std::string& key, bool match_case) {
  if (key.empty())
    return false;
  std::string wanted = match_case ? key : LowerCase(key);
  for (const std::string& field : ListFields(list))
    if ((match_case ? field : LowerCase(field)) == wanted)
      return true;
  return false;
}

bool IsAllowed(const std::string& key) {
  return IsOnList(GetAllowedList(), key, true);
}
bool IsBlocked(const std::string& key) {
  return IsOnList(GetBlockedList(), key, false);
}

bool ListLookup::IsAllowed(const std::string& key) {
  Read();
  return !key.empty() && allowed_.count(key) != 0;
}

bool ListLookup::IsBlocked(const std::string& key) {
  Read();
  return !key.empty() && blocked_.count(LowerCase(key)) != 0;
}

void ListLookup::Forget() {
  read_ = false;
}

void ListLookup::Read() {
  if (read_)
    return;
  allowed_.clear();
  blocked_.clear();
  for (const std::string& field : ListFields(GetAllowedList()))
    allowed_.insert(field);
  for (const std::string& field : ListFields(GetBlockedList()))
    blocked_.insert(LowerCase(field));
  read_ = true;
}

long AppendToList(const std::string& list_name, const std::string& file, const std::string& hash) {
  std::string list = ReadRegValue(kSettingsKey, list_name, "");
  return WriteRegValue(kSettingsKey, list_name, list + "<#>" + file + "<#>" + hash);
}

bool UnlistBlocked(const std::vector<std::string>& keys) {
  const std::string separator = "<#>";
  std::string list = GetBlockedList();
  std::vector<std::string> fields = SplitText(list, separator);
  auto is_key = [&keys](const std::string& field) {
    return !field.empty() &&
           std::any_of(keys.begin(), keys.end(),
                       [&field](const std::string& key) { return EqualsIgnoringCase(key, field); });
  };
  // Whatever stands before the first separator, then the pairs.
  std::string kept = fields[0];
  bool removed = false;
  for (std::size_t i = 1; i < fields.size(); i += 2) {
    const std::string& file = fields[i];
    const std::string hash = i + 1 < fields.size() ? fields[i + 1] : "";
    if (is_key(file) || is_key(hash)) {
      removed = true;
      continue;
    }
    kept += separator + file;
    if (i + 1 < fields.size())
      kept += separator + hash;
  }
  if (!removed)
    return true;
  return WriteRegValue(kSettingsKey, "Blocked", kept) == platform::kErrorSuccess &&
         GetBlockedList() == kept;
}

long ResetRules() {
  long allowed = WriteRegValue(kSettingsKey, "Allowed", "");
  long blocked = WriteRegValue(kSettingsKey, "Blocked", "");
  return allowed ? allowed : blocked;
}

bool LimitedRights = false;

std::string MutedRecordsKey() {
  return LimitedRights ? kUserMutedKey : kMutedKey;
}

bool HasMutedRecords(const std::string& muted_key) {
  return EnumRegValues(muted_key).Count() > 0 || !OwnBackupKeysIn(muted_key).empty();
}

bool IsUserRegistryEntry(const StartupEntry& entry) {
  const std::string& key = entry.RegKey.empty() ? entry.Location : entry.RegKey;
  return entry.Kind != kKindFile && entry.Kind != kKindTask && key.rfind("HKCU\\", 0) == 0;
}

std::string PssFolder() {
  return platform::GetEnv("windir") + "\\pss";
}

std::string FreePathIn(const std::string& folder, const std::string& name) {
  std::string path = folder + "\\" + name;
  if (!PathTaken(path))
    return path;
  std::string::size_type dot = name.find_last_of('.');
  std::string base = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
  for (int n = 2;; ++n) {
    path = folder + "\\" + base + " (" + std::to_string(n) + ")" + extension;
    if (!PathTaken(path))
      return path;
  }
}

bool MuteEntry(const StartupEntry& entry, const std::string& pss_folder) {
  ErrorScope error;
  bool muted = false;
  error.Try([&] {
    // One branch per kind of entry.
    if (entry.Kind == kKindFile)
      muted = MuteFile(entry, pss_folder, error);
    else if (entry.Kind == kKindRegistry || entry.Kind.empty())
      muted = MuteRegistryValue(entry, error);
    else if (entry.Kind == kKindListItem || entry.Kind == kKindMovedFolder)
      muted = MuteValuePart(entry, error);
    else if (entry.Kind == kKindTask)
      muted = MuteTask(entry, MutedRecordsKey(), error);
    else
      error.Raise("Cannot mute an entry of the kind '" + entry.Kind + "'");
  });
  return muted;
}

void RestoreMutedEntries() {
  ErrorScope error;
  for (const char* muted_key : {kMutedKey, kUserMutedKey}) {
    error.Try([&] {
      // One listing: a record that cannot be restored or deleted waits for the next call.
      std::vector<std::string> records;
      for (const RegValueEntry& value : EnumRegValues(muted_key).entries)
        records.push_back(value.name);
      for (const std::string& record : records) {
        error.Try([&] {
          if (IsTaskRecord(record))
            RestoreMutedTask(muted_key, record, error);
          else if (IsDrivePath(record))
            RestoreFile(muted_key, record, error);
          else
            RestoreRegistryValue(muted_key, record, error);
        });
      }
      // The records of their own, the newest first: items muted one after another in
      // one value go back in the reverse order, each to the value as it was before it.
      for (const std::string& record : OwnBackupKeysIn(muted_key)) {
        error.Try([&] {
          std::string problem;
          if (!RestoreOwnBackup(record, &problem))
            error.Raise("Cannot restore the muted entry " + record + ": " + problem);
        });
      }
    });
  }
}
