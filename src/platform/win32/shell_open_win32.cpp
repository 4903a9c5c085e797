#include "platform/shell_open.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/common/test_switches.h"

namespace platform {
bool OpenWithShell(const std::string& verb, const std::string& file,
                   const std::string& parameters, const std::string& folder, int show) {
  if (const ShellOpenRecorder& recorder = test_switches::ShellOpen())
    return recorder(verb, file, parameters, folder, show);
  HINSTANCE result = ShellExecuteA(nullptr, verb.c_str(), file.c_str(), parameters.c_str(),
                                   folder.c_str(), show);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace platform
