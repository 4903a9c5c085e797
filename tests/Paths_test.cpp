#include "app/Paths.h"

#include <gtest/gtest.h>

#include "app/ShortPath.h"
#include "platform/files.h"
#include "support/TestFolder.h"

namespace {

TEST(PathHelpersTest, FileName) {
  EXPECT_EQ(GetFileName("c:\\dir\\file.exe"), "file.exe");
  EXPECT_EQ(GetFileName("a\\b"), "a\\b");  // fewer than 4 characters: unchanged
  EXPECT_EQ(GetFileName("c:\\dir\\"), "");
  EXPECT_EQ(GetFileName("notepad.exe"), "notepad.exe");
  EXPECT_EQ(GetFileName(""), "");
}

TEST(PathHelpersTest, ExtensionAndBaseName) {
  EXPECT_EQ(GetFileExtension("c:\\dir\\setup.tar.exe"), "exe");
  EXPECT_EQ(GetFileExtension("c:\\a.b\\file"), "b\\file");
  EXPECT_EQ(GetFileExtension("readme"), "");
  EXPECT_EQ(GetFileBaseName("c:\\dir\\setup.tar.exe"), "setup.tar");
  EXPECT_EQ(GetFileBaseName("c:\\dir\\readme"), "readme");
  EXPECT_EQ(GetFileBaseName("c:\\a.b\\file"), "file");
}

TEST(PathHelpersTest, FolderPathCutsAtTheLastBackslashOnly) {
  EXPECT_EQ(GetFolderPath("c:\\dir\\file.exe"), "c:\\dir");
  EXPECT_EQ(GetFolderPath("c:\\file.exe"), "c:");
  EXPECT_EQ(GetFolderPath("file.exe"), "");
  // The same tail earlier in the path stays where it is.
  EXPECT_EQ(GetFolderPath("c:\\x\\y\\x"), "c:\\x\\y");
  EXPECT_EQ(GetFolderPath("HKCU\\Software\\Run\\Run"), "HKCU\\Software\\Run");
}

TEST(FileExistsTest, FilesCountFoldersDoNot) {
  TestFolder folder;
  std::string file = folder.Write("app.exe", "MZ");
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(folder.path()));
  EXPECT_FALSE(FileExists(folder.File("missing.exe")));
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FileExists(folder.path() + "\\"));
  EXPECT_TRUE(FileExists(folder.File("APP.EXE")));  // names are found without regard to case
}

// Hidden and system at once is how harmful programs hide: such a file is there.
TEST(FileExistsTest, EveryAttributeCountsHiddenAndSystemTogetherToo) {
  TestFolder folder;
  std::string hidden = folder.Write("hidden.exe", "x");
  std::string system = folder.Write("system.exe", "x");
  std::string both = folder.Write("both.exe", "x");
  std::string read_only = folder.Write("readonly.exe", "x");
  ASSERT_TRUE(platform::WriteAttributes(hidden, platform::kAttrHidden));
  ASSERT_TRUE(platform::WriteAttributes(system, platform::kAttrSystem));
  ASSERT_TRUE(platform::WriteAttributes(both, platform::kAttrHidden | platform::kAttrSystem));
  ASSERT_TRUE(platform::WriteAttributes(read_only, platform::kAttrReadOnly | platform::kAttrArchive));
  EXPECT_TRUE(FileExists(hidden));
  EXPECT_TRUE(FileExists(system));
  EXPECT_TRUE(FileExists(both));
  EXPECT_TRUE(FileExists(read_only));
}

TEST(FileExistsTest, WildcardsActAsPatterns) {
  TestFolder folder;
  folder.Write("tool.exe", "x");
  EXPECT_TRUE(FileExists(folder.File("*.exe")));
  EXPECT_TRUE(FileExists(folder.File("to?l.exe")));
  EXPECT_FALSE(FileExists(folder.File("*.dll")));
}

TEST(ShortPathTest, ExistingPathsHaveAShortFormMissingOnesNone) {
  TestFolder folder;
  std::string file = folder.Write("a long file name.executable", "x");
  std::string short_path = GetShortPath(file);
  EXPECT_FALSE(short_path.empty());
  EXPECT_TRUE(FileExists(short_path));
  EXPECT_EQ(GetShortPath(folder.File("missing.exe")), "");
}

}  // namespace
