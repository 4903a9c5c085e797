#include "platform/shell_open.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/common/test_switches.h"
#include "platform/win32/wide_text.h"

namespace platform {

long StartWithShell(const std::string& verb,
                    const std::string& file,
                    const std::string& parameters,
                    const std::string& folder,
                    int show) {
  if (const ShellOpenRecorder& recorder = test_switches::ShellOpen())
    return recorder(verb, file, parameters, folder, show) ? 0 : ERROR_FILE_NOT_FOUND;
  std::wstring wide_verb = Widen(verb), wide_file = Widen(file);
  std::wstring wide_parameters = Widen(parameters), wide_folder = Widen(folder);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // No error box of the shell's own: the caller says what went wrong.
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = GetActiveWindow();
  info.lpVerb = wide_verb.empty() ? nullptr : wide_verb.c_str();
  info.lpFile = wide_file.c_str();
  info.lpParameters = wide_parameters.empty() ? nullptr : wide_parameters.c_str();
  info.lpDirectory = wide_folder.empty() ? nullptr : wide_folder.c_str();
  info.nShow = show;
  if (ShellExecuteExW(&info))
    return 0;
  DWORD error = GetLastError();
  return error ? static_cast<long>(error) : ERROR_GEN_FAILURE;
}

bool OpenWithShell(const std::string& verb, const std::string& file,
                   const std::string& parameters, const std::string& folder, int show) {
  return StartWithShell(verb, file, parameters, folder, show) == 0;
}

}  // namespace platform
