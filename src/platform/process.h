// Running processes: a snapshot with executable names, termination, and starting a
// program without waiting for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
  uint32_t id = 0;
  std::string exe_name;    // the executable's file name, without folder
  std::string image_path;  // its full path; empty when the process may not be asked
};

// False when the snapshot cannot be taken.
bool SnapshotProcesses(std::vector<ProcessEntry>* processes);
uint32_t CurrentProcessId();
// Ends the process with exit code 0; false when it cannot be opened or ended.
bool EndProcessById(uint32_t id);

enum class StartWindow { kHidden, kNormal };

// Starts a command line (program, blank, arguments) and returns without waiting. A
// program given without folder is looked for in the running program's folder first,
// then along the usual search path. Returns the new process's id, 0 on failure.
uint32_t StartProgram(const std::string& command_line, StartWindow window);

}  // namespace platform
