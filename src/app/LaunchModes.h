// The program's entry: where it lives, the "Installed" marker in ver.ini, and the
// choice of mode from the command line.
#pragma once

#include <functional>
#include <string>

// The program's folder, a backslash, the executable's name and ".exe".
extern std::string AppExePath;

// The modes Main dispatches to. The start-up code fills them in, so that this layer
// does not reach up into the guard and the windows.
struct ProgramModes {
  std::function<void()> show_options;                              // none or "/options"
  std::function<void()> start_guard;                               // "/s" "/scan" "/start"
  std::function<void()> scan_once;                                 // "/r" "/runonce" "/once"
  std::function<void(const std::string&)> terminate_processes;     // any other text
  // One action each, for the setup, the uninstaller and the options window's elevated
  // copy: silent, a failure logged, the platform's status (0 done) as exit code.
  std::function<int()> enable;            // "/enable": the guard starts at every logon
  std::function<int()> enable_and_start;  // "/enable /s": the same, and the guard now
  std::function<int()> disable;           // "/disable"
  std::function<int()> reset_rules;       // "/resetrules": empty Allowed and Blocked lists
  // "/blocked": the Blocked Entries window alone (the options window's elevated copy).
  std::function<void()> show_blocked_entries;
};

enum class MainOutcome {
  kReturn,     // Main returned normally: the program lives while a window is open
  kEndAtOnce,  // end the process now, without unloading anything
};

enum class LaunchMode {
  kOptions,
  kOptionsAnywhere,
  kGuard,
  kScanOnce,
  kTerminate,
  kEnable,
  kEnableAndStart,
  kDisable,
  kResetRules,
  kBlockedEntries,
};

// The mode for the argument text: whole-string, case-sensitive switches.
LaunchMode ChooseLaunchMode(const std::string& argument_text);

// The text after the program's own path on a full command line, whether Windows passed
// the path quoted or unquoted with blanks in it. The program's full path and its short
// (8.3) form are recognised first, without regard to case; only a line that starts with
// neither is cut by the looser rule (a name, a path ending in the program's name).
std::string CommandArgumentText(const std::string& command_line, const std::string& exe_path,
                                const std::string& short_exe_path = "");

// Exit code, when given, receives the status of a one-action switch (0 otherwise).
MainOutcome Main(const std::string& argument_text,
                 const ProgramModes& modes,
                 int* exit_code = nullptr);
