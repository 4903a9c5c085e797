#include "platform/rights.h"

#include <spawn.h>
#include <sys/wait.h>

#include <vector>

#include "platform/common/test_switches.h"
#include "platform/portable/host_path.h"
#include "platform/system.h"

extern char** environ;

namespace platform {

// A host has no UAC: a process has the rights it has, as on Windows with UAC off.
ElevationType TokenElevation() {
  return test_switches::Elevation().value_or(ElevationType::kDefault);
}

bool IsElevated() {
  return !test_switches::Elevation() || *test_switches::Elevation() == ElevationType::kFull;
}

ElevatedStart StartElevated(const std::string& parameters, long* exit_code_or_error) {
  if (const ElevatedStarter& starter = test_switches::ElevatedStarts())
    return starter(parameters, exit_code_or_error);
  std::string program = portable::ToHostPath(ModulePath());
  std::string argument = parameters;
  std::vector<char*> arguments = {program.data()};
  if (!argument.empty())
    arguments.push_back(argument.data());
  arguments.push_back(nullptr);
  pid_t child = 0;
  if (program.empty() ||
      posix_spawn(&child, program.c_str(), nullptr, nullptr, arguments.data(), environ) != 0) {
    *exit_code_or_error = 2;  // ERROR_FILE_NOT_FOUND
    return ElevatedStart::kFailed;
  }
  int status = 0;
  waitpid(child, &status, 0);
  *exit_code_or_error = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  return ElevatedStart::kStarted;
}

}  // namespace platform
