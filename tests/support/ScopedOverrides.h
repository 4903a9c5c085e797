// Test switches that undo themselves: an environment variable, a special folder, the
// platform's version, the clock, the Task Scheduler, the process's rights, the screen's
// dpi, message boxes and the shell, each restored when the object goes.
#pragma once

#include <string>
#include <vector>

#include "guard/LogonStart.h"
#include "platform/events.h"
#include "platform/rights.h"
#include "platform/shell.h"
#include "platform/shell_open.h"
#include "platform/system.h"
#include "platform/tasks.h"
#include "platform/window.h"

// Restores once: never copied.
struct Scoped {
  Scoped() = default;
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;
};

class ScopedEnv : Scoped {
 public:
  ScopedEnv(std::string name, const std::string& value)
      : name_(std::move(name)), old_(platform::GetEnv(name_)) {
    platform::SetEnv(name_, value);
  }
  ~ScopedEnv() { platform::SetEnv(name_, old_); }

 private:
  std::string name_, old_;
};

class ScopedSpecialFolder : Scoped {
 public:
  ScopedSpecialFolder(int number, const std::string& path) : number_(number) {
    platform::SetSpecialFolderForTesting(number, path);
  }
  ~ScopedSpecialFolder() { platform::SetSpecialFolderForTesting(number_, ""); }

 private:
  int number_;
};

// The major version, and the minor one when given (otherwise the real one stays).
class ScopedVersion : Scoped {
 public:
  explicit ScopedVersion(int major, int minor = -1) {
    platform::SetMajorVersionForTesting(major);
    platform::SetMinorVersionForTesting(minor);
  }
  ~ScopedVersion() {
    platform::SetMajorVersionForTesting(0);
    platform::SetMinorVersionForTesting(-1);
  }
};

class ScopedScreenDpi : Scoped {
 public:
  explicit ScopedScreenDpi(int32_t dpi) { platform::SetScreenDpiForTesting(dpi); }
  ~ScopedScreenDpi() { platform::SetScreenDpiForTesting(0); }
};

class ScopedNow : Scoped {
 public:
  explicit ScopedNow(const platform::LocalTime& now) { platform::SetNowForTesting(now); }
  ~ScopedNow() { platform::SetNowForTesting({}); }
};

// The tick count moves only when the test advances it.
class ManualClock : Scoped {
 public:
  ManualClock() { platform::UseManualClockForTesting(true); }
  ~ManualClock() { platform::UseManualClockForTesting(false); }
};

struct ShownBox {
  std::string text, title;
  uint32_t style = 0;
};

// Every message box shown while it lives, answered with `answer`.
class MessageBoxRecorder : Scoped, public std::vector<ShownBox> {
 public:
  MessageBoxRecorder() {
    platform::SetMessageBoxResponderForTesting(
        [this](const std::string& text, const std::string& title, uint32_t style) {
          push_back({text, title, style});
          return answer;
        });
  }
  ~MessageBoxRecorder() { platform::SetMessageBoxResponderForTesting(nullptr); }
  int answer = platform::kIdOk;
};

struct ShellCall {
  std::string verb, file, parameters, folder;
  int show = 0;
  bool operator==(const ShellCall&) const = default;
};

// Every file the shell is asked to open while it lives (nothing opens); the shell
// answers `accepts`.
class ShellOpenLog : Scoped, public std::vector<ShellCall> {
 public:
  ShellOpenLog() {
    platform::SetShellOpenRecorderForTesting(
        [this](const std::string& verb, const std::string& file, const std::string& parameters,
               const std::string& folder, int show) {
          push_back({verb, file, parameters, folder, show});
          return accepts;
        });
  }
  ~ShellOpenLog() { platform::SetShellOpenRecorderForTesting(nullptr); }
  bool accepts = true;
};

// The logon tasks' place in the Task Scheduler (the earlier one task's too), emptied
// before and after (under Wine the prefix's real scheduler), with the service behaving as
// Service says meanwhile.
class TaskSandbox : Scoped {
 public:
  explicit TaskSandbox(
      platform::TaskServiceForTesting service = platform::TaskServiceForTesting::kReal) {
    Clear();
    platform::SetTaskServiceForTesting(service);
  }
  ~TaskSandbox() {
    platform::SetTaskServiceForTesting(platform::TaskServiceForTesting::kReal);
    for (const std::string& path : planted_) {
      platform::DeleteTask(path);
      // Its folders too, where nothing else is left in them.
      for (std::string::size_type cut = path.find_last_of('\\');
           cut != 0 && cut != std::string::npos; cut = path.find_last_of('\\', cut - 1))
        platform::DeleteTaskFolder(path.substr(0, cut));
    }
    Clear();
  }

  // Registers a task of the test's own, removed again (with the folders it made) when
  // the sandbox goes.
  long Plant(const std::string& path, const std::string& xml) {
    planted_.push_back(path);
    return platform::RegisterTask(path, xml);
  }

  // How many of the two logon tasks are registered.
  static int Registered() {
    int registered = 0;
    for (const LogonTask& task : kLogonTasks)
      registered += platform::TaskExists(task.path) ? 1 : 0;
    return registered;
  }

 private:
  static void Clear() {
    platform::SetTaskServiceForTesting(platform::TaskServiceForTesting::kReal);
    for (const char* task : {kGuardTask.path, kScanTask.path, kOldLogonTaskPath})
      platform::DeleteTask(task);
    platform::DeleteTaskFolder(kLogonTaskFolder);
    platform::ResetTasksForTesting();
  }

  std::vector<std::string> planted_;
};

// A token of this elevation type, and an elevated start that only records its
// parameters and answers as Result says.
class ScopedElevation : Scoped {
 public:
  explicit ScopedElevation(platform::ElevationType type) {
    platform::SetElevationForTesting(type);
    platform::SetElevatedStarterForTesting([this](const std::string& parameters, long* code) {
      started.push_back(parameters);
      *code = code_;
      return result_;
    });
  }
  ~ScopedElevation() {
    platform::ClearElevationForTesting();
    platform::SetElevatedStarterForTesting(nullptr);
  }

  // What the next elevated starts give: the outcome and the exit code (or error).
  void Answer(platform::ElevatedStart result, long code) {
    result_ = result;
    code_ = code;
  }
  std::vector<std::string> started;

 private:
  platform::ElevatedStart result_ = platform::ElevatedStart::kStarted;
  long code_ = 0;
};
