#include "guard/Rating.h"

#include "app/AppInfo.h"
#include "app/ErrorScope.h"
#include "app/Ini.h"
#include "app/Paths.h"
#include "app/RuleIni.h"
#include "app/Settings.h"
#include "app/TextFunctions.h"
#include "guard/HashCache.h"
#include "platform/system.h"
#include "registry/Registry.h"

namespace {

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

}  // namespace

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
