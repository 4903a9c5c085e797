#include "guard/HashCache.h"

#include <map>
#include <set>

#include "app/ErrorScope.h"
#include "app/basSettings.h"
#include "guard/HashFiles.h"
#include "guard/basCalculateHash.h"
#include "guard/basGuard.h"
#include "platform/system.h"
#include "registry/basReg.h"

namespace {

constexpr char kStamp[] = "LastHashesCleared";

// A missing stamp reads "0", so a first run clears.
bool ClearedToday(const std::string& today) {
  return ReadRegValue(kSettingsKey, kStamp, "0") == today;
}

}  // namespace

std::string CachedFileHash(const std::string& path, const std::function<std::string()>& compute) {
  ErrorScope error;
  std::string hash;
  error.Try([&] {
    hash = ReadRegValue(kHashesKey, path, "");
    if (!hash.empty())
      return;
    hash = compute();
    WriteRegValue(kHashesKey, path, hash);
    std::string today = std::to_string(platform::Now().day);
    if (!ClearedToday(today)) {
      DeleteRegKey(kHashesKey);
      WriteRegValue(kSettingsKey, kStamp, today);
    }
  });
  return hash;
}

std::vector<std::string> GetFileHashesCached(const std::vector<std::string>& paths,
                                             uint32_t algorithm) {
  // Which files the steps below will ask to hash: every path the cache has no value for
  // now, and, when the first miss will empty the cache, every path after it as well.
  std::vector<std::string> to_hash;
  std::map<std::string, std::string> digests;
  {
    ErrorScope error;
    error.Try([&] {
      bool clearing = !ClearedToday(std::to_string(platform::Now().day));
      bool missed = false;
      std::set<std::string> chosen;
      for (const std::string& path : paths) {
        bool miss = ReadRegValue(kHashesKey, path, "").empty();
        if ((miss || (clearing && missed)) && chosen.insert(path).second)
          to_hash.push_back(path);
        missed = missed || miss;
      }
      std::vector<std::string> hashed = HashFiles(to_hash, algorithm);
      for (std::size_t i = 0; i < to_hash.size(); ++i)
        digests[to_hash[i]] = hashed[i];
    });
  }
  std::vector<std::string> result;
  result.reserve(paths.size());
  for (const std::string& path : paths) {
    result.push_back(CachedFileHash(path, [&] {
      auto found = digests.find(path);
      return found != digests.end() ? found->second : HashFile(path, algorithm);
    }));
  }
  return result;
}
