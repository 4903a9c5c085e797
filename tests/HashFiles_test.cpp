#include "guard/HashFiles.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/TextFunctions.h"
#include "app/basSettings.h"
#include "guard/HashCache.h"
#include "guard/Md2.h"
#include "guard/Md2Lanes.h"
#include "guard/basCalculateHash.h"
#include "guard/basGuard.h"
#include "platform/crypto.h"
#include "registry/basReg.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

// Sizes around the 16-byte block and the 32768-byte read, and one of several reads.
const std::size_t kSizes[] = {0,     1,     15,    16,    17,    31,    32,     33,    255,
                              32767, 32768, 32769, 65535, 65536, 65537, 100003, 200000};

}  // namespace

TEST(Md2LanesTest, EveryLaneCountGivesEachInputItsOwnDigest) {
  for (int lanes = 1; lanes <= kMaxMd2Lanes; ++lanes) {
    std::vector<std::string> inputs;
    std::vector<Md2LaneState> states(static_cast<std::size_t>(lanes));
    Md2LaneState* state_of[kMaxMd2Lanes];
    const uint8_t* blocks[kMaxMd2Lanes];
    for (int i = 0; i < lanes; ++i) {
      inputs.push_back(Pattern(16 * 7, i + 10 * lanes));
      state_of[i] = &states[static_cast<std::size_t>(i)];
      blocks[i] = reinterpret_cast<const uint8_t*>(inputs.back().data());
    }
    // 7 blocks in two calls, then the padding block and the checksum block.
    Md2AddBlocks(lanes, state_of, blocks, 3);
    for (int i = 0; i < lanes; ++i)
      blocks[i] += 48;
    Md2AddBlocks(lanes, state_of, blocks, 4);
    uint8_t padding[16];
    std::fill(std::begin(padding), std::end(padding), 16);
    uint8_t checksums[kMaxMd2Lanes][16];
    for (int i = 0; i < lanes; ++i)
      blocks[i] = padding;
    Md2AddBlocks(lanes, state_of, blocks, 1);
    for (int i = 0; i < lanes; ++i) {
      std::copy(std::begin(states[i].checksum), std::end(states[i].checksum), checksums[i]);
      blocks[i] = checksums[i];
    }
    Md2AddBlocks(lanes, state_of, blocks, 1);
    for (int i = 0; i < lanes; ++i) {
      std::string digest(reinterpret_cast<const char*>(states[i].state), 16);
      EXPECT_EQ(HexDigits(digest), Md2Hex(inputs[i])) << lanes << " lanes, lane " << i;
    }
  }
}

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
  EXPECT_EQ(expected[contents.size()], "");
  EXPECT_EQ(expected[contents.size() + 2], "");

  for (auto [threads, lanes] : {std::pair{1, 1}, {1, 2}, {1, 6}, {2, 3}, {2, 6}, {3, 8}, {0, 0}}) {
    EXPECT_EQ(HashFiles(paths, platform::kAlgorithmMd2, threads, lanes), expected)
        << threads << " threads, " << lanes << " lanes";
  }
  EXPECT_EQ(HashFiles(paths, platform::kAlgorithmMd2), expected);
  EXPECT_TRUE(HashFiles({}, platform::kAlgorithmMd2).empty());
}

TEST(HashFilesTest, OtherAlgorithmsAreLeftToHashFile) {
  TestFolder folder;
  std::vector<std::string> paths = {folder.Write("abc.txt", "abc"), folder.File("missing")};
  std::vector<std::string> expected = {HashFile(paths[0], platform::kAlgorithmMd5), ""};
  EXPECT_EQ(HashFiles(paths, platform::kAlgorithmMd5), expected);
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
  std::vector<std::string> today = GetFileHashesCached(paths, 0x8001);
  EXPECT_EQ(today[1], "CACHED1");  // from the cache, not the file
  EXPECT_EQ(today[0], Md2Hex(Pattern(40000, 0)));
  EXPECT_EQ(today[2], "");
  EXPECT_EQ(ReadRegValue(kHashesKey, files_[5], ""), Md2Hex(Pattern(40005, 5)));

  // First pass of a new day: the hits before the first miss still answer from the
  // cache; the first miss empties it, its own answer included, and later paths are
  // hashed afresh, even those that had an answer yesterday.
  ExpectBatchEqualsOneByOne(
      [&] {
        WriteRegValue(kSettingsKey, "LastHashesCleared", "5");
        WriteRegValue(kHashesKey, files_[0], "OLD0");
        WriteRegValue(kHashesKey, files_[1], "OLD1");
        WriteRegValue(kHashesKey, files_[3], "OLD3");
      },
      paths);
  DeleteRegTree(kHashesKey);
  WriteRegValue(kSettingsKey, "LastHashesCleared", "5");
  WriteRegValue(kHashesKey, files_[0], "OLD0");
  WriteRegValue(kHashesKey, files_[1], "OLD1");
  WriteRegValue(kHashesKey, files_[3], "OLD3");
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
