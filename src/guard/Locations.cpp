#include "guard/Locations.h"

#include <cctype>

#include "app/AppInfo.h"
#include "app/ErrorScope.h"
#include "app/TextFunctions.h"
#include "app/Paths.h"
#include "app/Settings.h"
#include "app/OsVersion.h"
#include "app/Ini.h"
#include "app/RuleIni.h"
#include "guard/HashCache.h"
#include "guard/Places.h"
#include "guard/TaskEntries.h"
#include "guard/FileHash.h"
#include "platform/shell.h"
#include "platform/sound.h"
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

std::string TodayDay() {
  return std::to_string(platform::Now().day);
}
std::string ThisMonth() {
  return std::to_string(platform::Now().month);
}

// A stamp reads "0" when missing, so a first run clears.
bool StampIsStale(const char* stamp_name, const std::string& now) {
  return ReadRegValue(kSettingsKey, stamp_name, "0") != now;
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

std::string CheckPreRules(const std::string& entry_name, const std::string& file_name) {
  ErrorScope error;
  std::string result = kUnknownRating;
  error.Try([&] {
    std::string key = entry_name + "<#>" + file_name;
    std::string cached = ReadRegValue(kCachedKey, key, "");
    if (!cached.empty()) {
      result = cached;
      return;
    }
    std::string rules = AppFile("prerules.ini");
    std::string listed_file = ReadExIniValue(rules, entry_name, "F", "");
    if (!listed_file.empty() && EqualsIgnoringCase(listed_file, file_name))
      result = ReadExIniValue(rules, entry_name, "C", "?") + "<#>" +
               ReadExIniValue(rules, entry_name, "D", "Unknown File");
    WriteRegValue(kCachedKey, key, result);
  });
  return result;
}

std::string GetFileHashCached(const std::string& path, uint32_t algorithm) {
  return CachedFileHash(path, [&] { return HashFile(path, algorithm); });
}

std::string CheckVirusRules(const std::string& hash) {
  if (hash.empty())
    return "";
  ErrorScope error;
  std::string result;
  error.Try([&] {
    std::string rules = AppFile("virrules.ini");
    if (FileExists(rules)) {
      std::string cached = ReadRegValue(kCachedKey, hash, "");
      if (!cached.empty()) {
        result = cached;
        return;  // a hit clears nothing
      }
      std::string name = GetIniValue(rules, hash, "name", "");
      result = name.empty() ? std::string(kUnknownRating) : "X<#>" + name;
      WriteRegValue(kCachedKey, hash, result);
    }
    std::string today = TodayDay();
    if (StampIsStale("CacheCleared", today)) {
      DeleteRegKey(kCachedKey);
      WriteRegValue(kSettingsKey, "CacheCleared", today);
    }
    // Once a month both caches start afresh, so a rule file replaced by an update is
    // read again; the settings, the lists and the muted entries are never touched.
    std::string month = ThisMonth();
    if (StampIsStale("RulesCleared", month)) {
      DeleteRegKey(kCachedKey);
      DeleteRegKey(kHashesKey);
      WriteRegValue(kSettingsKey, "RulesCleared", month);
    }
  });
  return result;
}

std::string DescribeRating(const std::string& code, int32_t& colour, int32_t& percent) {
  std::string upper = UpperCase(code);
  struct Rating {
    const char* code;
    const char* advice;
    int32_t colour, percent;
  };
  static const Rating kRatings[] = {
      {"X", "Harmful file, Block it", 255, 100},    {"Y", "Safe to remain in startup", 65280, 100},
      {"N", "Not needed, Block it", 65535, 100},    {"U", "If you need it, Allow it", 65280, 50},
      {"?", "Unknown, Check Community", 65535, 50},
  };
  for (const Rating& rating : kRatings) {
    if (upper != rating.code)
      continue;
    colour = rating.colour;
    percent = rating.percent;
    return rating.advice;
  }
  return "";
}

void PlaySoundFile(const std::string& path) {
  ErrorScope error;
  error.Try([&] { platform::PlayWaveAsync(path); });
}
