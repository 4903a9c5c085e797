// What a warm "/r" pass costs per entry, and what the autostart places cost to read.
// Not a test; it prints figures. Run it in a prefix of its own (it plants Run values):
//   WINEPREFIX=/tmp/bench-prefix cmake/wine-run.sh build/windows/bench/scan_bench.exe
//       [RUNS [ENTRIES ...]]
//
// 1. Per entry, as a new user has it: ENTRIES (50 and 200) Run values, each starting its
//    own copy of one small program (so every file has the same digest), in a folder of
//    its own with the case an installer gives it. They are allowed the way the user
//    allows them: a guard pass inside this process whose alert answers Allow, so the
//    Allowed list holds what the program itself writes. Then Runwarden.exe is started
//    as Windows starts its RunOnce value, with "Block detection based on md5 checksum"
//    on and off: RUNS rounds of a run with the entries and one without them (the
//    machine is shared: a round's two runs share its load). The median of the rounds'
//    differences over ENTRIES is an entry's cost, start-up excluded. The same pass
//    inside this process (3 x RUNS rounds), with and without the entries, gives it
//    again without the process, and the pass is taken apart into its steps.
// 2. The places: a warm pass inside this process over the prefix as it is (no entry
//    planted), once reading every autostart place and once only the 26 registry
//    locations and the Startup folders read before the new places came, in turn
//    (4 x RUNS rounds).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/LaunchModes.h"
#include "app/Paths.h"
#include "app/Settings.h"
#include "app/TextFunctions.h"
#include "guard/CommandResolution.h"
#include "guard/GuardWindows.h"
#include "guard/HashCache.h"
#include "guard/ListKey.h"
#include "guard/Locations.h"
#include "guard/RuleLists.h"
#include "guard/Scan.h"
#include "guard/TaskEntries.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/TestFolder.h"

namespace {

constexpr char kBlockByHash[] = "chkBlock_Detection(3)";

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Timed(const std::function<void()>& work) {
  Clock::time_point start = Clock::now();
  work();
  return MillisecondsSince(start);
}

// The program built beside this benchmark, or the one RUNWARDEN_BENCH_PROGRAM names (to
// measure another build in the same conditions).
std::string BuiltProgram() {
  if (const char* other = std::getenv("RUNWARDEN_BENCH_PROGRAM"))
    return other;
  std::string path = "Z:" RUNWARDEN_APP_DIR_UNIX "/Runwarden.exe";
  std::replace(path.begin(), path.end(), '/', '\\');
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

// The Run values of the planted programs: "Tool N" = "...\Tools\Tool N\Tool.exe" /background.
class PlantedEntries {
 public:
  PlantedEntries(const TestFolder& folder, int count) {
    // One small program, copied into each folder: every copy has the same digest.
    const std::string program = "MZ small program" + std::string(16 * 1024, 'p');
    platform::CreateFolder(folder.File("Tools"));
    for (int i = 0; i < count; ++i) {
      std::string subfolder = "Tools\\Tool " + std::to_string(i);
      platform::CreateFolder(folder.File(subfolder));
      std::string path = folder.Write(subfolder + "\\Tool.exe", program);
      names_.push_back("Tool " + std::to_string(i));
      commands_.push_back("\"" + path + "\" /background");
    }
    Plant();
  }
  void Plant() const {
    for (std::size_t i = 0; i < names_.size(); ++i)
      WriteRegValue(kHkcuRun, names_[i], commands_[i]);
  }
  void Remove() const {
    for (const std::string& name : names_)
      DeleteRegValueNamed(kHkcuRun, name);
  }
  bool AllInPlace() const {
    for (std::size_t i = 0; i < names_.size(); ++i)
      if (ReadRegValue(kHkcuRun, names_[i], "") != commands_[i])
        return false;
    return true;
  }
  int count() const { return static_cast<int>(names_.size()); }

 private:
  std::vector<std::string> names_, commands_;
};

int ListedPairs() {
  std::string list = GetAllowedList();
  int separators = 0;
  for (std::string::size_type at = list.find("<#>"); at != std::string::npos;
       at = list.find("<#>", at + 3))
    ++separators;
  return separators / 2;
}

// Medians of RUNS rounds, each timing the work with the entries and then without them.
// An entry's cost is the median of the rounds' differences over the entries: a round's
// two runs share the machine's load of the moment.
struct InTurn {
  double with = 0, without = 0, per_entry = 0;
};

InTurn TimeInTurn(const PlantedEntries& entries, int runs, const std::function<double()>& work) {
  std::vector<double> with, without, differences;
  for (int i = 0; i < runs; ++i) {
    with.push_back(work());
    entries.Remove();
    without.push_back(work());
    entries.Plant();
    differences.push_back((with.back() - without.back()) / entries.count());
  }
  return {Median(with), Median(without), Median(differences)};
}

// A pass of this process as the early scan makes it.
double InProcessPass() {
  GuardWindows no_windows;
  RunOnceMode = true;
  double elapsed = Timed([&] { ScanStartup(no_windows); });
  RunOnceMode = false;
  return elapsed;
}

// The pass's steps as the pass takes them: the collection of every place, then each step
// of an entry summed over the entries.
void PrintBreakdown(int runs, int count) {
  double collect = 0, resolve = 0, exists = 0, digests = 0, records = 0, lookup = 0;
  for (int run = 0; run < runs; ++run) {
    LoadOptions();
    StartupEntryList list;
    collect += Timed([&] { list = CollectStartupEntries(); });
    std::vector<std::string> files, existing;
    std::vector<const StartupEntry*> visited;
    resolve += Timed([&] {
      for (const StartupEntry& entry : list)
        files.push_back(ResolveCommandFile(entry.Command));
    });
    exists += Timed([&] {
      for (std::size_t i = 0; i < files.size(); ++i) {
        if (FileExists(FileAsCommandSpellsIt(list[i].Command, files[i]))) {
          existing.push_back(files[i]);
          visited.push_back(&list[i]);
        }
      }
    });
    std::vector<std::string> hashes;
    digests += Timed([&] { hashes = GetFileHashesCached(existing, kScanHashAlgorithm); });
    std::vector<std::string> keys;
    records += Timed([&] {
      for (std::size_t i = 0; i < hashes.size(); ++i)
        keys.push_back(
            ListRecordOf(visited[i]->Command, existing[i], hashes[i], OptBlockByHash).key);
    });
    lookup += Timed([&] {
      ListLookup lists;
      for (const std::string& key : keys)
        if (!lists.IsAllowed(key))
          lists.IsBlocked(key);
    });
  }
  std::printf("    %-30s %7.3f ms per pass\n", "collection (every place)", collect / runs);
  auto share = [&](const char* what, double total) {
    std::printf("    %-30s %7.3f ms per entry\n", what, total / runs / count);
  };
  share("ResolveCommandFile", resolve);
  share("FileExists", exists);
  share("GetFileHashesCached", digests);
  share("ListRecordOf", records);
  share("list lookups (lists read once)", lookup);
  share("these steps together", resolve + exists + digests + records + lookup);
}

void MeasureEntries(const TestFolder& folder, const std::string& exe, int count, int runs) {
  PlantedEntries entries(folder, count);
  // Allowed as the user allows them: the guard asks, the user answers Allow. Matched by
  // path, each copy is asked about and listed, path and digest; matched by digest, the
  // first Allow would cover them all.
  WriteRegValue(kSettingsKey, "Allowed", "");
  WriteRegValue(kSettingsKey, kBlockByHash, "0");
  GuardWindows allow;
  allow.ShowAlert = [](const StartupEntry&, bool&, bool, const std::string&, const std::string&,
                       const std::string&, const std::string&) { return true; };
  GuardMode = true;
  ScanStartup(allow);
  GuardMode = false;
  if (ListedPairs() != count) {
    std::fprintf(stderr, "%d entries, %d pairs on the Allowed list\n", count, ListedPairs());
    std::exit(1);
  }

  const std::string once = "\"" + exe + "\" /r";
  for (const char* mode : {"1", "0"}) {
    WriteRegValue(kSettingsKey, kBlockByHash, mode);
    double cold = TimeRun(once);
    if (EnumRegValues(kMutedKey).Count() != 0 || !entries.AllInPlace()) {
      std::fprintf(stderr, "checksum option %s: the pass muted an allowed entry\n", mode);
      RestoreMutedEntries();
      std::exit(1);
    }
    InTurn process = TimeInTurn(entries, runs, [&] { return TimeRun(once); });
    // A pass alone is short and the machine's load comes in bursts: three times the rounds.
    InTurn pass = TimeInTurn(entries, 3 * runs, InProcessPass);
    std::printf(
        "%d allowed entries, \"Block detection based on md5 checksum\" %s (%d rounds, %d "
        "in this process)\n",
        count, *mode == '1' ? "on" : "off", runs, 3 * runs);
    std::printf(
        "  Runwarden.exe /r      with %7.1f ms  without %7.1f ms  per entry %6.3f ms"
        "  (first run %.1f ms)\n",
        process.with, process.without, process.per_entry, cold);
    std::printf("  pass in this process  with %7.1f ms  without %7.1f ms  per entry %6.3f ms\n",
                pass.with, pass.without, pass.per_entry);
    PrintBreakdown(runs, count);
  }
  entries.Remove();
  WriteRegValue(kSettingsKey, kBlockByHash, "1");
}

// The registry locations read before the new places, and the Startup folders.
StartupEntryList CollectOldPlaces() {
  static const char* const kOldKeys[] = {
      "HKLM\\Software\\Policies\\Microsoft\\Windows\\System\\Scripts\\Startup",
      "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
      "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
      "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
      "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
      "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
      "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\RunonceEx",
      "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
      "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\RunonceEx",
      "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
      "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
      "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
      "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
      "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
      "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
      "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
      "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
      "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
      "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
      "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\Load",
      "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\Run",
      "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
      "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
      "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
      "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
      "HKCU\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
      "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
      "HKCU\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
      "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\RunonceEx",
      "HKCU\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
      "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
      "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\BootExecute",
      "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\SetupExecute",
      "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Execute",
      "HKLM\\Software\\Microsoft\\Command Processor\\Autorun",
      "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Command Processor\\Autorun",
      "HKCU\\Software\\Microsoft\\Command Processor\\Autorun",
  };
  StartupEntryList entries;
  auto append = [&entries](const StartupEntryList& more) {
    entries.insert(entries.end(), more.begin(), more.end());
  };
  for (const char* key : kOldKeys)
    append(ListRegistryValues(key));
  append(ListStartupFolder(platform::kFolderCommonStartup, ""));
  append(ListStartupFolder(platform::kFolderStartup, ""));
  return entries;
}

void MeasurePlaces(int runs) {
  GuardWindows no_windows;
  std::vector<double> every, old;
  std::size_t every_count = CollectStartupEntries().size(), old_count = CollectOldPlaces().size();
  RunOnceMode = true;
  ScanStartup(no_windows);  // warm: digests cached, anything undecided set aside
  // Short passes and a load that comes in bursts: four times the rounds, each pair of
  // passes in the other order than the one before.
  const int rounds = 4 * runs;
  auto every_pass = [&] { every.push_back(Timed([&] { ScanStartup(no_windows); })); };
  auto old_pass = [&] { old.push_back(Timed([&] { ScanStartup(no_windows, CollectOldPlaces); })); };
  for (int i = 0; i < rounds; ++i) {
    if (i % 2) {
      old_pass();
      every_pass();
    } else {
      every_pass();
      old_pass();
    }
  }
  RunOnceMode = false;
  RestoreMutedEntries();
  // The task listing: warm, as the guard's later passes have it, and first in a thread, as
  // "/r" has it (COM started and the service bound once per thread).
  std::vector<double> listing, first_listing;
  for (int i = 0; i < rounds; ++i) {
    listing.push_back(Timed([] { ListTaskEntries(); }));
    std::thread([&] { first_listing.push_back(Timed([] { ListTaskEntries(); })); }).join();
  }
  std::vector<double> ratios;
  for (std::size_t i = 0; i < every.size(); ++i)
    ratios.push_back(every[i] / old[i]);
  std::printf("The places: a warm pass in this process over the prefix as it is (%d rounds)\n",
              rounds);
  std::printf("  every place        %7.2f ms  (%zu entries)\n", Median(every), every_count);
  std::printf("  the 26 old ones    %7.2f ms  (%zu entries)\n", Median(old), old_count);
  std::printf("  the task listing   %7.2f ms  (alone; %.2f ms the first in a thread)\n",
              Median(listing), Median(first_listing));
  std::printf("  every place / old  %7.2fx (median of run-by-run ratios; range %.2fx to %.2fx)\n",
              Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()));
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 9;
  if (runs < 1)
    runs = 9;
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i)
    if (std::atoi(argv[i]) > 0)
      sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty())
    sizes = {50, 200};

  RegistrySandbox sandbox;  // the program's own key, fresh
  sandbox.Own(kHkcuRun);
  TestFolder folder;
  const std::string exe = folder.File("Runwarden.exe");
  if (!CopyFileA(BuiltProgram().c_str(), exe.c_str(), FALSE)) {
    std::fprintf(stderr, "cannot copy %s\n", BuiltProgram().c_str());
    return 1;
  }
  folder.Write("prerules.ini", "");
  folder.Write("virrules.ini", "");
  ProgramLocation program(exe);
  AppExePath = exe;

  MeasurePlaces(runs);
  std::printf("\n");
  for (int count : sizes) {
    TestFolder programs;
    MeasureEntries(programs, exe, count, runs);
    std::printf("\n");
  }
  AppExePath.clear();
  return 0;
}
