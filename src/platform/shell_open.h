// Opening a file the way the shell does (ShellExecuteEx): a verb, parameters, a working
// folder and how the window is shown. The program uses it to start update.exe, msconfig
// and Notepad: a program that asks for elevation in its manifest gets its UAC prompt.
#pragma once

#include <functional>
#include <string>

namespace platform {

inline constexpr int kShowNormal = 1;

// True when the shell accepted the file.
bool OpenWithShell(const std::string& verb, const std::string& file,
                   const std::string& parameters, const std::string& folder, int show);
// The same, giving 0 or the system's error (ERROR_CANCELLED, 1223, when the user refused
// a UAC prompt).
long StartWithShell(const std::string& verb,
                    const std::string& file,
                    const std::string& parameters,
                    const std::string& folder,
                    int show);

// Records the calls instead of opening anything (tests); an empty function restores.
// A recorder's false reads as ERROR_FILE_NOT_FOUND.
using ShellOpenRecorder = std::function<bool(const std::string& verb, const std::string& file,
                                             const std::string& parameters,
                                             const std::string& folder, int show)>;
void SetShellOpenRecorderForTesting(ShellOpenRecorder recorder);

}  // namespace platform
