#include "guard/Locations.h"

#include <cctype>

#include "app/AppInfo.h"
#include "app/ErrorScope.h"
#include "app/TextFunctions.h"
#include "app/Paths.h"
#include "app/Settings.h"
#include "app/OsVersion.h"
#include "guard/Places.h"
#include "guard/TaskEntries.h"
#include "platform/shell.h"
#include "platform/system.h"

std::string EntryText(const StartupEntry& entry) {
  return entry.Name + "<#>" + entry.Command + "<#>" + entry.Location + "<#>" + entry.Kind;
}

namespace {

bool PrintableText(const std::vector<uint8_t>& bytes, std::size_t length) {
  if (length == 0)
    return false;
  for (std::size_t i = 0; i < length; ++i)
    if (bytes[i] < 0x20 && bytes[i] != '\t')
      return false;
  return true;
}

std::string HexForm(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text = "hex:";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i)
      text += ',';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

// The autostart keys whose every value is a command, in the order they are read (the
// values read by name, the lists and the other places are in Places). 64-bit Windows
// keeps the redirected machine keys twice: a 32-bit program's writes to them land in the
// 32-bit view under HKLM\SOFTWARE\WOW6432Node, which this 64-bit program sees only by
// that path.
struct Location {
  const char* path;
  bool redirected;
};

constexpr Location kLocations[] = {
    {"HKLM\\Software\\Policies\\Microsoft\\Windows\\System\\Scripts\\Startup", false},
    {"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
     "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
     true},
    {"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
     "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\RunonceEx",
     true},
    {"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
     "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
     true},
    {"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", true},
    {"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx", true},
    {"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", true},
    // The policy keys are one key for both views.
    {"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", false},
    {"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", false},
    {"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", false},
    {"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", false},
    {"HKCU\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
     "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
     false},
    {"HKCU\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
     "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\RunonceEx",
     false},
    {"HKCU\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
     "Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
     false},
};

}  // namespace

std::string ThirtyTwoBitView(const std::string& machine_key) {
  const std::string::size_type after_software = std::string("HKLM\\SOFTWARE\\").size();
  return machine_key.substr(0, after_software) + "WOW6432Node\\" +
         machine_key.substr(after_software);
}

// Each redirected key is followed by its 32-bit view, where most installers and most
// harmful programs, being 32-bit, really write. On 32-bit Windows that key does not
// exist and lists nothing.
const std::vector<std::string>& RegistryLocations() {
  static const std::vector<std::string> locations = [] {
    std::vector<std::string> all;
    for (const Location& location : kLocations) {
      all.push_back(location.path);
      if (location.redirected)
        all.push_back(ThirtyTwoBitView(location.path));
    }
    return all;
  }();
  return locations;
}

std::string RegistryDataText(const RegValueEntry& value) {
  if (const std::string* text = std::get_if<std::string>(&value.value))
    return *text;
  if (const double* number = std::get_if<double>(&value.value))
    return std::to_string(static_cast<int64_t>(*number));
  const auto& bytes = std::get<std::vector<uint8_t>>(value.value);
  if (value.type == 11 && bytes.size() == 8) {  // REG_QWORD
    uint64_t number = 0;
    for (int i = 7; i >= 0; --i)
      number = (number << 8) | bytes[static_cast<std::size_t>(i)];
    return std::to_string(number);
  }
  std::size_t length = bytes.size();
  while (length > 0 && bytes[length - 1] == 0)
    --length;  // the terminator(s)
  if (PrintableText(bytes, length))
    return std::string(bytes.begin(), bytes.begin() + length);
  return bytes.empty() ? std::string() : HexForm(bytes);
}

StartupEntryList ListRegistryValues(const std::string& path) {
  ErrorScope error;
  StartupEntryList entries;
  error.Try([&] {
    for (const RegValueEntry& value : EnumRegValues(path).entries) {
      std::string command = RegistryDataText(value);
      // An unnamed value with nothing but NULs in it (every empty write leaves one)
      // starts nothing: it is no entry.
      if (value.name.empty() && command.find_first_not_of('\0') == std::string::npos)
        continue;
      entries.push_back({value.name, command, path, kKindRegistry});
    }
  });
  return entries;
}

StartupEntryList ListStartupFolder(int32_t folder_number, const std::string& path) {
  ErrorScope error;
  StartupEntryList entries;
  error.Try([&] {
    std::string folder = path.empty() ? platform::SpecialFolderPath(folder_number) : path;
    std::vector<platform::ShellItem> items;
    if (folder.empty() || !platform::ListFolderItems(folder, &items))
      return;
    for (const platform::ShellItem& item : items) {
      if (!item.file_system || item.folder)
        continue;
      std::string command = item.link ? platform::ShortcutTarget(item.path) : item.path;
      entries.push_back({item.display_name, command, item.path, kKindFile});
    }
  });
  return entries;
}

StartupEntryList CollectStartupEntries() {
  ErrorScope error;
  StartupEntryList entries;
  auto append = [&entries](StartupEntryList more) {
    entries.insert(entries.end(), more.begin(), more.end());
  };
  error.Try([&] {
    for (const std::string& location : RegistryLocations())
      append(IsRunOnceExKey(location) ? ListRunOnceEx(location) : ListRegistryValues(location));
    append(CollectPlaceEntries());
    bool version5 = GetOSMajorVersion() == 5;
    append(ListStartupFolder(platform::kFolderCommonStartup, ""));
    if (version5)
      append(ListStartupFolder(platform::kFolderAltStartup, ""));
    append(ListStartupFolder(platform::kFolderStartup, ""));
    if (version5) {
      append(ListStartupFolder(platform::kFolderCommonAltStartup, ""));
      std::string windir = platform::GetEnv("windir");
      // Without windir "\tasks" would name a folder of the current drive's root.
      if (!windir.empty())
        append(ListStartupFolder(0, windir + "\\tasks"));
    }
    // The Task Scheduler 2.0 came with Vista.
    if (GetOSMajorVersion() >= 6)
      append(ListTaskEntries());
  });
  return entries;
}
