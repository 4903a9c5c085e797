// The platform's own MD2 against ours: the digests in the rule files and the community
// service must not depend on which one computed them. (Under Wine the shared suite's
// file digests come from the provider, natively from ours; both are compared with ours.)
#include <windows.h>

#include <gtest/gtest.h>

#include "guard/HashFiles.h"
#include "guard/Md2.h"
#include "guard/FileHash.h"
#include "platform/crypto.h"
#include "support/TestFolder.h"

namespace {

std::string ProviderDigest(uint32_t algorithm, const std::string& bytes) {
  std::unique_ptr<platform::ProviderHash> hash = platform::OpenProviderHash(algorithm);
  if (!hash)
    return "<no provider>";
  std::string digest;
  if (!hash->Add(bytes.data(), bytes.size()) || !hash->Finish(&digest))
    return "<failed>";
  return HexDigits(digest);
}

TEST(ProviderMd2Test, TheProviderAgreesWithTheBuiltInDigest) {
  for (const char* input :
       {"", "a", "abc", "message digest", "abcdefghijklmnopqrstuvwxyz",
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
        "12345678901234567890123456789012345678901234567890123456789012345678901234567890"})
    EXPECT_EQ(ProviderDigest(platform::kAlgorithmMd2, input), Md2Hex(input)) << input;
  EXPECT_EQ(ProviderDigest(platform::kAlgorithmMd2, "abc"), "DA853B0D3F88D99B30283A69E6DED6BB");
  EXPECT_EQ(ProviderDigest(platform::kAlgorithmMd5, "abc"), "900150983CD24FB0D6963F7D28E17F72");
}

// A file locked against reading gives no digest, alone or among others, and its digest
// once it is free again.
TEST(ProviderMd2Test, AFileLockedAgainstReadingGivesNothing) {
  TestFolder folder;
  std::string path = folder.Write("locked.exe", "MZ");
  std::string other = folder.Write("other.exe", "other");
  HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_EQ(HashFile(path, platform::kAlgorithmMd2), "");
  for (auto [threads, lanes] : {std::pair{1, 1}, {2, 6}})
    EXPECT_EQ(HashFiles({other, path}, platform::kAlgorithmMd2, threads, lanes),
              (std::vector<std::string>{Md2Hex("other"), ""}))
        << threads << " threads, " << lanes << " lanes";
  CloseHandle(lock);
  EXPECT_EQ(HashFile(path, platform::kAlgorithmMd2), Md2Hex("MZ"));
}

}  // namespace
