#include "platform/process.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include "platform/portable/host_path.h"
#include "platform/system.h"

namespace platform {
namespace {

bool IsNumber(const char* text) {
  if (!*text) return false;
  for (; *text; ++text)
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
  return true;
}

// The command line's words; double quotes group blanks into a word and are dropped.
std::vector<std::string> SplitCommandLine(const std::string& command_line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char c : command_line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (c == ' ' && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

bool IsExecutable(const std::string& host) {
  struct stat info;
  return !host.empty() && stat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         access(host.c_str(), X_OK) == 0;
}

// The host file for the program word: a path as given; a bare name in the running
// program's folder first (also without a ".exe" the host's programs lack), else the
// search path.
std::string FindProgram(const std::string& program) {
  if (program.find_first_of("\\/:") != std::string::npos) return portable::ToHostPath(program);
  std::string own = ModulePath();
  std::string::size_type cut = own.find_last_of('\\');
  std::string folder = cut == std::string::npos ? "" : own.substr(0, cut);
  std::vector<std::string> names{program};
  if (program.size() > 4 && program.substr(program.size() - 4) == ".exe")
    names.push_back(program.substr(0, program.size() - 4));
  for (const std::string& name : names) {
    std::string host = portable::ToHostPath(folder + "\\" + name);
    if (IsExecutable(host)) return host;
  }
  return program;  // left to execvp's search
}

}  // namespace

bool SnapshotProcesses(std::vector<ProcessEntry>* processes) {
  processes->clear();
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  while (dirent* entry = readdir(proc)) {
    if (!IsNumber(entry->d_name)) continue;
    char target[4096];
    std::string link = std::string("/proc/") + entry->d_name + "/exe";
    // Processes we may not look at, and ended ones not yet reaped, have no readable exe.
    ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) continue;
    std::string path(target, static_cast<std::size_t>(length));
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.ends_with(deleted))
      path.resize(path.size() - deleted.size());
    std::string::size_type cut = path.find_last_of('/');
    processes->push_back({static_cast<uint32_t>(std::stoul(entry->d_name)),
                          cut == std::string::npos ? path : path.substr(cut + 1),
                          portable::FromHostPath(path)});
  }
  closedir(proc);
  return true;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

bool EndProcessById(uint32_t id) {
  if (id == 0) return false;
  return kill(static_cast<pid_t>(id), SIGKILL) == 0;
}

// Started through a short-lived middle process, so the program is nobody's child here
// and leaves no zombie behind when it ends. The window style means nothing on this host.
uint32_t StartProgram(const std::string& command_line, StartWindow) {
  std::vector<std::string> words = SplitCommandLine(command_line);
  if (words.empty()) return 0;
  std::string program = FindProgram(words[0]);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv[0] = program.data();
  argv.push_back(nullptr);

  int report[2];
  if (pipe(report) != 0) return 0;
  pid_t middle = fork();
  if (middle < 0) {
    close(report[0]);
    close(report[1]);
    return 0;
  }
  if (middle == 0) {
    close(report[0]);
    pid_t child = fork();
    if (child == 0) {
      close(report[1]);
      setsid();
      execvp(program.c_str(), argv.data());
      _exit(127);
    }
    int32_t id = child > 0 ? child : 0;
    ssize_t written = write(report[1], &id, sizeof id);
    _exit(written == sizeof id ? 0 : 1);
  }
  close(report[1]);
  int32_t id = 0;
  ssize_t got;
  do {
    got = read(report[0], &id, sizeof id);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  return got == sizeof id ? static_cast<uint32_t>(id) : 0;
}

}  // namespace platform
