// The settings malware hijacks to keep itself running or the user from removing it
// (Windows XP's Winlogon UIHost, the registry editor and task manager policies, how .exe
// files open), forced back to their good values before a scan.
#pragma once

#include <string>
#include <vector>

inline constexpr char kMachineSystemPolicies[] =
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
inline constexpr char kUserSystemPolicies[] =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// A system setting the repair watches: the value and the good text it writes back.
struct WatchedSetting {
  const char* key;
  const char* name;
  std::string good;
  bool as_dword;
};
std::vector<WatchedSetting> WatchedSettings();

// Writes the good value of every watched setting (platform version 5 only) and sets the
// "ALERT" value of the settings key to "1" when one of them held another value, else "0".
void RepairSystemSettings();
// Writes Good (as a REG_DWORD from its decimal text with AsDword) whatever the value held.
// True when the value held a different, non-empty text before (compared without case).
bool EnforceSetting(const std::string& key,
                    const std::string& name,
                    const std::string& good,
                    bool as_dword);
