#include "guard/OwnBackups.h"

#include <algorithm>
#include <cstdio>

#include "guard/ListValues.h"
#include "guard/TaskEntries.h"
#include "registry/Registry.h"

namespace {

platform::RegData TextData(const std::string& text) {
  return {platform::kRegSz, text + '\0'};
}

bool WriteAndVerify(const std::string& key,
                    const std::string& name,
                    const platform::RegData& data) {
  if (WriteRegRaw(key, name, data) != platform::kErrorSuccess)
    return false;
  platform::RegData back;
  return ReadRegRaw(key, name, &back) && back == data;
}

// A subkey name made of digits only, as a number; -1 for any other name.
long BackupNumber(const std::string& name) {
  if (name.empty() || name.size() > 9 || name.find_first_not_of("0123456789") != std::string::npos)
    return -1;
  return std::stol(name);
}

std::string Text(const std::string& key, const char* name) {
  return ReadRegValue(key, name, "");
}

bool IsRegistryPath(const std::string& path) {
  RegPathParts parts = SplitRegPath(path);
  return parts.root != platform::RegRoot::None && !parts.sub_key.empty();
}

}  // namespace

std::string BackupTimeText(const platform::LocalTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day,
                time.hour, time.minute, time.second);
  return text;
}

platform::LocalTime ParseBackupTime(const std::string& text) {
  platform::LocalTime time;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &time.year, &time.month, &time.day,
                  &time.hour, &time.minute, &time.second, &consumed) != 6 ||
      static_cast<std::size_t>(consumed) != text.size() || time.month < 1 || time.month > 12 ||
      time.day < 1 || time.day > 31)
    return {};
  return time;
}

std::vector<std::string> OwnBackupKeys() {
  return OwnBackupKeysIn(kBackupsKey);
}

std::vector<std::string> OwnBackupKeysIn(const std::string& parent) {
  std::vector<std::pair<long, std::string>> numbered;
  for (const std::string& name : EnumRegSubKeys(parent))
    if (long number = BackupNumber(name); number >= 0)
      numbered.emplace_back(number, name);
  std::sort(numbered.begin(), numbered.end(),
            [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<std::string> keys;
  for (const auto& [number, name] : numbered)
    keys.push_back(parent + "\\" + name);
  return keys;
}

std::string WriteOwnBackup(const OwnBackup& backup) {
  return WriteOwnBackupIn(kBackupsKey, backup);
}

std::string WriteOwnBackupIn(const std::string& parent, const OwnBackup& backup) {
  long next = 1;
  for (const std::string& name : EnumRegSubKeys(parent))
    next = std::max(next, BackupNumber(name) + 1);
  std::string key = parent + "\\" + std::to_string(next);
  if (RegKeyExists(key))
    return "";
  std::vector<std::pair<const char*, platform::RegData>> values = {
      {"Name", TextData(backup.name)},
      {"Command", TextData(backup.command)},
      {"Location", TextData(backup.location)},
      {"Time", TextData(BackupTimeText(backup.time))},
  };
  if (!backup.reg_key.empty()) {
    values.push_back({"RegKey", TextData(backup.reg_key)});
    values.push_back({"RegValue", TextData(backup.reg_value)});
    values.push_back({"Data", backup.data});
  }
  if (backup.has_after)
    values.push_back({"After", backup.after});
  if (!backup.item.empty())
    values.push_back({"Item", TextData(backup.item)});
  if (!backup.task_path.empty()) {
    values.push_back({"TaskPath", TextData(backup.task_path)});
    values.push_back({"TaskXml", TextData(backup.task_xml)});
  }
  // The kind last: a key without it is no backup to a reader, should the clean-up fail.
  values.push_back({"Kind", TextData(backup.kind)});
  for (const auto& [name, data] : values) {
    if (!WriteAndVerify(key, name, data)) {
      DeleteRegKey(key);
      return "";
    }
  }
  return key;
}

bool ReadOwnBackup(const std::string& key, OwnBackup* backup) {
  OwnBackup read;
  read.kind = Text(key, "Kind");
  if (read.kind.empty())
    return false;
  read.name = Text(key, "Name");
  read.command = Text(key, "Command");
  read.location = Text(key, "Location");
  read.time = ParseBackupTime(Text(key, "Time"));
  read.reg_key = Text(key, "RegKey");
  read.reg_value = Text(key, "RegValue");
  ReadRegRaw(key, "Data", &read.data);
  read.has_after = ReadRegRaw(key, "After", &read.after);
  read.item = Text(key, "Item");
  read.task_path = Text(key, "TaskPath");
  read.task_xml = Text(key, "TaskXml");
  *backup = std::move(read);
  return true;
}

std::string BackUpRegistryValue(const std::string& reg_key,
                                const std::string& reg_value,
                                const std::string& name,
                                const std::string& command,
                                const std::string& location) {
  OwnBackup backup;
  if (!ReadRegRaw(reg_key, reg_value, &backup.data))
    return "";
  backup.kind = kBackupKindValue;
  backup.name = name;
  backup.command = command;
  backup.location = location;
  backup.time = platform::Now();
  backup.reg_key = reg_key;
  backup.reg_value = reg_value;
  return WriteOwnBackup(backup);
}

bool PutValueBack(const std::string& reg_key,
                  const std::string& reg_value,
                  const platform::RegData& data,
                  std::string* problem) {
  if (!IsRegistryPath(reg_key)) {
    *problem = "'" + reg_key + "' is no registry key it could go back to.";
    return false;
  }
  platform::RegData current;
  if (ReadRegRaw(reg_key, reg_value, &current)) {
    if (current == data)
      return true;
    *problem = "The value '" + reg_value + "' of " + reg_key +
               " holds something else now; it was left as it is.";
    return false;
  }
  if (!WriteAndVerify(reg_key, reg_value, data)) {
    *problem = "Cannot write the value '" + reg_value + "' of " + reg_key + ".";
    return false;
  }
  return true;
}

namespace {

// The value as it was while it still holds what taking the entry out left in it; the
// value Before is also what an absent value gets back.
bool PutWholeValueBack(const OwnBackup& backup, std::string* problem) {
  if (!WriteAndVerify(backup.reg_key, backup.reg_value, backup.data)) {
    *problem = "Cannot write the value '" + backup.reg_value + "' of " + backup.reg_key + ".";
    return false;
  }
  return true;
}

}  // namespace

bool PutListItemBack(const OwnBackup& backup, std::string* problem) {
  if (!IsRegistryPath(backup.reg_key)) {
    *problem = "'" + backup.reg_key + "' is no registry key it could go back to.";
    return false;
  }
  platform::RegData current;
  if (!ReadRegRaw(backup.reg_key, backup.reg_value, &current) ||
      (backup.has_after && current == backup.after))
    return PutWholeValueBack(backup, problem);
  // Changed since: the item goes back at its end, unless it is there already.
  ListForm form = ListFormOf(backup.reg_value, current.type);
  if (HasListItem(ListItems(current, form), backup.item))
    return true;
  platform::RegData added = AppendListItem(current, form, backup.item);
  if (!WriteAndVerify(backup.reg_key, backup.reg_value, added)) {
    *problem = "Cannot write the value '" + backup.reg_value + "' of " + backup.reg_key + ".";
    return false;
  }
  return true;
}

bool PutFolderBack(const OwnBackup& backup, std::string* problem) {
  if (!IsRegistryPath(backup.reg_key)) {
    *problem = "'" + backup.reg_key + "' is no registry key it could go back to.";
    return false;
  }
  platform::RegData current;
  if (!ReadRegRaw(backup.reg_key, backup.reg_value, &current) ||
      (backup.has_after && current == backup.after))
    return PutWholeValueBack(backup, problem);
  if (current == backup.data)
    return true;
  *problem = "The value '" + backup.reg_value + "' of " + backup.reg_key +
             " holds something else now; it was left as it is.";
  return false;
}

bool RestoreOwnBackup(const std::string& key, std::string* problem) {
  OwnBackup backup;
  if (!ReadOwnBackup(key, &backup)) {
    *problem = "The backup " + key + " is gone.";
    return false;
  }
  platform::RegData back;
  if (!ReadRegRaw(key, "Data", &back) && backup.kind != kBackupKindTask) {
    *problem = "The backup " + key + " holds no value to put back.";
    return false;
  }
  backup.data = back;
  // One branch per kind of backup.
  bool put_back = false;
  if (backup.kind == kBackupKindTask) {
    if (backup.task_path.empty() || backup.task_xml.empty())
      *problem = "The backup " + key + " holds no task to register again.";
    else
      put_back = PutTaskBack(backup.task_path, backup.task_xml, problem);
  } else if (backup.kind == kBackupKindValue) {
    put_back = PutValueBack(backup.reg_key, backup.reg_value, back, problem);
  } else if (backup.kind == kBackupKindItem) {
    put_back = PutListItemBack(backup, problem);
  } else if (backup.kind == kBackupKindFolder) {
    put_back = PutFolderBack(backup, problem);
  } else {
    *problem =
        "This version of Runwarden cannot restore a backup of the kind '" + backup.kind + "'.";
  }
  if (!put_back)
    return false;
  if (!DeleteOwnBackup(key)) {
    *problem = "It is back in place, but its backup " + key + " could not be removed.";
    return false;
  }
  return true;
}

bool DeleteOwnBackup(const std::string& key) {
  return DeleteRegKey(key) == platform::kErrorSuccess || !RegKeyExists(key);
}
