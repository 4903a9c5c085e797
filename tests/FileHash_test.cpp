#include "guard/FileHash.h"

#include <gtest/gtest.h>

#include "guard/Md2.h"
#include "platform/crypto.h"
#include "support/TestFolder.h"

namespace {

// The test suite of RFC 1319.
const std::pair<const char*, const char*> kRfcVectors[] = {
    {"", "8350E5A3E24C153DF2275C9F80692773"},
    {"a", "32EC01EC4A6DAC72C0AB96FB34C0B5D1"},
    {"abc", "DA853B0D3F88D99B30283A69E6DED6BB"},
    {"message digest", "AB4F496BFB2A530B219FF33031FE06B0"},
    {"abcdefghijklmnopqrstuvwxyz", "4E8DDFF3650292AB5A4108C3AA47940B"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "DA33DEF2A42DF13975352846C30338CD"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "D5976F79D83D3A0DC9806C3C66F3EFD8"},
};

class ProviderOff {
 public:
  ProviderOff() { platform::SetProviderUnavailableForTesting(true); }
  ~ProviderOff() { platform::SetProviderUnavailableForTesting(false); }
};

}  // namespace

TEST(Md2Test, GivesTheRfcDigestsWholeOrFedInPieces) {
  for (const auto& [input, digest] : kRfcVectors)
    EXPECT_EQ(Md2Hex(input), digest) << input;
  std::string bytes = Pattern(1000);
  for (std::size_t piece : {1u, 15u, 16u, 17u, 333u}) {
    Md2 md2;
    for (std::size_t at = 0; at < bytes.size(); at += piece)
      md2.Add(bytes.data() + at, std::min(piece, bytes.size() - at));
    EXPECT_EQ(HexDigits(md2.Finish()), Md2Hex(bytes)) << piece;
  }
}

// Files of every size, and what is not a file, are in HashFiles_test.
TEST(HashFileTest, WithoutAProviderTheBuiltInDigestIsGivenNeverThePath) {
  TestFolder folder;
  std::string path = folder.Write("abc.txt", "abc");
  std::string big = folder.Write("big.bin", Pattern(65537));
  ProviderOff off;
  EXPECT_EQ(HashFile(path, platform::kAlgorithmMd2), "DA853B0D3F88D99B30283A69E6DED6BB");
  EXPECT_EQ(HashFile(big, platform::kAlgorithmMd2), Md2Hex(Pattern(65537)));
  // No built-in MD5: nothing rather than a path that looks like an answer.
  EXPECT_EQ(HashFile(path, platform::kAlgorithmMd5), "");
}
