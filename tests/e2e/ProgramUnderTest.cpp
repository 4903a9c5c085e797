#include "ProgramUnderTest.h"

#include <tlhelp32.h>

#include <vector>

std::string BuiltProgramPath() {
  return WinePath(RUNWARDEN_APP_DIR_UNIX "/Runwarden.exe");
}

bool InstallProgramAt(const std::string& path) {
  std::string folder = path.substr(0, path.find_last_of('\\'));
  CreateDirectoryA(folder.c_str(), nullptr);
  return CopyFileA(BuiltProgramPath().c_str(), path.c_str(), FALSE) != 0;
}

RunningProgram::RunningProgram(const std::string& command_line) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process_))
    process_ = {};
}

RunningProgram::~RunningProgram() {
  if (!process_.hProcess)
    return;
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
    if (search.found)
      return search.found;
    if (WaitForSingleObject(process_.hProcess, 100) == WAIT_OBJECT_0)
      return nullptr;
  } while (static_cast<LONG>(deadline - GetTickCount()) > 0);
  return nullptr;
}

bool RunningProgram::WaitForExit(DWORD timeout_ms, DWORD* exit_code) const {
  if (WaitForSingleObject(process_.hProcess, timeout_ms) != WAIT_OBJECT_0)
    return false;
  if (exit_code)
    GetExitCodeProcess(process_.hProcess, exit_code);
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

HWND RunningProgram::WaitForWindow(const std::wstring& class_name,
                                   const std::wstring& text,
                                   DWORD timeout_ms) const {
  DWORD deadline = GetTickCount() + timeout_ms;
  do {
    for (HWND window = FindWindowExW(nullptr, nullptr, class_name.c_str(), text.c_str()); window;
         window = FindWindowExW(nullptr, window, class_name.c_str(), text.c_str())) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == process_.dwProcessId && IsWindowVisible(window))
        return window;
    }
    if (WaitForSingleObject(process_.hProcess, 50) == WAIT_OBJECT_0)
      return nullptr;
  } while (static_cast<LONG>(deadline - GetTickCount()) > 0);
  return nullptr;
}

std::wstring WideWindowText(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

HWND FindDescendant(HWND parent, const std::wstring& class_name, const std::wstring& text) {
  struct Search {
    const std::wstring& class_name;
    const std::wstring& text;
    HWND found;
  } search{class_name, text, nullptr};
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM data) -> BOOL {
        auto* search = reinterpret_cast<Search*>(data);
        wchar_t name[64] = {};
        GetClassNameW(child, name, 64);
        if (_wcsicmp(name, search->class_name.c_str()) == 0 &&
            WideWindowText(child) == search->text) {
          search->found = child;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring ProcessCommandLine(DWORD process_id) {
  // Read from the process's own memory: its PEB names its parameters, which hold the
  // command line (64-bit layout).
  using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<Query>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess"));
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id);
  if (!query || !process)
    return L"";
  struct BasicInformation {
    void* exit_status;
    char* peb;
    ULONG_PTR affinity, priority, id, parent;
  } basic{};
  struct Text {
    USHORT length, capacity;
    ULONG padding;
    wchar_t* buffer;
  } text{};
  std::wstring line;
  char* parameters = nullptr;
  if (query(process, 0, &basic, sizeof basic, nullptr) == 0 &&
      ReadProcessMemory(process, basic.peb + 0x20, &parameters, sizeof parameters, nullptr) &&
      ReadProcessMemory(process, parameters + 0x70, &text, sizeof text, nullptr)) {
    line.resize(text.length / sizeof(wchar_t));
    if (!ReadProcessMemory(process, text.buffer, line.data(), text.length, nullptr))
      line.clear();
  }
  CloseHandle(process);
  return line;
}

void PressLater(HWND button) {
  PostMessageW(button, BM_CLICK, 0, 0);
}

namespace {

std::string ImagePath(DWORD process_id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  if (!process)
    return "";
  char path[MAX_PATH * 2] = {};
  DWORD length = sizeof path;
  std::string image;
  if (QueryFullProcessImageNameA(process, 0, path, &length))
    image.assign(path, length);
  CloseHandle(process);
  return image;
}

}  // namespace

void EndProcessesStartedFrom(const std::string& folder) {
  std::string prefix = folder + "\\";
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE)
    return;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  std::vector<DWORD> ours;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    std::string image = ImagePath(entry.th32ProcessID);
    if (image.size() > prefix.size() &&
        _strnicmp(image.c_str(), prefix.c_str(), prefix.size()) == 0)
      ours.push_back(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  for (DWORD id : ours) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (!process)
      continue;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
}
