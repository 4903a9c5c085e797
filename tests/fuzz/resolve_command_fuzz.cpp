// ResolveCommandFile over any command, against a small Windows-like tree of its own: drive
// C: is a fresh folder (the portable layer's drive root), the environment names its folders.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "FuzzInput.h"
#include "guard/basGetFileFromCommand.h"
#include "platform/portable/host_path.h"

namespace {

namespace fs = std::filesystem;

fs::path g_root;

void Plant(const std::string& relative) {
  fs::path path = g_root / relative;
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "MZ";
}

void RemoveTree() {
  std::error_code ignored;
  fs::remove_all(g_root, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_root = fs::temp_directory_path() / ("rw-fuzz-drive-" + std::to_string(getpid()));
  fs::create_directories(g_root / "windows" / "system");
  for (const char* file :
       {"windows/notepad.exe", "windows/system32/shell32.dll", "windows/system32/cmd.exe",
        "windows/system32/tool.com", "windows/system32/x.exe.com", "windows/tasks/job.job",
        "program files/app/app.exe", "program files/my app/prog.dll", "tools/prog.exe",
        "tools/prog.exe.com", "tools/run.bat", "dir/prog.dll", "users/u/start menu/a b.exe"})
    Plant(file);
  std::atexit(RemoveTree);
  platform::portable::SetDriveRootForTesting(g_root.string());
  fs::current_path(g_root);
  // Only the variables a Windows machine would have: every one is searched for programs.
  clearenv();
  setenv("windir", "C:\\windows", 1);
  setenv("programfiles", "C:\\program files", 1);
  setenv("PATH", "C:\\tools;C:\\windows\\system32;\"C:\\program files\\app\\\"", 1);
  setenv("ComSpec", "C:\\windows\\system32\\cmd.exe", 1);
  setenv("EMPTY", "", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string command(reinterpret_cast<const char*>(data), size);
  std::string file = ResolveCommandFile(command);
  // Lower-cased, cut down or expanded: never longer than the command plus what the
  // environment and the folders added.
  FuzzCheck(file.size() <= command.size() + 64 * 64, "the resolved path grew without bound");
  return 0;
}
