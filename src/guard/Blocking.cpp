#include "guard/Blocking.h"

#include <vector>

#include "app/AppInfo.h"
#include "app/ErrorScope.h"
#include "app/Log.h"
#include "app/OsVersion.h"
#include "app/Paths.h"
#include "app/TextFunctions.h"
#include "guard/Locations.h"
#include "guard/OwnBackups.h"
#include "guard/Places.h"
#include "guard/RuleLists.h"
#include "guard/TaskEntries.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "registry/Registry.h"

namespace {

std::string ReplaceBackslashes(std::string text) {
  for (char& c : text)
    if (c == '\\')
      c = '^';
  return text;
}

bool HoldsText(const std::string& key, const std::string& name, const std::string& text) {
  platform::RegData data;
  return ReadRegRaw(key, name, &data) && data.type == platform::kRegSz && data.bytes == text + '\0';
}

std::string RootOf(const StartupEntry& entry) {
  return entry.Location.substr(0, 4);
}

std::string KeyOf(const StartupEntry& entry) {
  return RemoveAll(entry.Location, RootOf(entry) + "\\");
}

// Whether the backup in Key is this entry's own: the same place and the same command.
bool DescribesEntry(const std::string& key, const StartupEntry& entry) {
  if (entry.IsFile())
    return HoldsText(key, "path", entry.Location) && HoldsText(key, "command", entry.Command);
  return HoldsText(key, "hkey", RootOf(entry)) && HoldsText(key, "key", KeyOf(entry)) &&
         HoldsText(key, "command", entry.Command);
}

// Where this entry's backup goes: its own key name while that holds no backup or this
// entry's, otherwise the first "Name (n)" that does. Same-named values of HKCU and HKLM
// (an updater installs both) thus keep a backup each; msconfig restores each by its key.
std::string FreeBackupKey(const StartupEntry& entry) {
  std::string base = BackupKeyOf(entry);
  std::string parent = entry.IsFile() ? kStartupFolderBackupKey : kStartupRegBackupKey;
  for (int n = 1;; ++n) {
    std::string key = n == 1           ? base
                      : base == parent ? parent + "\\ (" + std::to_string(n) + ")"
                                       : base + " (" + std::to_string(n) + ")";
    if (EnumRegValues(key).Count() == 0 || DescribesEntry(key, entry))
      return key;
  }
}

// Writes the backup key value by value and checks every text came back as written.
class BackupWriter {
 public:
  explicit BackupWriter(std::string key) : key_(std::move(key)), existed_(RegKeyExists(key_)) {}

  void Text(const std::string& name, const std::string& text) {
    if (!ok_)
      return;
    NoteNew(name);
    ok_ = WriteRegValue(key_, name, text) == platform::kErrorSuccess && HoldsText(key_, name, text);
  }

  void Raw(const std::string& name, const platform::RegData& data) {
    if (!ok_)
      return;
    NoteNew(name);
    platform::RegData back;
    ok_ = WriteRegRaw(key_, name, data) == platform::kErrorSuccess &&
          ReadRegRaw(key_, name, &back) && back == data;
  }

  void Number(const std::string& name, int value) {
    if (!ok_)
      return;
    NoteNew(name);
    ok_ = WriteRegValue(key_, name, std::to_string(value), true) == platform::kErrorSuccess &&
          ReadRegValue(key_, name, "") == std::to_string(value);
  }

  // The time of the block, which msconfig shows from version 6 on.
  void TimeIfVersion6() {
    if (GetOSMajorVersion() <= 5)
      return;
    platform::LocalTime now = platform::Now();
    Number("HOUR", now.hour);
    Number("MINUTE", now.minute);
    Number("SECOND", now.second);
    Number("DAY", now.day);
    Number("MONTH", now.month);
    Number("YEAR", now.year);
  }

  bool ok() const { return ok_; }
  // A half-written backup would show msconfig an entry that is still in place. Only what
  // this backup added goes: the key when it made it, else the values it added; a backup
  // that was there before (this entry's own, being replaced) is never taken away.
  void Discard() {
    if (!existed_) {
      DeleteRegKey(key_);
      return;
    }
    for (const std::string& name : added_)
      DeleteRegValueNamed(key_, name);
  }

 private:
  void NoteNew(const std::string& name) {
    platform::RegData data;
    if (!ReadRegRaw(key_, name, &data))
      added_.push_back(name);
  }

  std::string key_;
  bool existed_;
  std::vector<std::string> added_;
  bool ok_ = true;
};

bool RemoveRegistryValue(const StartupEntry& entry, const std::string& file, ErrorScope& error) {
  BackupWriter backup(FreeBackupKey(entry));
  backup.Text("item", GetFileName(file));
  backup.Text("command", entry.Command);
  backup.Text("hkey", RootOf(entry));
  backup.Text("key", KeyOf(entry));
  backup.Text("inimapping", "0");
  backup.TimeIfVersion6();
  // What msconfig's values cannot say: the value's exact name and the value itself, type
  // and raw bytes, so that it can be put back as it was.
  backup.Text("RegValue", entry.Name);
  platform::RegData value;
  if (ReadRegRaw(entry.Location, entry.Name, &value))
    backup.Raw("Data", value);
  if (!backup.ok()) {
    backup.Discard();
    error.Raise("Cannot write the msconfig backup of '" + entry.Name + "' of " + entry.Location);
    return false;
  }
  if (DeleteRegValueNamed(entry.Location, entry.Name) != platform::kErrorSuccess) {
    error.Raise("Cannot delete the value '" + entry.Name + "' of " + entry.Location);
    return false;
  }
  return true;
}

// msconfig's startupreg backups describe the values of the keys whose every value is a
// command; a value elsewhere (a RunOnceEx section, Active Setup, Winlogon ...) would be
// put back by msconfig into the wrong place or not at all.
bool IsMsconfigLocation(const std::string& key) {
  for (const std::string& location : RegistryLocations())
    if (EqualsIgnoringCase(location, key))
      return true;
  return false;
}

bool RemoveOtherValue(const StartupEntry& entry, ErrorScope& error) {
  if (BackUpRegistryValue(entry.Location, entry.Name, entry.Name, entry.Command, entry.Location)
          .empty()) {
    error.Raise("Cannot write the backup of '" + entry.Name + "' of " + entry.Location);
    return false;
  }
  if (DeleteRegValueNamed(entry.Location, entry.Name) != platform::kErrorSuccess) {
    error.Raise("Cannot delete the value '" + entry.Name + "' of " + entry.Location);
    return false;
  }
  return true;
}

bool RemoveValuePart(const StartupEntry& entry, ErrorScope& error) {
  std::string record, problem;
  if (!TakeOutOfValue(entry, kBackupsKey, &record, &problem)) {
    error.Raise(problem);
    return false;
  }
  return true;
}

bool MoveStartupFile(const StartupEntry& entry, const std::string& pss_folder, ErrorScope& error) {
  if (!platform::FolderExists(pss_folder))
    platform::CreateFolder(pss_folder);
  std::string target = FreePathIn(pss_folder, GetFileName(entry.Location));
  BackupWriter backup(FreeBackupKey(entry));
  backup.Text("backup", target);
  backup.Text("item", entry.Name);
  backup.Text("command", entry.Command);
  backup.Text("location", GetOSMajorVersion() == 5 ? "startup" : GetFolderPath(entry.Location));
  backup.Text("path", entry.Location);
  backup.Text("inimapping", "0");
  if (GetOSMajorVersion() > 5)
    backup.Text("backupExtension", ".CommonStartup");
  backup.TimeIfVersion6();
  if (!backup.ok()) {
    backup.Discard();
    error.Raise("Cannot write the msconfig backup of " + entry.Location);
    return false;
  }
  if (!platform::RenameFile(entry.Location, target)) {
    backup.Discard();
    error.Raise("Cannot move " + entry.Location + " to " + target);
    return false;
  }
  return true;
}

// Nothing starts from a shortcut whose target is gone: it goes without a backup.
bool DeleteDeadFile(const StartupEntry& entry, ErrorScope& error) {
  if (!platform::RemoveFile(entry.Location)) {
    error.Raise("Cannot delete " + entry.Location);
    return false;
  }
  LogEvent("Deleted " + entry.Location);
  return true;
}

// Plain existence, whatever the attributes: a hidden system file is a file.
bool IsThere(const std::string& path) {
  uint32_t attributes = 0;
  return platform::ReadAttributes(path, &attributes);
}

bool RemoveStartupFile(const StartupEntry& entry,
                       const std::string& pss_folder,
                       ErrorScope& error) {
  if (!IsThere(entry.Location)) {
    error.Raise("Cannot find " + entry.Location);
    return false;
  }
  // Dead only when the target truly is not there; a target that cannot be read (an
  // installer's advertised shortcut has none) is not known to be dead.
  if (!entry.Command.empty() && !IsThere(entry.Command))
    return DeleteDeadFile(entry, error);
  return MoveStartupFile(entry, pss_folder, error);
}

}  // namespace

std::string BackupKeyOf(const StartupEntry& entry) {
  if (entry.IsFile())
    return std::string(kStartupFolderBackupKey) + "\\" + ReplaceBackslashes(entry.Location);
  // An entry without a name keeps its backup in the startupreg key itself. A backslash in
  // a value's name would make nested keys that no listing finds: the key's name has '^'
  // there, and "RegValue" keeps the name as it was.
  return entry.Name.empty()
             ? kStartupRegBackupKey
             : std::string(kStartupRegBackupKey) + "\\" + ReplaceBackslashes(entry.Name);
}

bool RemoveStartupEntry(const StartupEntry& entry,
                        const std::string& file,
                        const std::string& pss_folder) {
  ErrorScope error;
  bool removed = false;
  error.Try([&] {
    // One branch per kind of entry.
    if (entry.Kind == kKindFile)
      removed = RemoveStartupFile(entry, pss_folder, error);
    else if (entry.Kind == kKindRegistry || entry.Kind.empty())
      removed = IsMsconfigLocation(entry.Location) ? RemoveRegistryValue(entry, file, error)
                                                   : RemoveOtherValue(entry, error);
    else if (entry.Kind == kKindListItem || entry.Kind == kKindMovedFolder)
      removed = RemoveValuePart(entry, error);
    else if (entry.Kind == kKindTask)
      removed = RemoveTask(entry, error);
    else
      error.Raise("Cannot block an entry of the kind '" + entry.Kind + "'");
  });
  return removed;
}

void TerminateEntryProcesses(const std::string& file) {
  ErrorScope error;
  error.Try([&] {
    // Without a path the copy would open the options window instead.
    if (file.empty())
      return;
    // The whole path, so that the copy ends this file's processes and no other program
    // of the same name; quoted, for a path with blanks is one argument.
    platform::StartProgram(AppExeName() + ".exe \"" + file + "\"", platform::StartWindow::kHidden);
    platform::DoEvents();
  });
}
