#include "guard/basScan.h"

#include <algorithm>
#include <vector>

#include "app/AppInfo.h"
#include "app/ErrorScope.h"
#include "app/Rights.h"
#include "app/TextFunctions.h"
#include "app/basFileFunctions.h"
#include "app/basLog.h"
#include "app/basMain.h"
#include "app/basSettings.h"
#include "app/basShortPath.h"
#include "app/basWindows.h"
#include "guard/Blocking.h"
#include "guard/HashCache.h"
#include "guard/ListKey.h"
#include "guard/Places.h"
#include "guard/ProcessKill.h"
#include "guard/RuleLists.h"
#include "guard/TaskEntries.h"
#include "guard/basGetFileFromCommand.h"
#include "guard/basGuard.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/window.h"
#include "registry/basReg.h"

bool GuardMode = false;
bool RunOnceMode = false;

namespace {

constexpr char kHarmfulStillRunning[] =
    "A harmful file instance has been blocked but cannot be terminated! More info : ";
constexpr char kHarmfulBlocked[] =
    "A harmful file has been blocked sucessfully. Logoff/Restart to block it completely! More "
    "info : ";
// How long the hidden copies get to end a harmful file's processes before the notice
// says whether they are gone.
constexpr uint32_t kTerminationWaitMs = 5000;

// Where an entry's handling goes on after its decision: the tails of the pass.
enum class Tail {
  kNext,                // left as it is
  kBlockForever,        // listed as blocked, then terminated and removed
  kTerminateAndRemove,  // already listed: terminated and removed
  kRemove,              // removed only (a plain Block)
};

// Code and text of a rating result "code<#>text".
void SplitRating(const std::string& result, std::string* code, std::string* text) {
  std::string::size_type cut = result.find("<#>");
  *code = result.substr(0, cut).substr(0, 1);
  *text = cut == std::string::npos ? "" : result.substr(cut + 3);
}

std::string Trimmed(const std::string& text) {
  std::string::size_type first = text.find_first_not_of(' ');
  if (first == std::string::npos)
    return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool PastTick(uint32_t tick) {
  return static_cast<int32_t>(platform::TickCount() - tick) >= 0;
}

// True when a process of File is still running after the hidden copies had their time
// to end it; messages run meanwhile.
bool StillRunningAfterTermination(const std::string& file) {
  uint32_t deadline = platform::TickCount() + kTerminationWaitMs;
  while (IsProcessRunning(file)) {
    if (PastTick(deadline))
      return true;
    platform::DoEvents();
    platform::Idle(100);
  }
  return false;
}

// The name a path ends with, in lower case, without the dots and blanks Windows drops
// from its end.
std::string LowerFileName(const std::string& path) {
  std::string name = LowerCase(path.substr(path.find_last_of("\\/") + 1));
  while (!name.empty() && (name.back() == '.' || name.back() == ' '))
    name.pop_back();
  return name;
}

// This program's own file, whatever the case or 8.3 form of the path that names it. Its
// long path and the names it goes by are looked up once per pass, when they are first
// needed: looking a path up on disk costs more than the rest of an allowed entry, so
// only a path whose name may stand for this file (its long or 8.3 name, or a pattern)
// is looked up itself.
class ThisProgram {
 public:
  bool Is(const std::string& file) {
    if (AppExePath.empty())
      return false;
    std::string lower = LowerCase(file);
    if (lower == LowerCase(AppExePath))
      return true;
    if (long_path_.empty()) {
      long_path_ = LowerCase(platform::LongPathName(AppExePath));
      names_ = {LowerFileName(AppExePath), LowerFileName(long_path_),
                LowerFileName(platform::ShortPathName(AppExePath))};
    }
    std::string name = LowerFileName(lower);
    bool pattern = name.find_first_of("*?<>\"") != std::string::npos;
    if (!pattern && std::find(names_.begin(), names_.end(), name) == names_.end())
      return false;
    return LowerCase(platform::LongPathName(file)) == long_path_;
  }

 private:
  std::string long_path_;
  std::vector<std::string> names_;
};

// What a pass carries from one entry to the next.
struct PassState {
  ListLookup lists;
  ThisProgram program;
  // No entry's handling has changed anything or let the user act yet, so what the pass
  // found before its walk (which files exist) still holds.
  bool untouched = true;
};

// The file an entry starts, which the lists know it by: one branch per kind.
std::string EntryFile(const StartupEntry& entry) {
  if (entry.Kind == kKindMovedFolder)
    return ExpandedFolderPath(entry.Command);
  return ResolveCommandFile(RunnableCommand(entry));
}

// One entry of a pass, from its command to what was done with it.
class EntryVisit {
 public:
  EntryVisit(const StartupEntry& entry,
             const std::string& pss_folder,
             const GuardWindows& windows,
             PassState& pass,
             ErrorScope& error)
      : entry_(entry), pss_folder_(pss_folder), windows_(windows), pass_(pass), error_(error) {}

  // File is the entry's resolved file; Existed whether it was there before the walk, and
  // Digest its digest taken then. A file an earlier entry's handling took away has none
  // now, as one that came meanwhile gets its own.
  void Run(const std::string& file, bool existed, const std::string* digest) {
    file_ = file;
    if (entry_.Kind == kKindMovedFolder) {
      // A folder has no digest: it is known by its path.
      exists_ = platform::FolderExists(file_);
      record_ = {file_, "", file_};
    } else {
      exists_ = pass_.untouched ? existed : FileExists(file_);
      if (exists_)
        hash_ = digest ? *digest : GetFileHashCached(file_, kScanHashAlgorithm);
      is_task_ = IsTaskFile(file_);
      runs_script_host_ = !ScriptHostOf(entry_.Command, file_).empty();
      // A task is known by its path: its digest is that of a job file that changes.
      record_ = ListRecordOf(entry_.Command, file_, hash_, OptBlockByHash && !is_task_);
      if (RunsSeveralPrograms(entry_))
        record_ = {file_, CommandTextKey(entry_.Command), CommandTextKey(entry_.Command)};
    }
    Tail tail = Decide();
    if (tail != Tail::kNext)
      Touch();
    switch (tail) {
      case Tail::kNext:
        return;
      case Tail::kBlockForever:
        ListAsBlocked();
        [[fallthrough]];
      case Tail::kTerminateAndRemove:
        Terminate();
        [[fallthrough]];
      case Tail::kRemove:
        if (!RemoveStartupEntry(entry_, file_, pss_folder_))
          error_.Raise("Cannot block the entry '" + entry_.Name + "'");
    }
  }

 private:
  Tail Decide() {
    if (GuardMode) {
      if (!hash_.empty()) {
        SplitRating(CheckVirusRules(hash_), &code_, &rating_text_);
        if (OptAutoBlockHarmful && UpperCase(code_) == "X") {
          LogEvent("Blocked Harmful File '" + file_ + "'");
          harmful_ = true;
          // The file itself harms, whatever it is named: listed and ended as itself.
          record_ = {file_, hash_, hash_};
          runs_script_host_ = false;
          return Tail::kBlockForever;
        }
      }
      SplitRating(CheckPreRules(entry_.Name, GetFileName(file_)), &code_, &rating_text_);
    }
    // The program's own autostart entries are never touched.
    if (pass_.program.Is(file_))
      return Tail::kNext;
    if (LimitedRights)
      return HoldBackUserValue();
    if (!exists_ && OptAutoBlockMissing) {
      LogEvent("Blocked File Not Exists '" + file_ + "'");
      return Tail::kBlockForever;
    }
    if (Trimmed(file_).empty())
      return OptAutoBlockMissing ? Tail::kBlockForever : Tail::kNext;

    if (pass_.lists.IsAllowed(record_.key))
      return Tail::kNext;
    if (pass_.lists.IsBlocked(record_.key))
      return Tail::kTerminateAndRemove;

    // From here on the entry is changed, or the user asked, whatever the outcome.
    Touch();
    if (RunOnceMode) {
      error_.Try([] { RepairSystemSettings(); });
      if (!MuteEntry(entry_, pss_folder_))
        error_.Raise("Cannot mute the entry '" + entry_.Name + "'");
      return Tail::kNext;
    }

    bool block = false;
    bool allow = windows_.ShowAlert && windows_.ShowAlert(entry_, block, OptAutoBlockEntries, code_,
                                                          rating_text_, GetFileName(file_), hash_);
    if (allow) {
      if (long status = AppendToList("Allowed", record_.file, record_.hash))
        error_.Raise("Cannot write the Allowed list (" + DescribeFailure(status) + ")");
      LogEvent("Allowed File '" + record_.file + "'");
      return Tail::kNext;
    }
    return block ? Tail::kBlockForever : Tail::kRemove;
  }

  // Later entries look at the files and the lists afresh.
  void Touch() {
    pass_.untouched = false;
    pass_.lists.Forget();
  }

  // Without the machine's settings nothing can be listed, and nothing blocked with its
  // backup: the early scan holds back the user's own values that are not allowed, and
  // the guard puts them back.
  Tail HoldBackUserValue() {
    if (!RunOnceMode || !IsUserRegistryEntry(entry_))
      return Tail::kNext;
    if (pass_.lists.IsAllowed(record_.key))
      return Tail::kNext;
    Touch();
    if (!MuteEntry(entry_, pss_folder_))
      error_.Raise("Cannot mute the entry '" + entry_.Name + "'");
    return Tail::kNext;
  }

  // A missing file is not listed: there is nothing to recognise it by, unless the
  // entry is known by its command text.
  void ListAsBlocked() {
    if (entry_.Kind != kKindMovedFolder && !FileExists(record_.file) &&
        record_.key != CommandTextKey(entry_.Command))
      return;
    if (long status = AppendToList("Blocked", record_.file, record_.hash))
      error_.Raise("Cannot write the Blocked list (" + DescribeFailure(status) + ")");
    LogEvent("Blocked File '" + record_.file + "'");
  }

  // A script host's processes run every other script too: they are left alone.
  void Terminate() {
    if (!OptTerminateBlockedForever || is_task_ || runs_script_host_ || file_.empty() ||
        !FileExists(file_) || GetShortPath(file_).empty())
      return;
    TerminateEntryProcesses(file_);
    if (!GuardMode || !harmful_)
      return;
    PlaySoundFile(AppFile("detection.wav"));
    if (!windows_.ShowAlert2)
      return;
    if (StillRunningAfterTermination(file_))
      windows_.ShowAlert2(kHarmfulStillRunning + rating_text_, kNoticeRed);
    else
      windows_.ShowAlert2(kHarmfulBlocked + rating_text_, kNoticeBlue);
    harmful_ = false;
  }

  const StartupEntry& entry_;
  const std::string& pss_folder_;
  const GuardWindows& windows_;
  PassState& pass_;
  ErrorScope& error_;
  std::string file_, hash_, code_, rating_text_;
  ListRecord record_;    // what the entry is known by in the lists
  bool exists_ = false;  // as the visit began
  bool is_task_ = false;
  bool runs_script_host_ = false;
  bool harmful_ = false;
};

}  // namespace

std::vector<WatchedSetting> WatchedSettings() {
  const char* winlogon = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
  const char* lm_system = kMachineSystemPolicies;
  const char* cu_system = kUserSystemPolicies;
  const char* lm_explorer =
      "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
  const char* cu_explorer =
      "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
  return {
      {winlogon, "shell", "explorer.exe", false},
      {winlogon, "userinit", platform::GetEnv("windir") + "\\system32\\userinit.exe,", false},
      {winlogon, "uihost", "%windir%\\resources\\logon\\logonui.exe", false},
      {lm_system, "DisableRegistryTools", "0", true},
      {cu_system, "DisableRegistryTools", "0", true},
      {lm_system, "DisableTaskMgr", "0", true},
      {cu_system, "DisableTaskMgr", "0", true},
      {lm_explorer, "NoFolderOptions", "0", true},
      {cu_explorer, "NoFolderOptions", "0", true},
      {"HKCR\\.exe", "", "exefile", false},
      {"HKCR\\exefile\\shell\\open\\command", "", "\"%1\" %*", false},
      {lm_explorer, "DisallowRun", "0", true},
      {cu_explorer, "DisallowRun", "0", true},
  };
}

bool EnforceSetting(const std::string& key,
                    const std::string& name,
                    const std::string& good,
                    bool as_dword) {
  std::string current = ReadRegValue(key, name, "");
  bool different = !current.empty() && LowerCase(current) != LowerCase(good);
  WriteRegValue(key, name, good, as_dword);
  return different;
}

// Errors are left to the caller, which goes on with its own work.
void RepairSystemSettings() {
  if (GetOSMajorVersion() >= 6)
    return;
  bool changed = false;
  for (const WatchedSetting& setting : WatchedSettings())
    if (EnforceSetting(setting.key, setting.name, setting.good, setting.as_dword))
      changed = true;
  WriteRegValue(kSettingsKey, "ALERT", changed ? "1" : "0");
}

bool IsTaskFile(const std::string& file) {
  std::string tasks = LowerCase(platform::GetEnv("windir") + "\\tasks");
  return LowerCase(file).compare(0, tasks.size(), tasks) == 0;
}

void ScanStartup(const GuardWindows& windows) {
  ScanStartup(windows, CollectStartupEntries);
}

void ScanStartup(const GuardWindows& windows, const std::function<StartupEntryList()>& collect) {
  ErrorScope error;
  // The command of the entry whose handling raised the error being reported.
  std::string failed_command;
  error.Try([&] {
    LoadOptions();
    std::string pss_folder = PssFolder();
    if (!platform::FolderExists(pss_folder))
      platform::CreateFolder(pss_folder);
    StartupEntryList entries = collect();
    // Every command resolved first, so that the digests of all the files there are taken
    // together, in the order of the walk: those the cache does not know are read side
    // by side instead of one after the other.
    std::vector<std::string> files(entries.size());
    std::vector<bool> there(entries.size(), false);
    std::vector<std::string> existing;
    PassState pass;
    int raised_before_walk = error.raised();
    for (std::size_t i = 0; i < entries.size(); ++i) {
      error.Try([&] {
        files[i] = EntryFile(entries[i]);
        there[i] = FileExists(FileAsCommandSpellsIt(RunnableCommand(entries[i]), files[i]));
        if (there[i])
          existing.push_back(files[i]);
      });
    }
    // A file whose check failed is looked at again in its visit.
    if (error.raised() != raised_before_walk)
      pass.untouched = false;
    std::vector<std::string> digests;
    error.Try([&] { digests = GetFileHashesCached(existing, kScanHashAlgorithm); });
    std::size_t next_digest = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::string* digest = nullptr;
      if (there[i] && next_digest < digests.size())
        digest = &digests[next_digest++];
      int raised_before = error.raised();
      // A step that fails ends this entry's visit; the pass goes on with the next.
      error.Try([&] {
        EntryVisit(entries[i], pss_folder, windows, pass, error).Run(files[i], there[i], digest);
      });
      if (error.raised() != raised_before)
        failed_command = entries[i].Command;
    }
  });
  if (!error.pending())
    return;
  std::string report = error.Text() + " " + failed_command;
  std::string description = error.description();
  error.Clear();
  error.Try([&] { ReportScanError(report, description, windows); });
}

void ReportScanError(const std::string& report,
                     const std::string& description,
                     const GuardWindows& windows) {
  if (OptSendErrors) {
    if (windows.SubmitError)
      windows.SubmitError(report);
    return;
  }
  LogError(report);
  if (RunOnceMode || ReadRegValue(kSettingsKey, "ShowErr", "1") != "1")
    return;
  std::string text = "Error : " + description +
                     "\r\nRunwarden got an error! You have selected not to send error logs, "
                     "Please send the file : 'errlog.log', found in application dir, to " +
                     SupportEmailAddress() + "!\r\n\r\nDo you want to see this message again?";
  if (platform::ShowMessageBox(text, kErrorPromptTitle, platform::kMbOkCancel) ==
      platform::kIdCancel)
    WriteRegValue(kSettingsKey, "ShowErr", "0");
}
