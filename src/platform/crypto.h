// The platform's cryptographic provider, for file digests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

inline constexpr uint32_t kAlgorithmMd2 = 0x8001;
inline constexpr uint32_t kAlgorithmMd5 = 0x8003;

// A running digest of the provider. Every call returns false once the provider failed.
class ProviderHash {
 public:
  virtual ~ProviderHash() = default;
  virtual bool Add(const char* data, std::size_t length) = 0;
  // The digest bytes.
  virtual bool Finish(std::string* digest) = 0;
};

// A digest object of the provider for Algorithm, or null when the provider cannot give
// one (no provider on this host, no such algorithm).
std::unique_ptr<ProviderHash> OpenProviderHash(uint32_t algorithm);

// Makes OpenProviderHash fail, as on a machine without a usable provider.
void SetProviderUnavailableForTesting(bool unavailable);

}  // namespace platform
