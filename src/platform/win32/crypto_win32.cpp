#include "platform/crypto.h"

#include <windows.h>
#include <wincrypt.h>

namespace platform {
namespace {

bool g_unavailable_for_testing = false;

class CryptoApiHash : public ProviderHash {
 public:
  CryptoApiHash(HCRYPTPROV provider, HCRYPTHASH hash) : provider_(provider), hash_(hash) {}
  ~CryptoApiHash() override {
    CryptDestroyHash(hash_);
    CryptReleaseContext(provider_, 0);
  }
  CryptoApiHash(const CryptoApiHash&) = delete;
  CryptoApiHash& operator=(const CryptoApiHash&) = delete;

  bool Add(const char* data, std::size_t length) override {
    if (failed_) return false;
    if (!CryptHashData(hash_, reinterpret_cast<const BYTE*>(data), static_cast<DWORD>(length), 0))
      failed_ = true;
    return !failed_;
  }

  bool Finish(std::string* digest) override {
    if (failed_) return false;
    DWORD size = 0, size_length = sizeof size;
    if (!CryptGetHashParam(hash_, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &size_length, 0) ||
        size == 0 || size > 64)
      return false;
    BYTE value[64];
    DWORD value_length = size;
    if (!CryptGetHashParam(hash_, HP_HASHVAL, value, &value_length, 0)) return false;
    digest->assign(reinterpret_cast<const char*>(value), value_length);
    return true;
  }

 private:
  HCRYPTPROV provider_;
  HCRYPTHASH hash_;
  bool failed_ = false;
};

bool AcquireProvider(HCRYPTPROV* provider) {
  if (CryptAcquireContextW(provider, nullptr, nullptr, PROV_RSA_FULL, 0)) return true;
  if (GetLastError() == static_cast<DWORD>(NTE_BAD_KEYSET) &&
      CryptAcquireContextW(provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET))
    return true;
  // A digest needs no key container at all.
  return CryptAcquireContextW(provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
}

}  // namespace

std::unique_ptr<ProviderHash> OpenProviderHash(uint32_t algorithm) {
  if (g_unavailable_for_testing) return nullptr;
  HCRYPTPROV provider = 0;
  if (!AcquireProvider(&provider)) return nullptr;
  HCRYPTHASH hash = 0;
  if (!CryptCreateHash(provider, algorithm, 0, 0, &hash)) {
    CryptReleaseContext(provider, 0);
    return nullptr;
  }
  return std::make_unique<CryptoApiHash>(provider, hash);
}

void SetProviderUnavailableForTesting(bool unavailable) { g_unavailable_for_testing = unavailable; }

}  // namespace platform
