#include "platform/shell_open.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/common/test_switches.h"
#include "platform/win32/wide_text.h"

namespace platform {
bool OpenWithShell(const std::string& verb, const std::string& file,
                   const std::string& parameters, const std::string& folder, int show) {
  if (const ShellOpenRecorder& recorder = test_switches::ShellOpen())
    return recorder(verb, file, parameters, folder, show);
  HINSTANCE result = ShellExecuteW(nullptr, Widen(verb).c_str(), Widen(file).c_str(),
                                   Widen(parameters).c_str(), Widen(folder).c_str(), show);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace platform
