#include "guard/HashCache.h"

#include <map>
#include <set>

#include "app/ErrorScope.h"
#include "app/Settings.h"
#include "guard/HashFiles.h"
#include "guard/FileHash.h"
#include "platform/system.h"
#include "registry/Registry.h"

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
  std::vector<std::string> cached;  // what the cache held for each path, read at once
  {
    ErrorScope error;
    error.Try([&] {
      bool clearing = !ClearedToday(std::to_string(platform::Now().day));
      bool missed = false;
      std::set<std::string> chosen;
      cached = ReadRegValues(kHashesKey, paths, "");
      for (std::size_t i = 0; i < paths.size(); ++i) {
        bool miss = cached[i].empty();
        if ((miss || (clearing && missed)) && chosen.insert(paths[i]).second)
          to_hash.push_back(paths[i]);
        missed = missed || miss;
      }
      std::vector<std::string> hashed = HashFiles(to_hash, algorithm);
      for (std::size_t i = 0; i < to_hash.size(); ++i)
        digests[to_hash[i]] = hashed[i];
    });
  }
  std::vector<std::string> result;
  result.reserve(paths.size());
  // Until a step has to look for itself (and may write or clear the cache), the values
  // read above are what the cache holds: a warm pass reads each path once.
  bool stepped = false;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (!stepped && i < cached.size() && !cached[i].empty()) {
      result.push_back(cached[i]);
      continue;
    }
    stepped = true;
    const std::string& path = paths[i];
    result.push_back(CachedFileHash(path, [&] {
      auto found = digests.find(path);
      return found != digests.end() ? found->second : HashFile(path, algorithm);
    }));
  }
  return result;
}

std::string GetFileHashCached(const std::string& path, uint32_t algorithm) {
  return CachedFileHash(path, [&] { return HashFile(path, algorithm); });
}
