#include "guard/OwnBackups.h"

#include <algorithm>
#include <cstdio>

#include "guard/TaskEntries.h"
#include "registry/basReg.h"

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
  std::vector<std::pair<long, std::string>> numbered;
  for (const std::string& name : EnumRegSubKeys(kBackupsKey))
    if (long number = BackupNumber(name); number >= 0)
      numbered.emplace_back(number, name);
  std::sort(numbered.begin(), numbered.end(),
            [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<std::string> keys;
  for (const auto& [number, name] : numbered)
    keys.push_back(std::string(kBackupsKey) + "\\" + name);
  return keys;
}

std::string WriteOwnBackup(const OwnBackup& backup) {
  long next = 1;
  for (const std::string& name : EnumRegSubKeys(kBackupsKey))
    next = std::max(next, BackupNumber(name) + 1);
  std::string key = std::string(kBackupsKey) + "\\" + std::to_string(next);
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

bool RestoreOwnBackup(const std::string& key, std::string* problem) {
  OwnBackup backup;
  if (!ReadOwnBackup(key, &backup)) {
    *problem = "The backup " + key + " is gone.";
    return false;
  }
  if (backup.kind == kBackupKindTask) {
    if (backup.task_path.empty() || backup.task_xml.empty()) {
      *problem = "The backup " + key + " holds no task to register again.";
      return false;
    }
    if (!PutTaskBack(backup.task_path, backup.task_xml, problem))
      return false;
  } else if (backup.kind == kBackupKindValue) {
    platform::RegData back;
    if (!ReadRegRaw(key, "Data", &back)) {
      *problem = "The backup " + key + " holds no value to put back.";
      return false;
    }
    if (!PutValueBack(backup.reg_key, backup.reg_value, back, problem))
      return false;
  } else {
    *problem =
        "This version of Runwarden cannot restore a backup of the kind '" + backup.kind + "'.";
    return false;
  }
  if (!DeleteOwnBackup(key)) {
    *problem = "It is back in place, but its backup " + key + " could not be removed.";
    return false;
  }
  return true;
}

bool DeleteOwnBackup(const std::string& key) {
  return DeleteRegKey(key) == platform::kErrorSuccess || !RegKeyExists(key);
}
