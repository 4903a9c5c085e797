#include "guard/ProcessKill.h"

#include <vector>

#include "app/ErrorScope.h"
#include "app/TextFunctions.h"
#include "platform/process.h"


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
    std::vector<platform::ProcessEntry> processes;
    if (!platform::SnapshotProcesses(&processes))
      return;
    for (const platform::ProcessEntry& process : processes) {
      if (ProcessNameMatches(process.exe_name, text)) {
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
    std::vector<platform::ProcessEntry> processes;
    if (text.empty() || !platform::SnapshotProcesses(&processes))
      return;
    uint32_t self = platform::CurrentProcessId();
    for (const platform::ProcessEntry& process : processes) {
      // One that cannot be opened or is already gone is passed over.
      if (process.id != self && ProcessNameMatches(process.exe_name, text))
        platform::EndProcessById(process.id);
    }
  });
}
