// ResolveCommandFile over any command, against a small Windows-like file system of names
// only (the portable layer's fake files), with an environment that names its folders.
#include <cstdlib>

#include "FuzzInput.h"
#include "guard/CommandResolution.h"
#include "platform/portable/fake_files.h"

namespace {

const std::vector<std::string> kFiles = {
    "C:\\windows\\notepad.exe",
    "C:\\windows\\system32\\shell32.dll",
    "C:\\windows\\system32\\cmd.exe",
    "C:\\windows\\system32\\tool.com",
    "C:\\windows\\system32\\x.exe.com",
    "C:\\windows\\system\\old.scr",
    "C:\\windows\\tasks\\job.job",
    "C:\\program files\\app\\app.exe",
    "C:\\program files\\my app\\prog.dll",
    "C:\\tools\\prog.exe",
    "C:\\tools\\prog.exe.com",
    "C:\\tools\\run.bat",
    "C:\\dir\\prog.dll",
    "C:\\users\\u\\start menu\\a b.exe",
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  platform::portable::SetFakeFilesForTesting(&kFiles);
  // Only the variables a Windows machine would have: every one is searched for programs.
  clearenv();
  setenv("windir", "C:\\windows", 1);
  setenv("programfiles", "C:\\program files", 1);
  setenv("PATH", "C:\\tools;C:\\windows\\system32;\"C:\\program files\\app\\\"", 1);
  setenv("ComSpec", "C:\\windows\\system32\\cmd.exe", 1);
  setenv("EMPTY", "", 1);
  // The fake file system answers as a disk would, or every input below is worthless.
  FuzzCheck(ResolveCommandFile("notepad") == "C:\\windows\\notepad.exe", "notepad not found");
  FuzzCheck(ResolveCommandFile("rundll32.exe shell32.dll,Control_RunDLL") ==
                "C:\\windows\\system32\\shell32.dll",
            "shell32.dll not found");
  FuzzCheck(ResolveCommandFile("c:\\tools\\prog") == "c:\\tools\\prog.exe.com",
            "the extensions are not tried one after the other");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string command(reinterpret_cast<const char*>(data), size);
  std::string file = ResolveCommandFile(command);
  // Lower-cased, cut down or expanded: never longer than the command plus what the
  // environment and the folders can add in the rounds the resolution takes.
  FuzzCheck(file.size() <= command.size() + 64 * 64, "the resolved path grew without bound");
  return 0;
}
