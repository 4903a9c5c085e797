#include "support/ScanMachine.h"

#include "app/LaunchModes.h"
#include "app/Settings.h"
#include "guard/Blocking.h"
#include "guard/GuardLoop.h"
#include "guard/Locations.h"
#include "guard/RuleLists.h"
#include "guard/Scan.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/window.h"
#include "registry/Registry.h"

namespace {

void ResetModes() {
  GuardMode = false;
  RunOnceMode = false;
  KeepGuarding = false;
  LimitedRights = false;
  LimitGuardPassesForTesting(0);
}

}  // namespace

SystemValuesGuard::SystemValuesGuard() {
  std::vector<std::pair<std::string, std::string>> values = {{kWinlogon, "Shell"},
                                                             {kWinlogon, "Userinit"}};
  for (const WatchedSetting& setting : WatchedSettings())
    values.emplace_back(setting.key, setting.name);
  for (const auto& [key, name] : values) {
    Saved saved{key, name, {}, false};
    saved.existed = ReadRegRaw(key, name, &saved.data);
    saved_.push_back(saved);
  }
}

SystemValuesGuard::~SystemValuesGuard() {
  for (const Saved& saved : saved_) {
    if (saved.existed)
      WriteRegRaw(saved.key, saved.name, saved.data);
    else
      DeleteRegValueNamed(saved.key, saved.name);
  }
}

ScanMachine::ScanMachine()
    : program_(folder_.File("Runwarden.exe")), windir_("windir", folder_.File("windows")) {
  for (const std::string& location : RegistryLocations())
    sandbox_.Own(location);
  sandbox_.Own(kStartupRegBackupKey);
  sandbox_.Own(kStartupFolderBackupKey);
  platform::CreateFolder(folder_.File("windows"));
  platform::CreateFolder(folder_.File("programs"));
  for (int number : {platform::kFolderStartup, platform::kFolderCommonStartup,
                     platform::kFolderAltStartup, platform::kFolderCommonAltStartup}) {
    std::string path = number == platform::kFolderStartup
                           ? Startup()
                           : folder_.File("Startup" + std::to_string(number));
    platform::CreateFolder(path);
    folders_.push_back(std::make_unique<ScopedSpecialFolder>(number, path));
  }
  AppExePath = Program();
  ResetModes();
}

ScanMachine::~ScanMachine() {
  ResetModes();
  AppExePath.clear();
}

std::string ScanMachine::Program(const std::string& name, const std::string& bytes) const {
  return folder_.Write("programs\\" + name, bytes);
}

void ScanMachine::AddRunValue(const std::string& name, const std::string& command) const {
  WriteRegValue(kHkcuRun, name, command);
}

std::string ScanMachine::AddStartupShortcut(const std::string& name,
                                            const std::string& target) const {
  std::string link = Startup() + "\\" + name + ".lnk";
  platform::CreateShortcut(link, target);
  return link;
}

void ScanMachine::WriteRules(const std::string& prerules, const std::string& virrules) const {
  folder_.Write("prerules.ini", prerules);
  folder_.Write("virrules.ini", virrules);
}

void ScanMachine::SetOption(const std::string& name, const std::string& value) const {
  WriteRegValue(kSettingsKey, name, value);
}

GuardWindows AlertStandIn::Windows() {
  GuardWindows windows;
  windows.ShowAlert = [this](const StartupEntry& entry, bool& block, bool with_timer,
                             const std::string& code, const std::string& rating_text,
                             const std::string& file_name, const std::string& hash) {
    AlertCall call{entry, with_timer, code, rating_text, file_name, hash};
    alerts.push_back(call);
    if (on_alert)
      on_alert(call);
    auto found = answers.find(entry.Name);
    Answer answer = found == answers.end() ? Answer::kBlock : found->second;
    block = answer == Answer::kBlockForever;
    return answer == Answer::kAllow;
  };
  windows.ShowAlert2 = [this](const std::string& message, uint32_t color) {
    notices.push_back({message, color});
  };
  windows.CheckUpdates = [this] { ++update_checks; };
  windows.SubmitError = [this](const std::string& report) { reports.push_back(report); };
  windows.HideAlert = [this] { ++hides; };
  windows.UnloadWindows = [this] { ++unloads; };
  return windows;
}
