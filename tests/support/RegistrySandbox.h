// Clears the registry keys the tests use, before and after each test, so every test
// starts on a machine without them (under Wine: the real prefix registry).
#pragma once

#include <string>
#include <vector>

#include "guard/GuardLoop.h"
#include "guard/Places.h"
#include "guard/Scan.h"
#include "guard/SettingsRepair.h"
#include "platform/registry.h"

// The program's own key names, by the short names the tests use.
inline constexpr auto& kHkcuRun = kUserRunKey;
inline constexpr auto& kHklmRun = kRunKey;
inline constexpr auto& kHklmRunOnce = kRunOnceKey;
inline constexpr auto& kWinlogon = kWinlogonKey;
inline constexpr auto& kLmSystem = kMachineSystemPolicies;
inline constexpr auto& kCuSystem = kUserSystemPolicies;

class RegistrySandbox {
 public:
  RegistrySandbox();
  ~RegistrySandbox();
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;

  // Also clears Path (a registry path such as "HKCU\Software\X") now and at the end.
  void Own(const std::string& path);
  // Also empties one value of a key the system keeps (Winlogon, Environment ...) now, and
  // at the end puts back what it held before (or deletes it again).
  void OwnValue(const std::string& key, const std::string& name);
  // Also deletes a file of a place other tests share (a Startup folder) now and at the end.
  void OwnFile(const std::string& path);

 private:
  struct SavedValue {
    std::string key, name;
    bool had = false;
    platform::RegData data;
  };
  void ClearAll();
  std::vector<std::string> paths_, files_;
  std::vector<SavedValue> values_;
};

// Deletes the key named by a registry path with all its subkeys.
void DeleteRegTree(const std::string& path);
// The names of the values of a key.
std::vector<std::string> ValueNames(const std::string& key);
bool HasValue(const std::string& key, const std::string& name);
