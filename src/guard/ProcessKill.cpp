#include "guard/ProcessKill.h"

#include <vector>

#include "app/ErrorScope.h"
#include "app/TextFunctions.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"

namespace {

std::string Unquoted(const std::string& text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    return text.substr(1, text.size() - 2);
  return text;
}

std::string ComparablePath(const std::string& path) {
  return LowerCase(platform::LongPathName(path));
}

// What a caller asks for: a file by its path, or a program by its name.
class ProcessTarget {
 public:
  explicit ProcessTarget(const std::string& text) : text_(Unquoted(text)) {
    by_path_ = text_.find_first_of("\\:") != std::string::npos;
    if (by_path_)
      path_ = ComparablePath(text_);
  }

  bool Matches(const platform::ProcessEntry& process) const {
    if (!by_path_)
      return ProcessNameMatches(process.exe_name, text_);
    return !process.image_path.empty() && ComparablePath(process.image_path) == path_;
  }

  bool NamesThisProgram() const {
    return by_path_ && path_ == ComparablePath(platform::ModulePath());
  }

 private:
  std::string text_;
  bool by_path_ = false;
  std::string path_;  // the long form, lower case
};

}  // namespace

// Whole names only: a part of a name would let a blocked e.exe end explorer.exe.
bool ProcessNameMatches(const std::string& exe_name, const std::string& text) {
  if (text.empty() || exe_name.empty())
    return false;
  std::string name = LowerCase(exe_name);
  std::string wanted = LowerCase(text);
  if (name == wanted)
    return true;
  std::string::size_type dot = name.find_last_of('.');
  return dot != std::string::npos && dot > 0 && name.substr(0, dot) == wanted;
}

bool IsProcessRunning(const std::string& text) {
  ErrorScope error(ErrorScope::AtEnd::kClear);
  bool running = false;
  error.Try([&] {
    ProcessTarget target(text);
    std::vector<platform::ProcessEntry> processes;
    if (!platform::SnapshotProcesses(&processes))
      return;
    for (const platform::ProcessEntry& process : processes) {
      if (target.Matches(process)) {
        running = true;
        return;
      }
    }
  });
  return running;
}

void KillProcessByFile(const std::string& text) {
  ErrorScope error(ErrorScope::AtEnd::kClear);
  error.Try([&] {
    ProcessTarget target(text);
    std::vector<platform::ProcessEntry> processes;
    if (text.empty() || target.NamesThisProgram() || !platform::SnapshotProcesses(&processes))
      return;
    uint32_t self = platform::CurrentProcessId();
    for (const platform::ProcessEntry& process : processes) {
      // One that cannot be opened or is already gone is passed over.
      if (process.id != self && target.Matches(process))
        platform::EndProcessById(process.id);
    }
  });
}
