#include "ProgramUnderTest.h"

#include <vector>

std::string BuiltProgramPath() {
  std::string path = "Z:" RUNWARDEN_APP_DIR_UNIX "/Runwarden.exe";
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

bool InstallProgramAt(const std::string& path) {
  std::string folder = path.substr(0, path.find_last_of('\\'));
  CreateDirectoryA(folder.c_str(), nullptr);
  return CopyFileA(BuiltProgramPath().c_str(), path.c_str(), FALSE) != 0;
}

DWORD StartSleeper(const TestFolder& folder, const std::string& name) {
  std::string sleeper = "Z:" RUNWARDEN_SLEEPER_UNIX;
  for (char& c : sleeper)
    if (c == '/') c = '\\';
  std::string path = folder.File(name);
  if (!CopyFileA(sleeper.c_str(), path.c_str(), FALSE)) return 0;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string line = "\"" + path + "\" 60";
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info))
    return 0;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return info.dwProcessId;
}

bool WaitUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 300; ++i) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

RunningProgram::RunningProgram(const std::string& command_line) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process_))
    process_ = {};
}

RunningProgram::~RunningProgram() {
  if (!process_.hProcess) return;
  if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
    TerminateProcess(process_.hProcess, 1);
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

namespace {

struct DialogSearch {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<DialogSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char class_name[64] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  if (owner == search->process_id && IsWindowVisible(window) &&
      std::string(class_name) == "#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND RunningProgram::WaitForDialog(DWORD timeout_ms) const {
  DWORD deadline = GetTickCount() + timeout_ms;
  do {
    DialogSearch search{process_.dwProcessId, nullptr};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (WaitForSingleObject(process_.hProcess, 100) == WAIT_OBJECT_0) return nullptr;
  } while (static_cast<LONG>(deadline - GetTickCount()) > 0);
  return nullptr;
}

bool RunningProgram::WaitForExit(DWORD timeout_ms, DWORD* exit_code) const {
  if (WaitForSingleObject(process_.hProcess, timeout_ms) != WAIT_OBJECT_0) return false;
  if (exit_code) GetExitCodeProcess(process_.hProcess, exit_code);
  return true;
}

std::string WindowText(HWND window) {
  char text[1024] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string MessageBoxText(HWND dialog) {
  char text[1024] = {};
  GetDlgItemTextA(dialog, 0xFFFF, text, sizeof text);
  return text;
}
