#include "guard/Places.h"

#include <vector>

#include "app/ErrorScope.h"
#include "app/LikePattern.h"
#include "app/TextFunctions.h"
#include "app/Paths.h"
#include "app/OsVersion.h"
#include "guard/ListValues.h"
#include "guard/OwnBackups.h"
#include "guard/Locations.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "registry/Registry.h"

namespace {

// The keys whose values are read by name, and what each value is.
struct NamedValue {
  const char* name;
  const char* kind;  // kKindRegistry: one command; kKindListItem: a list
};

struct KeyPlace {
  const char* key;
  bool both_views;  // a machine key 64-bit Windows keeps once more for 32-bit programs
  std::vector<NamedValue> values;
};

const std::vector<KeyPlace>& KeyPlaces() {
  static const std::vector<KeyPlace> places = {
      {kWinlogonKey, true, {{"Userinit", kKindListItem}, {"Shell", kKindListItem}}},
      {kUserWinlogonKey, false, {{"Userinit", kKindListItem}, {"Shell", kKindListItem}}},
      {"HKCU\\Environment", false, {{"UserInitMprLogonScript", kKindRegistry}}},
      {"HKLM\\System\\CurrentControlSet\\Control\\BootVerificationProgram",
       false,
       {{"ImagePath", kKindRegistry}}},
      {"HKLM\\SOFTWARE\\Microsoft\\Command Processor", true, {{"Autorun", kKindRegistry}}},
      {"HKCU\\Software\\Microsoft\\Command Processor", false, {{"Autorun", kKindRegistry}}},
      {"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
       false,
       {{"Shell", kKindRegistry}}},
      {kSessionManagerKey,
       false,
       {{"BootExecute", kKindListItem},
        {"SetupExecute", kKindListItem},
        {"Execute", kKindListItem}}},
      {kUserWindowsKey, false, {{"Load", kKindListItem}, {"Run", kKindListItem}}},
      {kRdpwdKey, false, {{"StartupPrograms", kKindListItem}}},
  };
  return places;
}

// Winlogon's notification packages (loaded by Windows 2000, XP and Server 2003): every
// value of the Notify key itself (where a DLL planted by hand sits), and each package's
// DllName.
constexpr const char* kNotifyKeys[] = {
    "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify",
    "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify",
};

// The packages Windows XP and Server 2003 install themselves, with their DLLs (the
// Notify key of a clean installation, and the Windows Genuine Advantage package of its
// updates).
constexpr struct {
  const char* package;
  const char* dll;
} kDefaultNotifyPackages[] = {
    {"crypt32chain", "crypt32.dll"}, {"cryptnet", "cryptnet.dll"}, {"cscdll", "cscdll.dll"},
    {"ScCertProp", "wlnotify.dll"},  {"Schedule", "wlnotify.dll"}, {"sclgntfy", "sclgntfy.dll"},
    {"SensLogn", "WlNotify.dll"},    {"termsrv", "wlnotify.dll"},  {"wlballoon", "wlnotify.dll"},
    {"WgaLogon", "WgaLogon.dll"},    {"dimsntfy", "dimsntfy.dll"},
};

// The Active Setup components a clean Windows 7, 10 or 11 registers with a StubPath, as
// their StubPaths read once the Windows folder is written "%windir%" and the program
// folders "%programfiles%" / "%programfiles(x86)%" (lower case, patterns in the rule
// files' wildcard language for the parts that change with a version). Source: the
// Installed Components keys of those installations (64-bit: both views).
constexpr struct {
  const char* id;
  const char* stub_path;
} kDefaultActiveSetup[] = {
    {"{2c7339cf-2b09-4501-b3f3-f3508c9228ed}",
     "%windir%\\system32\\regsvr32.exe /s /n /i:/userinstall %windir%\\system32\\themeui.dll"},
    {"{6bf52a52-394a-11d3-b153-00c04f79faa6}", "%windir%\\system32\\unregmp2.exe /firstlogon"},
    {"{6bf52a52-394a-11d3-b153-00c04f79faa6}", "%windir%\\syswow64\\unregmp2.exe /firstlogon"},
    {"{22d6f312-b0f6-11d0-94ab-0080c74c7e95}", "%windir%\\system32\\unregmp2.exe /showwmp"},
    {"{22d6f312-b0f6-11d0-94ab-0080c74c7e95}", "%windir%\\syswow64\\unregmp2.exe /showwmp"},
    {"{89820200-ecbd-11cf-8b85-00aa005b4340}", "regsvr32.exe /s /n /i:u shell32.dll"},
    {"{89820200-ecbd-11cf-8b85-00aa005b4383}", "%windir%\\system32\\ie4uinit.exe -userconfig"},
    {"{89820200-ecbd-11cf-8b85-00aa005b4383}", "%windir%\\system32\\ie4uinit.exe -basesettings"},
    {"{89b4c1cd-b018-4511-b0a1-5476dbf70820}",
     "%windir%\\system32\\rundll32.exe %windir%\\system32\\mscories.dll,install"},
    {"{89b4c1cd-b018-4511-b0a1-5476dbf70820}",
     "%windir%\\syswow64\\rundll32.exe %windir%\\syswow64\\mscories.dll,install"},
    {"{a509b1a7-37ef-4b3f-8cfc-4f3a74704073}",
     "%windir%\\system32\\rundll32.exe %windir%\\system32\\iesetup.dll,iehardenadmin"},
    {"{a509b1a8-37ef-4b3f-8cfc-4f3a74704073}",
     "%windir%\\system32\\rundll32.exe %windir%\\system32\\iesetup.dll,iehardenuser"},
    {"{44bba840-cc51-11cf-aafa-00aa00b6015c}",
     "\"%programfiles%\\windows mail\\winmail.exe\" ocinstalluserconfigoe"},
    {"{9459c573-b17a-45ae-9f64-1857b5d58cee}",
     "\"%programfiles(x86)%\\microsoft\\edge\\application\\*\\installer\\setup.exe\" "
     "--configure-user-settings --verbose-logging --system-level --msedge --channel=stable"},
};

// RunOnceEx's own values that say how its sections are shown.
constexpr const char* kRunOnceExOwnValues[] = {"Title", "Flags"};

// The RunOnceEx keys of the location table.
bool EndsWithIgnoringCase(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         EqualsIgnoringCase(text.substr(text.size() - end.size()), end);
}

std::string CommandText(const platform::RegData& data) {
  if (data.type == platform::kRegSz || data.type == platform::kRegExpandSz ||
      data.type == platform::kRegMultiSz)
    return data.bytes.substr(0, data.bytes.find('\0'));
  RegValueEntry value;
  value.type = static_cast<int32_t>(data.type);
  if (data.type == platform::kRegDword && data.bytes.size() >= 4) {
    int32_t number = 0;
    for (int i = 3; i >= 0; --i)
      number = static_cast<int32_t>((static_cast<uint32_t>(number) << 8) |
                                    static_cast<uint8_t>(data.bytes[static_cast<std::size_t>(i)]));
    value.value = static_cast<double>(number);
  } else {
    value.value = std::vector<uint8_t>(data.bytes.begin(), data.bytes.end());
  }
  return RegistryDataText(value);
}

std::vector<std::string> Views(const std::string& key, bool both_views) {
  if (!both_views)
    return {key};
  return {key, ThirtyTwoBitView(key)};
}

std::string Trimmed(const std::string& text) {
  std::string::size_type first = text.find_first_not_of(" \t");
  if (first == std::string::npos)
    return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Text with the Windows folder and the program folders written as variables, in lower
// case: the form the default lists are written in.
std::string NormalisedCommand(const std::string& command) {
  std::string text = LowerCase(ExpandEnvironmentText(command));
  for (const char* name : {"windir", "programfiles(x86)", "programfiles"}) {
    std::string folder = LowerCase(platform::GetEnv(name));
    if (!folder.empty())
      text = ReplaceAll(text, folder, std::string("%") + name + "%");
  }
  return text;
}

bool IsDefaultNotifyPackage(const std::string& package, const std::string& dll) {
  std::string name = LowerCase(GetFileName(Trimmed(dll)));
  std::string folder = LowerCase(GetFolderPath(ExpandEnvironmentText(Trimmed(dll))));
  bool system_folder = folder.empty() || folder == "." ||
                       folder == LowerCase(platform::GetEnv("windir") + "\\system32");
  for (const auto& known : kDefaultNotifyPackages)
    if (EqualsIgnoringCase(package, known.package) && name == LowerCase(known.dll))
      return system_folder;
  return false;
}

bool IsDefaultStubPath(const std::string& id, const std::string& stub_path) {
  std::string text = Trimmed(NormalisedCommand(stub_path));
  for (const auto& known : kDefaultActiveSetup)
    if (EqualsIgnoringCase(id, known.id) &&
        MatchesLikePattern(text, known.stub_path).value_or(false))
      return true;
  return false;
}

StartupEntry ValueEntry(const std::string& key,
                        const std::string& name,
                        const std::string& command) {
  return {name, command, key, kKindRegistry};
}

void Append(StartupEntryList* entries, const StartupEntryList& more) {
  entries->insert(entries->end(), more.begin(), more.end());
}

// The values of a key read by name: an entry for a one-command value, one per item
// beyond Windows' own for a list.
void ListKeyPlace(const std::string& key, const KeyPlace& place, StartupEntryList* entries) {
  std::vector<std::string> names;
  for (const NamedValue& value : place.values)
    names.push_back(value.name);
  std::vector<std::optional<platform::RegData>> data = ReadRegRawValues(key, names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!data[i])
      continue;
    const std::string& name = names[i];
    if (place.values[i].kind == std::string(kKindRegistry)) {
      std::string command = CommandText(*data[i]);
      if (!Trimmed(command).empty())
        entries->push_back(ValueEntry(key, name, command));
      continue;
    }
    for (const std::string& item : ListItems(*data[i], ListFormOf(name, data[i]->type))) {
      if (IsDefaultListItem(name, item))
        continue;
      entries->push_back({name, item, key + "\\" + name, kKindListItem, key, name});
    }
  }
}

void ListNotifyKey(const std::string& key, StartupEntryList* entries) {
  Append(entries, ListRegistryValues(key));
  for (const std::string& package : EnumRegSubKeys(key)) {
    std::string package_key = key + "\\" + package;
    platform::RegData dll;
    if (!ReadRegRaw(package_key, "DllName", &dll))
      continue;
    std::string command = CommandText(dll);
    if (Trimmed(command).empty() || IsDefaultNotifyPackage(package, command))
      continue;
    entries->push_back(ValueEntry(package_key, "DllName", command));
  }
}

void ListActiveSetup(const std::string& key, StartupEntryList* entries) {
  for (const std::string& id : EnumRegSubKeys(key)) {
    std::string component = key + "\\" + id;
    platform::RegData stub;
    if (!ReadRegRaw(component, "StubPath", &stub))
      continue;
    std::string command = CommandText(stub);
    if (Trimmed(command).empty() || IsDefaultStubPath(id, command))
      continue;
    entries->push_back(ValueEntry(component, "StubPath", command));
  }
}

std::string WithoutTrailingBackslash(std::string path) {
  while (path.size() > 3 && path.back() == '\\')
    path.pop_back();
  return path;
}

bool SamePath(const std::string& a, const std::string& b) {
  return EqualsIgnoringCase(WithoutTrailingBackslash(a), WithoutTrailingBackslash(b));
}

struct FolderPlace {
  const char* key;
  const char* value;
  const char* programs;  // the value of the same key that names the Programs folder
  int32_t special_folder;
};

constexpr FolderPlace kFolderPlaces[] = {
    {kUserShellFoldersKey, "Startup", "Programs", platform::kFolderStartup},
    {kCommonShellFoldersKey, "Common Startup", "Common Programs", platform::kFolderCommonStartup},
};

// A Startup folder value points away from where Windows puts that folder: neither its
// default path nor a folder of that Programs folder (a localised name).
bool IsMovedFolder(const std::string& path,
                   const std::string& value_name,
                   const std::optional<platform::RegData>& programs) {
  if (SamePath(path, ExpandEnvironmentText(DefaultStartupFolderText(value_name))))
    return false;
  if (programs && SamePath(GetFolderPath(WithoutTrailingBackslash(path)),
                           ExpandEnvironmentText(CommandText(*programs))))
    return false;
  return true;
}

void ListFolderPlace(const FolderPlace& place, StartupEntryList* entries, StartupEntryList* files) {
  std::vector<std::optional<platform::RegData>> data =
      ReadRegRawValues(place.key, {place.value, place.programs});
  if (!data[0])
    return;
  std::string text = CommandText(*data[0]);
  std::string path = ExpandEnvironmentText(text);
  if (Trimmed(path).empty() || !IsMovedFolder(path, place.value, data[1]))
    return;
  entries->push_back({place.value, text, std::string(place.key) + "\\" + place.value,
                      kKindMovedFolder, place.key, place.value});
  // The folder Windows uses now, and the default one it uses again once the move is
  // undone; the one the shell names is listed with the Startup folders already.
  std::string shell_path = platform::SpecialFolderPath(place.special_folder);
  std::string default_path = ExpandEnvironmentText(DefaultStartupFolderText(place.value));
  if (!SamePath(path, shell_path))
    Append(files, ListStartupFolder(0, WithoutTrailingBackslash(path)));
  if (!SamePath(default_path, shell_path) && !SamePath(default_path, path))
    Append(files, ListStartupFolder(0, default_path));
}

bool IsWinlogonValue(const StartupEntry& entry, const char* name) {
  return EqualsIgnoringCase(entry.RegValue, name) &&
         EndsWithIgnoringCase(entry.RegKey, "\\Winlogon");
}

std::string DefaultUserinit() {
  return platform::GetEnv("windir") + "\\system32\\userinit.exe,";
}

}  // namespace

std::string ExpandEnvironmentText(const std::string& text) {
  std::string out;
  std::string::size_type i = 0;
  while (i < text.size()) {
    std::string::size_type open = text.find('%', i);
    std::string::size_type close =
        open == std::string::npos ? std::string::npos : text.find('%', open + 1);
    if (close == std::string::npos) {
      out += text.substr(i);
      break;
    }
    std::string value = platform::GetEnv(text.substr(open + 1, close - open - 1));
    if (close == open + 1 || value.empty()) {
      // Not a variable: the first "%" stays, the second may open one.
      out += text.substr(i, close - i);
      i = close;
      continue;
    }
    out += text.substr(i, open - i) + value;
    i = close + 1;
  }
  return out;
}

std::string ExpandedFolderPath(const std::string& text) {
  return WithoutTrailingBackslash(ExpandEnvironmentText(text));
}

bool IsRunOnceExKey(const std::string& path) {
  return EndsWithIgnoringCase(path, "\\RunOnceEx");
}

StartupEntryList ListRunOnceEx(const std::string& path) {
  StartupEntryList entries;
  for (StartupEntry& entry : ListRegistryValues(path)) {
    bool shown = false;
    for (const char* name : kRunOnceExOwnValues)
      shown = shown || EqualsIgnoringCase(entry.Name, name);
    if (!shown)
      entries.push_back(std::move(entry));
  }
  for (const std::string& section : EnumRegSubKeys(path)) {
    std::string section_key = path + "\\" + section;
    for (const std::string& key : {section_key, section_key + "\\Depend"})
      for (StartupEntry& entry : ListRegistryValues(key))
        if (!entry.Name.empty())  // the section's title
          entries.push_back(std::move(entry));
  }
  return entries;
}

std::string RunnableCommand(const StartupEntry& entry) {
  if (entry.Kind != kKindRegistry ||
      FindIgnoringCase(entry.Location, "\\RunOnceEx\\") == std::string::npos)
    return entry.Command;
  // The function comes last, the DLL before it.
  std::vector<std::string> parts = SplitText(entry.Command, "|");
  return parts.size() < 2 ? entry.Command : Trimmed(parts[parts.size() - 2]);
}

bool IsDefaultListItem(const std::string& value_name, const std::string& item) {
  std::string text = LowerCase(Trimmed(ExpandEnvironmentText(item)));
  std::string windir = LowerCase(platform::GetEnv("windir"));
  if (EqualsIgnoringCase(value_name, "Userinit"))
    return text == "userinit.exe" || text == "userinit" ||
           text == windir + "\\system32\\userinit.exe" || text == windir + "\\system32\\userinit";
  if (EqualsIgnoringCase(value_name, "Shell"))
    return text == "explorer.exe" || text == "explorer" || text == windir + "\\explorer.exe";
  if (EqualsIgnoringCase(value_name, "BootExecute"))
    return text == "autocheck autochk *" || text.rfind("autocheck autochk ", 0) == 0;
  if (EqualsIgnoringCase(value_name, "StartupPrograms"))
    return text == "rdpclip" || text == "rdpclip.exe";
  return false;
}

bool ValueWithoutItem(const StartupEntry& entry,
                      const platform::RegData& before,
                      platform::RegData* after) {
  ListForm form = ListFormOf(entry.RegValue, before.type);
  if (!RemoveListItem(before, form, entry.Command, after))
    return false;
  bool userinit = IsWinlogonValue(entry, "Userinit"), shell = IsWinlogonValue(entry, "Shell");
  if (!userinit && !shell)
    return true;
  for (const std::string& item : ListItems(*after, form))
    if (IsDefaultListItem(entry.RegValue, item))
      return true;
  // The attacker's program stood in place of Windows' own, which goes first again.
  std::string rest = after->bytes.substr(0, after->bytes.find('\0'));
  std::string own = userinit ? DefaultUserinit() : "explorer.exe";
  if (!Trimmed(rest).empty())
    own += userinit ? rest : "," + rest;
  after->bytes = own + '\0';
  after->odd_byte.clear();
  if (after->type != platform::kRegSz && after->type != platform::kRegExpandSz)
    after->type = platform::kRegSz;
  return true;
}

std::string DefaultStartupFolderText(const std::string& value_name) {
  bool common = EqualsIgnoringCase(value_name, "Common Startup");
  if (GetOSMajorVersion() == 5)
    return common ? "%ALLUSERSPROFILE%\\Start Menu\\Programs\\Startup"
                  : "%USERPROFILE%\\Start Menu\\Programs\\Startup";
  return common
             ? "%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"
             : "%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
}

StartupEntryList CollectPlaceEntries() {
  ErrorScope error;
  StartupEntryList entries, files;
  error.Try([&] {
    for (const KeyPlace& place : KeyPlaces())
      for (const std::string& key : Views(place.key, place.both_views))
        ListKeyPlace(key, place, &entries);
    for (const std::string& key : Views(kNotifyKeys[0], true))
      ListNotifyKey(key, &entries);
    ListNotifyKey(kNotifyKeys[1], &entries);
    for (const std::string& key : Views(kActiveSetupKey, true))
      ListActiveSetup(key, &entries);
    for (const FolderPlace& place : kFolderPlaces)
      ListFolderPlace(place, &entries, &files);
  });
  Append(&entries, files);
  return entries;
}

bool TakeOutOfValue(const StartupEntry& entry,
                    const std::string& parent,
                    std::string* record_key,
                    std::string* problem) {
  record_key->clear();
  OwnBackup record;
  // Gone since it was listed, the value starts nothing (a moved folder is back at its
  // default): nothing to put back.
  if (!ReadRegRaw(entry.RegKey, entry.RegValue, &record.data))
    return true;
  record.name = entry.Name;
  record.command = entry.Command;
  record.location = entry.Location;
  record.time = platform::Now();
  record.reg_key = entry.RegKey;
  record.reg_value = entry.RegValue;
  record.has_after = true;
  if (entry.Kind == kKindListItem) {
    record.kind = kBackupKindItem;
    record.item = entry.Command;
    if (!ValueWithoutItem(entry, record.data, &record.after))
      return true;  // out already: nothing to put back
  } else if (entry.Kind == kKindMovedFolder) {
    record.kind = kBackupKindFolder;
    record.after = {platform::kRegExpandSz, DefaultStartupFolderText(entry.RegValue) + '\0'};
  } else {
    *problem = "An entry of the kind '" + entry.Kind + "' is no part of a value";
    return false;
  }
  std::string key = WriteOwnBackupIn(parent, record);
  if (key.empty()) {
    *problem = "Cannot write the record of " + entry.Location + " under " + parent;
    return false;
  }
  platform::RegData back;
  if (WriteRegRaw(entry.RegKey, entry.RegValue, record.after) != platform::kErrorSuccess ||
      !ReadRegRaw(entry.RegKey, entry.RegValue, &back) || back != record.after) {
    // Nothing changed, or the old value is written again: no record of a change.
    if (ReadRegRaw(entry.RegKey, entry.RegValue, &back) && back != record.data)
      WriteRegRaw(entry.RegKey, entry.RegValue, record.data);
    DeleteOwnBackup(key);
    *problem = "Cannot write the value '" + entry.RegValue + "' of " + entry.RegKey;
    return false;
  }
  *record_key = key;
  return true;
}
