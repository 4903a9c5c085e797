// RunwardenSetup.exe on a Wine prefix that never had Runwarden: a silent install, the
// installed program run as a user would, and the uninstaller, silent and asked, with
// the registry and the folders checked after every step.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "ProgramUnderTest.h"
#include "app/Ini.h"
#include "app/Settings.h"
#include "guard/GuardLoop.h"
#include "guard/LogonStart.h"
#include "platform/tasks.h"
#include "registry/Registry.h"
#include "runwarden_version.h"
#include "support/ScopedOverrides.h"

namespace {

constexpr DWORD kTimeoutMs = 60000;
const std::string kFolder = "C:\\Program Files\\Runwarden";
const std::string kExe = kFolder + "\\Runwarden.exe";
const std::string kUninstaller = kFolder + "\\uninstall.exe";
constexpr char kRun32Key[] = "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kUninstallKey[] =
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Runwarden";
const std::string kShippedFiles[] = {"Runwarden.exe", "prerules.ini", "virrules.ini",
                                     "detection.wav", "help.htm"};

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
  return path;
}

std::string Shortcut() {
  return SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\Runwarden.lnk";
}

// A visible top-level window of the class (any, for nullptr) whose caption (for a
// message box, its text) begins with Text; the wizard adds the page's own caption.
HWND FindTopLevel(const std::string& text, const wchar_t* class_name = nullptr) {
  for (HWND window = FindWindowExW(nullptr, nullptr, class_name, nullptr); window;
       window = FindWindowExW(nullptr, window, class_name, nullptr))
    if (IsWindowVisible(window) &&
        (class_name ? MessageBoxText(window) : WindowText(window)).starts_with(text))
      return window;
  return nullptr;
}

long RunAndWait(const std::string& command_line) {
  RunningProgram program(command_line);
  if (!program.started())
    return -1;
  DWORD code = 0;
  return program.WaitForExit(kTimeoutMs, &code) ? static_cast<long>(code) : -1;
}

// The uninstaller runs on from a copy of itself in the temporary folder, so the process
// that Add/Remove Programs starts ends at once; it is done when its last step, the
// removal of its own Add/Remove Programs entry, is.
bool WaitForUninstall() {
  return WaitUntil([] { return !RegKeyExists(kUninstallKey); });
}

void InstallSilently() {
  std::string setup = WinePath(RUNWARDEN_SETUP_UNIX);
  ASSERT_EQ(RunAndWait("\"" + setup + "\" /S"), 0);
  ASSERT_TRUE(Exists(kExe)) << "nothing installed in " << kFolder;
}

TEST(Installer, SilentInstallRunsTheProgramSetupAgainReplacesItAndUninstallKeepsTheLists) {
  ASSERT_FALSE(Exists(kFolder)) << "the prefix is not fresh";
  InstallSilently();

  // The shipped files, as built, in the 64-bit Program Files.
  for (const std::string& name : kShippedFiles) {
    std::string built = ReadFile(WinePath(RUNWARDEN_APP_DIR_UNIX) + "\\" + name);
    EXPECT_FALSE(built.empty()) << name;
    EXPECT_EQ(ReadFile(kFolder + "\\" + name), built) << name;
  }
  EXPECT_TRUE(Exists(kUninstaller));
  EXPECT_TRUE(Exists(Shortcut()));

  // The guard is registered as Enable registers it: Wine says it is Windows 7 and has a
  // Task Scheduler, so by the logon tasks, and no Run value starts a second guard. (Wine's
  // scheduler keeps the registration and the settings, not the trigger and the actions.)
  for (const LogonTask& logon_task : kLogonTasks) {
    std::string task;
    ASSERT_TRUE(platform::ReadTaskXml(logon_task.path, &task)) << "no " << logon_task.name;
    EXPECT_NE(task.find("<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>"), std::string::npos)
        << task;
    EXPECT_NE(task.find("<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>"),
              std::string::npos);
  }
  EXPECT_EQ(ReadRegValue(kRunKey, "Runwarden", "none"), "none");
  EXPECT_EQ(ReadRegValue(kRun32Key, "Runwarden", "none"), "none");
  EXPECT_EQ(ReadRegValue(kRunOnceKey, "Runwarden", "none"), "none");

  EXPECT_EQ(ReadRegValue(kUninstallKey, "DisplayName", ""), "Runwarden");
  EXPECT_EQ(ReadRegValue(kUninstallKey, "DisplayVersion", ""), RUNWARDEN_VERSION_STRING);
  EXPECT_EQ(ReadRegValue(kUninstallKey, "Publisher", ""), "Runwarden developers");
  EXPECT_EQ(ReadRegValue(kUninstallKey, "UninstallString", ""), "\"" + kUninstaller + "\"");
  EXPECT_EQ(ReadRegValue(kUninstallKey, "QuietUninstallString", ""), "\"" + kUninstaller + "\" /S");
  EXPECT_EQ(ReadRegValue(kUninstallKey, "InstallLocation", ""), kFolder);
  EXPECT_EQ(ReadRegValue(kUninstallKey, "DisplayIcon", ""), kExe);

  // The installed program, started as the Start menu starts it: its options window
  // counts the guard as enabled, and closing it stores the options.
  {
    RunningProgram program("\"" + kExe + "\"");
    ASSERT_TRUE(program.started());
    HWND window = program.WaitForWindow(L"RunwardenForm", L"Manage Runwarden", kTimeoutMs);
    ASSERT_NE(window, nullptr) << "no options window";
    HWND enable = FindDescendant(window, L"Button", L"Enable/Disable Runwarden");
    ASSERT_NE(enable, nullptr);
    PressLater(enable);
    HWND question = program.WaitForDialog(kTimeoutMs);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(MessageBoxText(question), "Do you want to disable Runwarden?");
    SendMessageW(GetDlgItem(question, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(question); }));
    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD exit_code = 1;
    EXPECT_TRUE(program.WaitForExit(kTimeoutMs, &exit_code));
    EXPECT_EQ(exit_code, 0u);
  }
  EXPECT_EQ(GetIniValue(kFolder + "\\ver.ini", "Installed", "Runwarden.exe", ""),
            RUNWARDEN_VERSION_STRING);
  EXPECT_EQ(ReadRegValue(kSettingsKey, "chkAuto_Update(6)", ""), "1");
  EXPECT_EQ(TaskSandbox::Registered(), 2) << "Cancel changed the guard";

  // A second setup over a running copy (an open options window) ends it, so that its
  // files can be replaced.
  {
    RunningProgram program("\"" + kExe + "\"");
    ASSERT_NE(program.WaitForWindow(L"RunwardenForm", L"Manage Runwarden", kTimeoutMs), nullptr);
    WriteFile(kFolder + "\\prerules.ini", "an older rule file");
    EXPECT_EQ(RunAndWait("\"" + WinePath(RUNWARDEN_SETUP_UNIX) + "\" /S"), 0);
    EXPECT_TRUE(program.WaitForExit(kTimeoutMs)) << "the running copy was left running";
    EXPECT_EQ(ReadFile(kFolder + "\\prerules.ini"),
              ReadFile(WinePath(RUNWARDEN_APP_DIR_UNIX) + "\\prerules.ini"));
  }

  // What a few logons leave: decisions, caches, logs, the guard's RunOnce value, and two
  // entries the early scan set aside that the guard has not put back yet.
  const std::string allowed = "<#>C:\\Tools\\a.exe<#>AA";
  const std::string blocked = "<#>C:\\Bad\\b.exe<#>BB";
  WriteRegValue(kSettingsKey, "Allowed", allowed);
  WriteRegValue(kSettingsKey, "Blocked", blocked);
  WriteRegValue(std::string(kSettingsKey) + "\\Cached", "C:\\Tools\\a.exe", "?<#>Unknown File");
  WriteRegValue(kRunOnceKey, "Runwarden", "\"" + kExe + "\" /r");
  WriteFile(kFolder + "\\log.log", "12/5/2026 3:45:12 AM Allowed File 'C:\\Tools\\a.exe'\r\n");
  WriteFile(kFolder + "\\errlog.log", "12/5/2026 3:45:12 AM Overflow 12\r\n");
  DeleteRegValue(kUserRunKey, "Tool");
  WriteRegValue(std::string(kSettingsKey) + "\\Muted", std::string(kUserRunKey) + "\\Tool",
                "C:\\Tools\\tool.exe -q");
  std::string pss = SpecialFolder(CSIDL_WINDOWS) + "\\pss";
  CreateDirectoryA(pss.c_str(), nullptr);
  std::string startup_file = SpecialFolder(CSIDL_COMMON_STARTUP) + "\\Note.lnk";
  DeleteFileA(startup_file.c_str());
  WriteFile(pss + "\\Note.lnk", "shortcut bytes");
  WriteRegValue(std::string(kSettingsKey) + "\\Muted", startup_file, pss + "\\Note.lnk");
  // A blocked entry's backup of Runwarden's own: it can still be restored afterwards.
  const std::string backup = std::string(kSettingsKey) + "\\Backups\\1";
  WriteRegValue(backup, "Kind", "value");

  // Silently, as Add/Remove Programs runs it: the lists stay.
  std::string quiet = ReadRegValue(kUninstallKey, "QuietUninstallString", "");
  ASSERT_FALSE(quiet.empty());
  EXPECT_EQ(RunAndWait(quiet), 0);
  ASSERT_TRUE(WaitForUninstall()) << "the uninstaller did not finish";

  EXPECT_FALSE(Exists(kFolder)) << "files left in " << kFolder;
  EXPECT_FALSE(Exists(Shortcut()));
  EXPECT_EQ(TaskSandbox::Registered(), 0);
  EXPECT_EQ(platform::DeleteTaskFolder(kLogonTaskFolder), platform::kTaskErrorNotFound)
      << "the task's folder is left";
  EXPECT_EQ(ReadRegValue(kRunKey, "Runwarden", "none"), "none");
  EXPECT_EQ(ReadRegValue(kRunOnceKey, "Runwarden", "none"), "none");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Allowed", ""), allowed);
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Blocked", ""), blocked);
  EXPECT_EQ(ReadRegValue(kSettingsKey, "chkAuto_Update(6)", ""), "1");
  EXPECT_FALSE(RegKeyExists(std::string(kSettingsKey) + "\\Cached"));
  // The muted entries are back in their places.
  EXPECT_FALSE(RegKeyExists(std::string(kSettingsKey) + "\\Muted"));
  EXPECT_EQ(ReadRegValue(kUserRunKey, "Tool", ""), "C:\\Tools\\tool.exe -q");
  EXPECT_EQ(ReadFile(startup_file), "shortcut bytes");
  EXPECT_FALSE(Exists(pss + "\\Note.lnk"));
  EXPECT_EQ(ReadRegValue(backup, "Kind", ""), "value");
  DeleteRegKey(backup);
  DeleteRegValue(kUserRunKey, "Tool");
  DeleteFileA(startup_file.c_str());
}

TEST(Installer, SilentUninstallWithRemoveListsLeavesNoSettingsAndSparesAnotherCopy) {
  InstallSilently();
  WriteRegValue(kSettingsKey, "Allowed", "<#>C:\\Tools\\a.exe<#>AA");
  WriteRegValue(kSettingsKey, "Blocked", "<#>C:\\Bad\\b.exe<#>BB");
  WriteRegValue(std::string(kSettingsKey) + "\\Hashes", "C:\\Tools\\a.exe", "AA");
  // Every backup restored: the key they lived in is left empty.
  WriteRegValue(std::string(kSettingsKey) + "\\Backups\\1", "Kind", "value");
  DeleteRegKey(std::string(kSettingsKey) + "\\Backups\\1");
  // A copy in another folder registered its own early scan: not this uninstaller's.
  const std::string other = "\"C:\\Other\\Runwarden.exe\" /r";
  WriteRegValue(kRunOnceKey, "Runwarden", other);

  EXPECT_EQ(RunAndWait("\"" + kUninstaller + "\" /S /REMOVELISTS"), 0);
  ASSERT_TRUE(WaitForUninstall()) << "the uninstaller did not finish";

  EXPECT_FALSE(Exists(kFolder));
  EXPECT_EQ(TaskSandbox::Registered(), 0);
  EXPECT_FALSE(RegKeyExists(kSettingsKey));
  EXPECT_EQ(ReadRegValue(kRunKey, "Runwarden", "none"), "none");
  EXPECT_EQ(ReadRegValue(kRunOnceKey, "Runwarden", ""), other);
  DeleteRegValue(kRunOnceKey, "Runwarden");
}

// Presses the wizard's button with this text once it is there and enabled.
bool PressWhenReady(HWND wizard, const std::wstring& text) {
  HWND button = nullptr;
  if (!WaitUntil([&] {
        button = FindDescendant(wizard, L"Button", text);
        return button && IsWindowVisible(button) && IsWindowEnabled(button);
      }))
    return false;
  PressLater(button);
  return true;
}

// The wizard a user clicks through: it installs what the silent setup installs, and its
// last page offers the options window and the help without choosing them. Asked, as a
// user uninstalls from Add/Remove Programs, No removes the lists.
TEST(Installer, TheWizardInstallsAndTheAskedUninstallRemovesTheLists) {
  RunningProgram setup("\"" + WinePath(RUNWARDEN_SETUP_UNIX) + "\"");
  ASSERT_TRUE(setup.started());
  HWND wizard = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    return (wizard = FindTopLevel("Runwarden " RUNWARDEN_VERSION_STRING " Setup"));
  })) << "no setup window";
  // The folder page offers the 64-bit Program Files: the install location shows it.
  ASSERT_TRUE(PressWhenReady(wizard, L"&Next >"));
  ASSERT_TRUE(PressWhenReady(wizard, L"&Install"));
  HWND run = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    return (run = FindDescendant(wizard, L"Button", L"Open the Runwarden options"));
  })) << "no finish page";
  EXPECT_EQ(SendMessageW(run, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  HWND help = FindDescendant(wizard, L"Button", L"Read the Runwarden help");
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(SendMessageW(help, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  ASSERT_TRUE(PressWhenReady(wizard, L"&Finish"));
  DWORD exit_code = 1;
  EXPECT_TRUE(setup.WaitForExit(kTimeoutMs, &exit_code));
  EXPECT_EQ(exit_code, 0u);

  EXPECT_EQ(TaskSandbox::Registered(), 2);
  EXPECT_EQ(ReadRegValue(kUninstallKey, "InstallLocation", ""), kFolder);
  for (const std::string& name : kShippedFiles)
    EXPECT_TRUE(Exists(kFolder + "\\" + name)) << name;

  WriteRegValue(kSettingsKey, "Allowed", "<#>C:\\Tools\\a.exe<#>AA");
  RunningProgram uninstaller("\"" + kUninstaller + "\"");
  ASSERT_TRUE(uninstaller.started());
  HWND window = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (window = FindTopLevel("Runwarden Uninstall")); }))
      << "no uninstaller window";
  ASSERT_TRUE(PressWhenReady(window, L"&Uninstall"));
  HWND question = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    return (question =
                FindTopLevel("Do you want to keep your Allowed and Blocked lists?", L"#32770"));
  })) << "no question";
  EXPECT_EQ(WindowText(question), "Runwarden Uninstall");
  SendMessageW(GetDlgItem(question, IDNO), BM_CLICK, 0, 0);
  ASSERT_TRUE(PressWhenReady(window, L"&Close")) << "the uninstaller did not finish";
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); }));
  EXPECT_FALSE(Exists(kFolder));
  EXPECT_FALSE(RegKeyExists(kSettingsKey));
  EXPECT_FALSE(RegKeyExists(kUninstallKey));
}

}  // namespace
