#include "platform/rights.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "platform/common/test_switches.h"
#include "platform/events.h"
#include "platform/system.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

template <class Value>
bool QueryToken(TOKEN_INFORMATION_CLASS kind, Value* value) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
    return false;
  DWORD size = 0;
  bool ok = GetTokenInformation(token, kind, value, sizeof *value, &size);
  CloseHandle(token);
  return ok;
}

}  // namespace

ElevationType TokenElevation() {
  if (test_switches::Elevation())
    return *test_switches::Elevation();
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  // Before Vista the token has no elevation type: as good as Default.
  if (!QueryToken(::TokenElevationType, &type))
    return ElevationType::kDefault;
  switch (type) {
    case TokenElevationTypeFull:
      return ElevationType::kFull;
    case TokenElevationTypeLimited:
      return ElevationType::kLimited;
    default:
      return ElevationType::kDefault;
  }
}

bool IsElevated() {
  if (test_switches::Elevation())
    return *test_switches::Elevation() == ElevationType::kFull;
  TOKEN_ELEVATION elevation{};
  if (QueryToken(::TokenElevation, &elevation))
    return elevation.TokenIsElevated != 0;
  // Before Vista: an administrator has every right there is.
  return IsUserAnAdmin();
}

ElevatedStart StartElevated(const std::string& parameters, long* exit_code_or_error) {
  if (const ElevatedStarter& starter = test_switches::ElevatedStarts())
    return starter(parameters, exit_code_or_error);
  std::wstring file = Widen(ModulePath());
  std::wstring arguments = Widen(parameters);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  // Owned by the window in front, so the prompt comes up over it and not behind.
  info.hwnd = GetActiveWindow();
  info.lpVerb = L"runas";
  info.lpFile = file.c_str();
  info.lpParameters = arguments.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) {
    DWORD error = GetLastError();
    *exit_code_or_error = static_cast<long>(error);
    return error == ERROR_CANCELLED ? ElevatedStart::kRefused : ElevatedStart::kFailed;
  }
  if (!info.hProcess) {
    *exit_code_or_error = ERROR_INVALID_HANDLE;
    return ElevatedStart::kFailed;
  }
  // The window stays painted while the other copy works.
  while (MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_ALLINPUT) ==
         WAIT_OBJECT_0 + 1)
    DoEvents();
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  *exit_code_or_error = static_cast<long>(code);
  return ElevatedStart::kStarted;
}

}  // namespace platform
