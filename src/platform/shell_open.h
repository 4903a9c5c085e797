// Opening a file the way the shell does (ShellExecute): a verb, parameters, a working
// folder and how the window is shown. The program uses it to start update.exe.
#pragma once

#include <functional>
#include <string>

namespace platform {

inline constexpr int kShowNormal = 1;

// True when the shell accepted the file.
bool OpenWithShell(const std::string& verb, const std::string& file,
                   const std::string& parameters, const std::string& folder, int show);

// Records the calls instead of opening anything (tests); an empty function restores.
using ShellOpenRecorder = std::function<bool(const std::string& verb, const std::string& file,
                                             const std::string& parameters,
                                             const std::string& folder, int show)>;
void SetShellOpenRecorderForTesting(ShellOpenRecorder recorder);

}  // namespace platform
