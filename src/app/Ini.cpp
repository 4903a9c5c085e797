#include "app/Ini.h"

#include "platform/profile.h"

namespace {
constexpr std::size_t kIniBufferSize = 999;
}

std::string GetIniValue(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& default_value) {
  return platform::ReadProfileText(file, section, key, default_value, kIniBufferSize);
}

bool SetIniValue(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value) {
  platform::WriteProfileText(file, section, key, value);
  return true;
}
