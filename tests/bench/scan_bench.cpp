// How long a warm "/r" pass takes per entry. Not a test; it prints figures.
//   scan_bench [ENTRIES [RUNS]]
// Runwarden.exe is started as Windows starts its RunOnce value, RUNS times over ENTRIES
// Run values whose files are all on the Allowed list (by digest, the default), after
// one run that fills the digest cache; then RUNS times over no entry at all, which is
// the program's start-up and end. The difference over ENTRIES is what an entry costs.
// Then, inside this process, the same pass taken apart: collection, resolution, file
// checks, digests from the cache and the list lookups, each summed over the entries.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/TextFunctions.h"
#include "app/basFileFunctions.h"
#include "app/basMain.h"
#include "app/basSettings.h"
#include "guard/GuardWindows.h"
#include "guard/Md2.h"
#include "guard/RuleLists.h"
#include "guard/basGetFileFromCommand.h"
#include "guard/basGuard.h"
#include "guard/basScan.h"
#include "platform/files.h"
#include "registry/basReg.h"
#include "support/RegistrySandbox.h"
#include "support/TestFolder.h"

namespace {

constexpr char kHkcuRun[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string BuiltProgram() {
  std::string path = "Z:" RUNWARDEN_APP_DIR_UNIX "/Runwarden.exe";
  for (char& c : path)
    if (c == '/')
      c = '\\';
  return path;
}

// Starts the command line and waits for the program to end; its time in milliseconds.
double TimeRun(const std::string& command_line) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  Clock::time_point start = Clock::now();
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "cannot start %s\n", command_line.c_str());
    std::exit(1);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  double elapsed = MillisecondsSince(start);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return elapsed;
}

std::vector<double> TimeRuns(const std::string& command_line, int runs) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i)
    times.push_back(TimeRun(command_line));
  return times;
}

void Print(const char* what, const std::vector<double>& times) {
  std::printf("%-28s median %8.1f ms   min %8.1f ms   max %8.1f ms\n", what, Median(times),
              *std::min_element(times.begin(), times.end()),
              *std::max_element(times.begin(), times.end()));
}

}  // namespace

int main(int argc, char** argv) {
  int entries = argc > 1 ? std::atoi(argv[1]) : 200;
  int runs = argc > 2 ? std::atoi(argv[2]) : 7;
  if (entries < 1)
    entries = 200;
  if (runs < 1)
    runs = 7;

  // Only the planted entries in the autostart places, the settings key fresh.
  RegistrySandbox sandbox;
  for (const std::string& location : RegistryLocations())
    sandbox.Own(location);
  TestFolder folder;
  const std::string exe = folder.File("Runwarden.exe");
  if (!CopyFileA(BuiltProgram().c_str(), exe.c_str(), FALSE)) {
    std::fprintf(stderr, "cannot copy %s\n", BuiltProgram().c_str());
    return 1;
  }
  folder.Write("prerules.ini", "");
  folder.Write("virrules.ini", "");
  platform::CreateFolder(folder.File("programs"));

  std::string allowed;
  std::vector<std::string> names;
  for (int i = 0; i < entries; ++i) {
    std::string name = "tool" + std::to_string(i) + ".exe";
    std::string content = "MZ bench program " + std::to_string(i) + std::string(4096, 'x');
    std::string path = folder.Write("programs\\" + name, content);
    allowed += "<#>" + LowerCase(path) + "<#>" + Md2Hex(content);
    names.push_back("Bench Tool " + std::to_string(i));
    WriteRegValue(kHkcuRun, names.back(), "\"" + path + "\" /background");
  }
  WriteRegValue(kSettingsKey, "Allowed", allowed);

  const std::string once = "\"" + exe + "\" /r";
  // The first run of the day hashes every file; a warm pass finds the digests cached.
  double cold = TimeRun(once);
  if (EnumRegValues(kMutedKey).Count() != 0 || EnumRegValues(kHkcuRun).Count() != entries) {
    std::fprintf(stderr, "the pass muted an allowed entry: the set-up is wrong\n");
    return 1;
  }
  std::vector<double> with_entries = TimeRuns(once, runs);
  for (const std::string& name : names)
    DeleteRegValueNamed(kHkcuRun, name);
  std::vector<double> without = TimeRuns(once, runs);
  for (int i = 0; i < entries; ++i)
    WriteRegValue(
        kHkcuRun, names[i],
        "\"" + folder.File("programs\\tool" + std::to_string(i) + ".exe") + "\" /background");

  std::printf("Runwarden.exe /r under Wine, %d allowed entries, %d runs each\n", entries, runs);
  std::printf("%-28s %8.1f ms\n", "first (cold) run", cold);
  Print("warm, with the entries", with_entries);
  Print("warm, no entry (start-up)", without);
  double per_entry = (Median(with_entries) - Median(without)) / entries;
  std::printf("%-28s %8.3f ms\n\n", "per entry", per_entry);

  // The same pass inside this process, taken apart.
  ProgramLocation program(exe);
  AppExePath = exe;
  RunOnceMode = true;
  GuardWindows no_windows;
  std::vector<double> passes;
  for (int i = 0; i < runs; ++i) {
    Clock::time_point start = Clock::now();
    ScanStartup(no_windows);
    passes.push_back(MillisecondsSince(start));
  }
  Print("in-process pass", passes);

  double collect = 0, resolve = 0, exists = 0, digest = 0, lookup = 0;
  for (int i = 0; i < runs; ++i) {
    Clock::time_point start = Clock::now();
    StartupEntryList list = CollectStartupEntries();
    collect += MillisecondsSince(start);
    for (const StartupEntry& entry : list) {
      start = Clock::now();
      std::string file = ResolveCommandFile(entry.Command);
      resolve += MillisecondsSince(start);
      start = Clock::now();
      bool there = FileExists(file);
      exists += MillisecondsSince(start);
      start = Clock::now();
      std::string hash = there ? GetFileHashCached(file, kScanHashAlgorithm) : "";
      digest += MillisecondsSince(start);
      start = Clock::now();
      bool listed = IsAllowed(hash) || IsBlocked(hash);
      lookup += MillisecondsSince(start);
      if (!listed)
        std::fprintf(stderr, "not listed: %s\n", file.c_str());
    }
  }
  auto share = [&](const char* what, double total) {
    std::printf("  %-26s %8.3f ms per entry\n", what, total / runs / entries);
  };
  std::printf("where an entry's time goes (in this process):\n");
  share("collection (all keys)", collect);
  share("ResolveCommandFile", resolve);
  share("FileExists", exists);
  share("GetFileHashCached", digest);
  share("IsAllowed + IsBlocked", lookup);
  AppExePath.clear();
  RunOnceMode = false;
  return 0;
}
