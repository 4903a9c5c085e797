#include "platform/shell_open.h"

#include <windows.h>
#include <shellapi.h>

namespace platform {
namespace {

ShellOpenRecorder g_recorder;

}  // namespace

bool OpenWithShell(const std::string& verb, const std::string& file,
                   const std::string& parameters, const std::string& folder, int show) {
  if (g_recorder) return g_recorder(verb, file, parameters, folder, show);
  HINSTANCE result = ShellExecuteA(nullptr, verb.c_str(), file.c_str(), parameters.c_str(),
                                   folder.c_str(), show);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

void SetShellOpenRecorderForTesting(ShellOpenRecorder recorder) { g_recorder = std::move(recorder); }

}  // namespace platform
