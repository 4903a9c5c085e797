#include "platform/profile.h"

#include <windows.h>

#include <vector>

namespace platform {

std::string ReadProfileText(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& default_value,
                             std::size_t capacity) {
  std::vector<char> buffer(capacity + 1, '\0');
  DWORD copied = GetPrivateProfileStringA(section.c_str(), key.c_str(), default_value.c_str(),
                                          buffer.data(), static_cast<DWORD>(capacity),
                                          file.c_str());
  return std::string(buffer.data(), copied);
}

bool WriteProfileText(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
}

}  // namespace platform
