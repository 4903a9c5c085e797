// The platform's own digests: its MD2 must agree with ours (the shared suite's file
// digests come from it under Wine, and fall back to ours without a word), and a file
// locked against reading gives no digest, alone or among others, until it is free.
#include <windows.h>

#include <gtest/gtest.h>

#include "guard/FileHash.h"
#include "guard/HashFiles.h"
#include "guard/Md2.h"
#include "platform/crypto.h"
#include "support/TestFolder.h"

namespace {

std::string ProviderDigest(uint32_t algorithm, const std::string& bytes) {
  std::unique_ptr<platform::ProviderHash> hash = platform::OpenProviderHash(algorithm);
  std::string digest;
  if (!hash || !hash->Add(bytes.data(), bytes.size()) || !hash->Finish(&digest))
    return "<no provider>";
  return HexDigits(digest);
}

TEST(ProviderHashTest, TheProviderAgreesWithOursAndALockedFileGivesNothing) {
  for (const std::string& input : {std::string(), std::string("abc"), Pattern(100003)})
    EXPECT_EQ(ProviderDigest(platform::kAlgorithmMd2, input), Md2Hex(input)) << input.size();
  EXPECT_EQ(ProviderDigest(platform::kAlgorithmMd5, "abc"), "900150983CD24FB0D6963F7D28E17F72");

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
