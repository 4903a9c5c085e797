#include "platform/process.h"

#include <windows.h>
#include <tlhelp32.h>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

// The full path of the process's executable; empty when it may not be asked (a
// protected or another user's process, one that has just ended).
std::string ImagePath(DWORD id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  if (!process)
    return "";
  std::wstring buffer(32768, L'\0');
  DWORD length = static_cast<DWORD>(buffer.size());
  bool ok = QueryFullProcessImageNameW(process, 0, buffer.data(), &length) != 0;
  CloseHandle(process);
  return ok ? Narrow(std::wstring_view(buffer.data(), length)) : std::string();
}

}  // namespace

bool SnapshotProcesses(std::vector<ProcessEntry>* processes) {
  processes->clear();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    processes->push_back(
        {entry.th32ProcessID, NarrowBuffer(entry.szExeFile), ImagePath(entry.th32ProcessID)});
  CloseHandle(snapshot);
  return true;
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool EndProcessById(uint32_t id) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
  if (!process) return false;
  bool ok = TerminateProcess(process, 0) != 0;
  CloseHandle(process);
  return ok;
}

uint32_t StartProgram(const std::string& command_line, StartWindow window) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = window == StartWindow::kHidden ? SW_HIDE : SW_SHOWNORMAL;
  PROCESS_INFORMATION info{};
  std::wstring writable = Widen(command_line);  // CreateProcessW may write into it
  // No application name: the system's search, which looks in our own folder first.
  if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    return 0;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return info.dwProcessId;
}

}  // namespace platform
