#include "guard/Blocking.h"

#include "app/AppInfo.h"
#include "app/ErrorScope.h"
#include "app/TextFunctions.h"
#include "app/basFileFunctions.h"
#include "app/basLog.h"
#include "app/basShortPath.h"
#include "app/basWindows.h"
#include "guard/RuleLists.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "registry/basReg.h"

namespace {

std::string ReplaceBackslashes(std::string text) {
  for (char& c : text)
    if (c == '\\')
      c = '^';
  return text;
}

// Writes the backup key value by value and checks every text came back as written.
class BackupWriter {
 public:
  explicit BackupWriter(std::string key) : key_(std::move(key)) {}

  void Text(const std::string& name, const std::string& text) {
    if (!ok_)
      return;
    platform::RegData back;
    ok_ = WriteRegValue(key_, name, text) == platform::kErrorSuccess &&
          ReadRegRaw(key_, name, &back) && back.type == platform::kRegSz &&
          back.bytes == text + '\0';
  }

  void Number(const std::string& name, int value) {
    if (!ok_)
      return;
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
  // A half-written backup would show msconfig an entry that is still in place.
  void Discard() { DeleteRegKey(key_); }

 private:
  std::string key_;
  bool ok_ = true;
};

bool RemoveRegistryValue(const StartupEntry& entry, const std::string& file, ErrorScope& error) {
  BackupWriter backup(BackupKeyOf(entry));
  std::string root = entry.Location.substr(0, 4);
  backup.Text("item", GetFileName(file));
  backup.Text("command", entry.Command);
  backup.Text("hkey", root);
  backup.Text("key", RemoveAll(entry.Location, root + "\\"));
  backup.Text("inimapping", "0");
  backup.TimeIfVersion6();
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

bool MoveStartupFile(const StartupEntry& entry, const std::string& pss_folder, ErrorScope& error) {
  if (!platform::FolderExists(pss_folder))
    platform::CreateFolder(pss_folder);
  std::string target = FreePathIn(pss_folder, GetFileName(entry.Location));
  BackupWriter backup(BackupKeyOf(entry));
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

}  // namespace

std::string BackupKeyOf(const StartupEntry& entry) {
  if (entry.IsFile())
    return std::string(kStartupFolderBackupKey) + "\\" + ReplaceBackslashes(entry.Location);
  // An entry without a name keeps its backup in the startupreg key itself.
  return entry.Name.empty() ? kStartupRegBackupKey
                            : std::string(kStartupRegBackupKey) + "\\" + entry.Name;
}

bool RemoveStartupEntry(const StartupEntry& entry,
                        const std::string& file,
                        const std::string& pss_folder) {
  ErrorScope error;
  bool removed = false;
  error.Try([&] {
    if (!entry.IsFile())
      removed = RemoveRegistryValue(entry, file, error);
    else if (FileExists(entry.Command))
      removed = MoveStartupFile(entry, pss_folder, error);
    else
      removed = DeleteDeadFile(entry, error);
  });
  return removed;
}

void TerminateEntryProcesses(const std::string& file) {
  ErrorScope error;
  error.Try([&] {
    std::string program = AppExeName() + ".exe ";
    for (const std::string& name : {GetFileBaseName(GetShortPath(file)), GetFileBaseName(file)}) {
      // Without a name the copy would open the options window instead.
      if (!name.empty())
        platform::StartProgram(program + name, platform::StartWindow::kHidden);
    }
    platform::DoEvents();
  });
}
