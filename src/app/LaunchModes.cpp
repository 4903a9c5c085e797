#include "app/LaunchModes.h"

#include <algorithm>

#include "app/AppInfo.h"
#include "app/ErrorScope.h"
#include "app/TextFunctions.h"
#include "app/Ini.h"
#include "platform/window.h"

std::string AppExePath;

namespace {

constexpr char kRootOfDriveMessage[] =
    "Please save this executable in a folder, not in the root of a drive to function properly!";

std::string SkipBlanks(const std::string& text, std::size_t from) {
  while (from < text.size() && (text[from] == ' ' || text[from] == '\t')) ++from;
  return text.substr(std::min(from, text.size()));
}

// Whether the leading text of a command line names this program: its full path, its
// file name or base name, or a path ending in either.
bool NamesProgram(const std::string& text, const std::string& exe_path) {
  std::string candidate = LowerCase(text);
  std::string path = LowerCase(exe_path);
  std::string name = path.substr(path.find_last_of('\\') + 1);
  std::string base = name.substr(0, name.find_last_of('.'));
  auto ends_with = [&](const std::string& tail) {
    return candidate.size() > tail.size() &&
           candidate.compare(candidate.size() - tail.size(), tail.size(), tail) == 0 &&
           (candidate[candidate.size() - tail.size() - 1] == '\\' ||
            candidate[candidate.size() - tail.size() - 1] == '/');
  };
  return candidate == path || candidate == name || candidate == base || ends_with(name) ||
         ends_with(base);
}

// When the command line starts with Path (quoted or not, in any case) the text after
// it goes to Rest. Unquoted, the path must end where the line or a blank does.
bool StartsWithProgramPath(const std::string& command_line, const std::string& path,
                           std::string* rest) {
  if (path.empty()) return false;
  std::string line = LowerCase(command_line);
  std::string wanted = LowerCase(path);
  if (line.rfind("\"" + wanted + "\"", 0) == 0) {
    *rest = SkipBlanks(command_line, wanted.size() + 2);
    return true;
  }
  std::size_t end = wanted.size();
  if (line.rfind(wanted, 0) == 0 &&
      (end == line.size() || line[end] == ' ' || line[end] == '\t')) {
    *rest = SkipBlanks(command_line, end);
    return true;
  }
  return false;
}

void RefreshInstalledMarker() {
  std::string ver_ini = AppFile("ver.ini");
  std::string key = AppExeName() + ".exe";
  if (GetIniValue(ver_ini, "Installed", key, "") != VersionText())
    SetIniValue(ver_ini, "Installed", key, VersionText());
}

}  // namespace

LaunchMode ChooseLaunchMode(const std::string& argument_text) {
  if (argument_text.empty()) return LaunchMode::kOptions;
  if (argument_text == "/options") return LaunchMode::kOptionsAnywhere;
  if (argument_text == "/s" || argument_text == "/scan" || argument_text == "/start")
    return LaunchMode::kGuard;
  if (argument_text == "/r" || argument_text == "/runonce" || argument_text == "/once")
    return LaunchMode::kScanOnce;
  if (argument_text == "/enable")
    return LaunchMode::kEnable;
  if (argument_text == "/enable /s")
    return LaunchMode::kEnableAndStart;
  if (argument_text == "/disable")
    return LaunchMode::kDisable;
  if (argument_text == "/resetrules")
    return LaunchMode::kResetRules;
  if (argument_text == "/blocked")
    return LaunchMode::kBlockedEntries;
  return LaunchMode::kTerminate;
}

std::string CommandArgumentText(const std::string& command_line, const std::string& exe_path,
                                const std::string& short_exe_path) {
  // The program's own path first: a folder named like the program ("Runwarden Test")
  // would otherwise end the path at its first blank.
  std::string rest;
  if (StartsWithProgramPath(command_line, exe_path, &rest) ||
      StartsWithProgramPath(command_line, short_exe_path, &rest))
    return rest;
  if (!command_line.empty() && command_line[0] == '"') {
    std::size_t close = command_line.find('"', 1);
    return close == std::string::npos ? "" : SkipBlanks(command_line, close + 1);
  }
  // Unquoted, the program's path may itself hold blanks (C:\Program Files\...): the
  // first blank after which the text before it names this program ends the path.
  for (std::size_t blank = command_line.find(' '); blank != std::string::npos;
       blank = command_line.find(' ', blank + 1)) {
    if (NamesProgram(command_line.substr(0, blank), exe_path))
      return SkipBlanks(command_line, blank);
  }
  if (NamesProgram(command_line, exe_path)) return "";
  std::size_t first_blank = command_line.find(' ');
  return first_blank == std::string::npos ? "" : SkipBlanks(command_line, first_blank);
}

MainOutcome Main(const std::string& argument_text, const ProgramModes& modes, int* exit_code) {
  ErrorScope error;
  if (exit_code)
    *exit_code = 0;
  MainOutcome outcome = MainOutcome::kReturn;
  auto run_action = [&](const std::function<int()>& action) {
    outcome = MainOutcome::kEndAtOnce;
    int code = action ? action() : 0;
    if (exit_code)
      *exit_code = code;
  };
  error.Try([] { AppExePath = AppFile(AppExeName() + ".exe"); });
  error.Try([] { RefreshInstalledMarker(); });

  error.Try([&] {
    switch (ChooseLaunchMode(argument_text)) {
      case LaunchMode::kOptions:
        if (AppFolder().size() <= 3) {
          platform::ShowMessageBox(kRootOfDriveMessage, "",
                                   platform::kMbOk | platform::kMbIconInformation);
          outcome = MainOutcome::kEndAtOnce;
          return;
        }
        if (modes.show_options) modes.show_options();
        break;
      case LaunchMode::kOptionsAnywhere:
        if (modes.show_options) modes.show_options();
        break;
      case LaunchMode::kGuard:
        if (modes.start_guard) modes.start_guard();
        break;
      case LaunchMode::kScanOnce:
        if (modes.scan_once) modes.scan_once();
        outcome = MainOutcome::kEndAtOnce;
        break;
      case LaunchMode::kTerminate:
        if (modes.terminate_processes) modes.terminate_processes(argument_text);
        outcome = MainOutcome::kEndAtOnce;
        break;
      case LaunchMode::kEnable:
        run_action(modes.enable);
        break;
      case LaunchMode::kEnableAndStart:
        run_action(modes.enable_and_start);
        break;
      case LaunchMode::kDisable:
        run_action(modes.disable);
        break;
      case LaunchMode::kResetRules:
        run_action(modes.reset_rules);
        break;
      case LaunchMode::kBlockedEntries:
        if (modes.show_blocked_entries)
          modes.show_blocked_entries();
        break;
    }
  });
  return outcome;
}
