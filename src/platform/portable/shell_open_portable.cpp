#include "platform/shell_open.h"

#include <spawn.h>
#include <sys/stat.h>

#include <vector>

#include "platform/portable/host_path.h"
#include "platform/common/test_switches.h"

extern char** environ;

namespace platform {
// A host has no shell verbs: "open" on a file starts it when the host can run it.
long StartWithShell(const std::string& verb,
                    const std::string& file,
                    const std::string& parameters,
                    const std::string& folder,
                    int show) {
  constexpr long kFileNotFound = 2, kNoAssociation = 1155;
  if (const ShellOpenRecorder& recorder = test_switches::ShellOpen())
    return recorder(verb, file, parameters, folder, show) ? 0 : kFileNotFound;
  if (verb != "open")
    return kNoAssociation;
  std::string program = portable::ToHostPath(file);
  struct stat info {};
  if (program.empty() || stat(program.c_str(), &info) != 0)
    return kFileNotFound;
  if (!(info.st_mode & S_IXUSR))
    return kNoAssociation;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  std::string host_folder = portable::ToHostPath(folder);
  if (!host_folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, host_folder.c_str());
  std::vector<char*> arguments = {program.data()};
  std::string parameter_copy = parameters;
  if (!parameter_copy.empty()) arguments.push_back(parameter_copy.data());
  arguments.push_back(nullptr);
  pid_t child = 0;
  int result = posix_spawn(&child, program.c_str(), &actions, nullptr, arguments.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return result == 0 ? 0 : kFileNotFound;
}

bool OpenWithShell(const std::string& verb,
                   const std::string& file,
                   const std::string& parameters,
                   const std::string& folder,
                   int show) {
  return StartWithShell(verb, file, parameters, folder, show) == 0;
}

}  // namespace platform
