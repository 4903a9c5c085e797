#include "guard/SettingsRepair.h"

#include <string>
#include <vector>

#include "app/OsVersion.h"
#include "app/Settings.h"
#include "app/TextFunctions.h"
#include "platform/system.h"
#include "registry/Registry.h"

std::vector<WatchedSetting> WatchedSettings() {
  const char* winlogon = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
  const char* lm_system = kMachineSystemPolicies;
  const char* cu_system = kUserSystemPolicies;
  const char* lm_explorer =
      "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
  const char* cu_explorer =
      "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
  // Winlogon's Shell and Userinit are not forced back here: they are autostart places of
  // their own, where the scan keeps Windows' program and asks about each added one. Written
  // back before the scan, an added program would be gone unasked and without a backup, and
  // one the user allowed could never stay.
  return {
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
