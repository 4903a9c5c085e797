// File digests: MD2 itself, one file, many files at once, and the daily cache.
#include "guard/HashFiles.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/Settings.h"
#include "app/TextFunctions.h"
#include "guard/FileHash.h"
#include "guard/HashCache.h"
#include "guard/Md2.h"
#include "guard/Md2Lanes.h"
#include "platform/crypto.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
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

// Sizes around the 16-byte block and the 32768-byte read, and one of several reads.
const std::size_t kSizes[] = {0,     1,     15,    16,    17,    31,    32,     33,    255,
                              32767, 32768, 32769, 65535, 65536, 65537, 100003, 200000};

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

TEST(HashFileTest, WithoutAProviderTheBuiltInDigestIsGivenNeverThePath) {
  TestFolder folder;
  std::string path = folder.Write("abc.txt", "abc");
  std::string big = folder.Write("big.bin", Pattern(65537));
  platform::SetProviderUnavailableForTesting(true);
  EXPECT_EQ(HashFile(path, platform::kAlgorithmMd2), "DA853B0D3F88D99B30283A69E6DED6BB");
  EXPECT_EQ(HashFile(big, platform::kAlgorithmMd2), Md2Hex(Pattern(65537)));
  // No built-in MD5: nothing rather than a path that looks like an answer.
  EXPECT_EQ(HashFile(path, platform::kAlgorithmMd5), "");
  platform::SetProviderUnavailableForTesting(false);
}

// With several lanes the lanes in use shrink as files end, so every lane count of
// Md2AddBlocks is driven here.
TEST(HashFilesTest, EveryFileGetsWhatHashFileGivesWhateverTheThreadsAndLanes) {
  TestFolder folder;
  std::vector<std::string> paths;
  std::vector<std::string> contents;
  int seed = 0;
  for (std::size_t size : kSizes) {
    contents.push_back(Pattern(size, ++seed));
    paths.push_back(folder.Write("f" + std::to_string(size) + ".bin", contents.back()));
  }
  paths.push_back(folder.File("missing.exe"));
  paths.push_back(folder.path());           // a folder
  paths.push_back(folder.File("f1*.bin"));  // found by FileExists, not openable
  paths.push_back(paths[3]);                // the same file twice
  paths.push_back("");

  std::vector<std::string> expected;
  for (const std::string& path : paths)
    expected.push_back(HashFile(path, platform::kAlgorithmMd2));
  for (std::size_t i = 0; i < contents.size(); ++i)
    ASSERT_EQ(expected[i], Md2Hex(contents[i]));
  // What is not a readable file gives nothing, never its path.
  for (std::size_t i : {0u, 1u, 2u, 4u})
    EXPECT_EQ(expected[contents.size() + i], "") << paths[contents.size() + i];

  for (auto [threads, lanes] : {std::pair{1, 1}, {1, 2}, {1, 8}, {2, 3}, {2, 6}, {3, 8}, {0, 0}}) {
    EXPECT_EQ(HashFiles(paths, platform::kAlgorithmMd2, threads, lanes), expected)
        << threads << " threads, " << lanes << " lanes";
  }
  EXPECT_EQ(HashFiles(paths, platform::kAlgorithmMd2), expected);
  EXPECT_TRUE(HashFiles({}, platform::kAlgorithmMd2).empty());
  // Other algorithms are left to HashFile.
  EXPECT_EQ(HashFiles({paths[3], paths[contents.size()]}, platform::kAlgorithmMd5),
            (std::vector<std::string>{HashFile(paths[3], platform::kAlgorithmMd5), ""}));
}

namespace {

class HashCacheTest : public ::testing::Test {
 protected:
  HashCacheTest() : now_({2026, 3, 6, 10, 0, 0}) {
    for (int i = 0; i < 6; ++i)
      files_.push_back(folder_.Write("file" + std::to_string(i) + ".exe", Pattern(40000 + i, i)));
  }

  // The cache and its stamp, as a text to compare.
  static std::string CacheState() {
    std::string state = "stamp=" + ReadRegValue(kSettingsKey, "LastHashesCleared", "<none>");
    for (const RegValueEntry& value : EnumRegValues(kHashesKey).entries)
      state += "\n" + LowerCase(value.name) + "=" + std::get<std::string>(value.value);
    return state;
  }

  // Runs the per-path calls and the batch from the same start and compares what each
  // returned and left in the registry.
  void ExpectBatchEqualsOneByOne(const std::function<void()>& setup,
                                 const std::vector<std::string>& paths) {
    DeleteRegTree(kHashesKey);
    setup();
    std::vector<std::string> one_by_one;
    for (const std::string& path : paths)
      one_by_one.push_back(GetFileHashCached(path, 0x8001));
    std::string state_after_one_by_one = CacheState();

    DeleteRegTree(kHashesKey);
    setup();
    EXPECT_EQ(GetFileHashesCached(paths, 0x8001), one_by_one);
    EXPECT_EQ(CacheState(), state_after_one_by_one);
  }

  RegistrySandbox sandbox_;
  TestFolder folder_;
  ScopedNow now_;
  std::vector<std::string> files_;
};

}  // namespace

TEST_F(HashCacheTest, ABatchAnswersAndCachesAsOneCallPerPathWould) {
  std::string missing = folder_.File("gone.exe");
  std::vector<std::string> paths = {files_[0], files_[1], missing,   files_[2], files_[1],
                                    files_[3], files_[4], files_[5], missing};

  // Already cleared today: hits stay, misses are hashed and kept.
  ExpectBatchEqualsOneByOne(
      [&] {
        WriteRegValue(kSettingsKey, "LastHashesCleared", "6");
        WriteRegValue(kHashesKey, files_[1], "CACHED1");
        WriteRegValue(kHashesKey, files_[4], "CACHED4");
      },
      paths);
  EXPECT_EQ(GetFileHashesCached(paths, 0x8001)[1], "CACHED1");  // from the cache, not the file

  // First pass of a new day: the hits before the first miss still answer from the
  // cache; the first miss empties it, its own answer included, and later paths are
  // hashed afresh, even those that had an answer yesterday.
  auto yesterday = [&] {
    WriteRegValue(kSettingsKey, "LastHashesCleared", "5");
    for (int i : {0, 1, 3})
      WriteRegValue(kHashesKey, files_[i], "OLD" + std::to_string(i));
  };
  ExpectBatchEqualsOneByOne(yesterday, paths);
  DeleteRegTree(kHashesKey);
  yesterday();
  std::vector<std::string> new_day = GetFileHashesCached(paths, 0x8001);
  EXPECT_EQ(new_day[0], "OLD0");
  EXPECT_EQ(new_day[1], "OLD1");
  EXPECT_EQ(new_day[4], Md2Hex(Pattern(40001, 1)));  // the second visit, after the clearing
  EXPECT_EQ(new_day[5], Md2Hex(Pattern(40003, 3)));
  EXPECT_EQ(ReadRegValue(kSettingsKey, "LastHashesCleared", ""), "6");

  // No stamp and no cache at all, and a first miss whose file is readable.
  ExpectBatchEqualsOneByOne([] { DeleteRegValue(kSettingsKey, "LastHashesCleared"); },
                            {files_[2], files_[2], missing, files_[0]});
  // Paths that differ only in case share one cache value.
  ExpectBatchEqualsOneByOne([] { WriteRegValue(kSettingsKey, "LastHashesCleared", "6"); },
                            {files_[1], LowerCase(files_[1]), files_[3]});
}
