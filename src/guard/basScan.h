// The scan pass over every autostart entry, with its decisions, and the repair of system
// settings that harmful programs take over.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "guard/GuardWindows.h"
#include "guard/StartupEntry.h"

// Set by the two runs at logon (GuardLoop): the guard rates entries and shows the
// harmful-file notices; the single scan mutes undecided entries instead of asking.
extern bool GuardMode;
extern bool RunOnceMode;

// The MD2 algorithm number of the platform's provider: every digest the scan takes.
inline constexpr uint32_t kScanHashAlgorithm = 0x8001;

inline constexpr char kErrorPromptTitle[] = "Please send error report!";

// One pass: loads the options, collects the entries afresh and decides each in turn:
// left alone (the program's own, allowed, undecided in RunOnceMode: muted), blocked
// without asking (listed as blocked, a missing file, a harmful digest), or asked about
// through Windows.ShowAlert and then allowed, blocked or blocked for ever. An error of
// the pass is sent as a report or logged with a prompt (see ReportScanError).
void ScanStartup(const GuardWindows& windows);
// The same pass over the entries Collect gives instead of every autostart place (the
// benchmark compares what reading the places costs).
void ScanStartup(const GuardWindows& windows, const std::function<StartupEntryList()>& collect);

// Whether File lies in the scheduled-tasks folder (windir "\tasks"), without case.
bool IsTaskFile(const std::string& file);

// The error check at the end of a pass: Report is the date and time, the description,
// the line and the last entry's command. With "Send Errors" on it goes to SubmitError;
// otherwise it is logged, and (outside RunOnceMode, while "ShowErr" is "1") the user is
// asked to send errlog.log; Cancel turns the prompt off for good.
void ReportScanError(const std::string& report,
                     const std::string& description,
                     const GuardWindows& windows);

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
