#include "guard/FileHash.h"

#include "app/ErrorScope.h"
#include "app/Paths.h"
#include "guard/Md2.h"
#include "platform/crypto.h"
#include "platform/files.h"

namespace {

// Empty when the file cannot be read.
std::string BuiltInMd2(const std::string& path) {
  Md2 md2;
  bool read = platform::ReadFileBlocks(path, kHashBlockSize, [&](const char* data, std::size_t n) {
    md2.Add(data, n);
    return true;
  });
  return read ? HexDigits(md2.Finish()) : "";
}

}  // namespace

std::string HashFile(const std::string& path, uint32_t algorithm) {
  ErrorScope error(ErrorScope::AtEnd::kClear);
  std::string digest;
  error.Try([&] {
    if (!FileExists(path)) return;
    std::unique_ptr<platform::ProviderHash> provider = platform::OpenProviderHash(algorithm);
    if (provider) {
      bool provider_ok = true;
      bool read = platform::ReadFileBlocks(path, kHashBlockSize,
                                           [&](const char* data, std::size_t n) {
                                             provider_ok = provider->Add(data, n);
                                             return provider_ok;
                                           });
      std::string bytes;
      if (read && provider_ok && provider->Finish(&bytes) && !bytes.empty()) {
        digest = HexDigits(bytes);
        return;
      }
      if (provider_ok && !read) return;  // the file, not the provider, failed
    }
    if (algorithm == platform::kAlgorithmMd2) digest = BuiltInMd2(path);
  });
  return digest;
}
