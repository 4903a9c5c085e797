// The platform's own MD2 against ours: the digests in the rule files and the community
// service must not depend on which one computed them.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "app/modINI.h"
#include "guard/HashFiles.h"
#include "guard/Md2.h"
#include "guard/basCalculateHash.h"
#include "platform/crypto.h"
#include "support/Programs.h"
#include "support/TestFolder.h"

namespace {

std::string ProviderDigest(uint32_t algorithm, const std::string& bytes) {
  std::unique_ptr<platform::ProviderHash> hash = platform::OpenProviderHash(algorithm);
  if (!hash) return "<no provider>";
  std::string digest;
  if (!hash->Add(bytes.data(), bytes.size()) || !hash->Finish(&digest)) return "<failed>";
  return HexDigits(digest);
}

}  // namespace

TEST(ProviderMd2Test, TheProviderAgreesWithTheBuiltInDigest) {
  for (const char* input :
       {"", "a", "abc", "message digest", "abcdefghijklmnopqrstuvwxyz",
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
        "12345678901234567890123456789012345678901234567890123456789012345678901234567890"})
    EXPECT_EQ(ProviderDigest(platform::kAlgorithmMd2, input), Md2Hex(input)) << input;
  EXPECT_EQ(ProviderDigest(platform::kAlgorithmMd2, "abc"), "DA853B0D3F88D99B30283A69E6DED6BB");
  EXPECT_EQ(ProviderDigest(platform::kAlgorithmMd5, "abc"), "900150983CD24FB0D6963F7D28E17F72");
}

TEST(ProviderMd2Test, FilesHashTheSameWithAndWithoutTheProvider) {
  TestFolder folder;
  for (std::size_t size : {0u, 32768u, 65536u, 65537u}) {
    std::string bytes = Pattern(size);
    std::string path = folder.Write("f" + std::to_string(size), bytes);
    std::string with_provider = HashFile(path, platform::kAlgorithmMd2);
    platform::SetProviderUnavailableForTesting(true);
    std::string built_in = HashFile(path, platform::kAlgorithmMd2);
    platform::SetProviderUnavailableForTesting(false);
    EXPECT_EQ(with_provider, ProviderDigest(platform::kAlgorithmMd2, bytes)) << size;
    EXPECT_EQ(built_in, with_provider) << size;
    EXPECT_EQ(built_in, Md2Hex(bytes)) << size;
  }
}

TEST(ProviderMd2Test, AFileLockedAgainstReadingGivesNothing) {
  TestFolder folder;
  std::string path = folder.Write("locked.exe", "MZ");
  HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_EQ(HashFile(path, platform::kAlgorithmMd2), "");
  CloseHandle(lock);
  EXPECT_EQ(HashFile(path, platform::kAlgorithmMd2), Md2Hex("MZ"));
}

TEST(ProviderMd2Test, ConcurrentHashingGivesTheProvidersDigests) {
  TestFolder folder;
  std::vector<std::string> paths;
  std::vector<std::string> provider;
  for (std::size_t size : {0u, 15u, 16u, 17u, 32767u, 32768u, 32769u, 65537u, 300000u}) {
    std::string bytes = Pattern(size);
    bytes += std::to_string(size);  // each file its own content
    paths.push_back(folder.Write("f" + std::to_string(size), bytes));
    provider.push_back(ProviderDigest(platform::kAlgorithmMd2, bytes));
  }
  // A file locked against reading gives nothing, as HashFile gives it.
  std::string locked = folder.Write("locked.exe", "MZ");
  HANDLE lock = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  paths.push_back(locked);
  provider.push_back("");
  for (auto [threads, lanes] : {std::pair{1, 1}, {1, 4}, {2, 6}, {0, 0}})
    EXPECT_EQ(HashFiles(paths, platform::kAlgorithmMd2, threads, lanes), provider)
        << threads << " threads, " << lanes << " lanes";
  CloseHandle(lock);
  EXPECT_EQ(HashFiles({locked}, platform::kAlgorithmMd2), std::vector<std::string>{Md2Hex("MZ")});
}

TEST(ProviderMd2Test, TheShippedVirusRulesNameTheEicarFileByTheProvidersDigest) {
  std::string rules = WinePath(RUNWARDEN_EXE_HOST_PATH);
  rules = rules.substr(0, rules.rfind('\\')) + "\\virrules.ini";
  for (const std::string& file : {EicarText(), EicarText() + "\r\n"})
    EXPECT_EQ(GetIniValue(rules, ProviderDigest(platform::kAlgorithmMd2, file), "name", ""),
              "EICAR-Test-File");
}
