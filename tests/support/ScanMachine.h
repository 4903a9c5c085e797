// A machine for scan and guard tests: every autostart key emptied, the Startup folders,
// windir (and with it the pss folder) inside a test folder, the program living in that
// folder (its logs and rule files go there), platform version 6 unless a test says
// otherwise; and the alert window replaced by a stand-in that records what the scan
// shows and answers as the test tells it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "guard/GuardWindows.h"
#include "platform/registry.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

// The repair (and the tests of what it leaves alone: Winlogon Shell and Userinit) write
// system keys that the Wine prefix itself uses: each such value is put back as it was (or
// removed again) when the guard goes.
class SystemValuesGuard : Scoped {
 public:
  SystemValuesGuard();
  ~SystemValuesGuard();

 private:
  struct Saved {
    std::string key, name;
    platform::RegData data;
    bool existed;
  };
  std::vector<Saved> saved_;
};

class ScanMachine : Scoped {
 public:
  ScanMachine();
  ~ScanMachine();

  const TestFolder& folder() const { return folder_; }
  std::string Startup() const { return folder_.File("Startup"); }
  std::string Pss() const { return folder_.File("windows\\pss"); }
  std::string Windir() const { return folder_.File("windows"); }
  // The program's own path (AppExePath); nothing is there.
  std::string Program() const { return folder_.File("Runwarden.exe"); }

  // A file of the machine: "programs\" Name with these bytes; its path.
  std::string Program(const std::string& name, const std::string& bytes) const;
  // A Run value of the user.
  void AddRunValue(const std::string& name, const std::string& command) const;
  // A shortcut in the user's Startup folder to Target; its path.
  std::string AddStartupShortcut(const std::string& name, const std::string& target) const;
  // Both rule files beside the program, as given.
  void WriteRules(const std::string& prerules, const std::string& virrules) const;
  // The option value ("1", "0") of the settings key.
  void SetOption(const std::string& name, const std::string& value) const;

  std::string EventLog() const { return folder_.Read("log.log"); }
  std::string ErrorLog() const { return folder_.Read("errlog.log"); }

 private:
  RegistrySandbox sandbox_;
  TestFolder folder_;
  ProgramLocation program_;
  ScopedVersion version_{6};
  ScopedEnv windir_;
  std::vector<std::unique_ptr<ScopedSpecialFolder>> folders_;
};

enum class Answer { kAllow, kBlock, kBlockForever };

struct AlertCall {
  StartupEntry entry;
  bool with_timer = false;
  std::string code, rating_text, file_name, hash;
};

struct NoticeCall {
  std::string message;
  uint32_t color = 0;
};

// Stands in for the alert window: answers each entry as `answers` says (by its name;
// Block when not named), and keeps every call.
class AlertStandIn {
 public:
  GuardWindows Windows();

  std::map<std::string, Answer> answers;
  // Runs while an alert is "up", before it is answered.
  std::function<void(const AlertCall&)> on_alert;

  std::vector<AlertCall> alerts;
  std::vector<NoticeCall> notices;
  std::vector<std::string> reports;
  int update_checks = 0;
  int hides = 0;
  int unloads = 0;
};
