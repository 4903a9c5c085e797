// The text and path helpers every part of the program leans on.
#include "app/Paths.h"

#include <gtest/gtest.h>

#include "app/ShortPath.h"
#include "app/TextFunctions.h"
#include "platform/files.h"
#include "support/TestFolder.h"

namespace {

TEST(PathHelpersTest, NameExtensionBaseAndFolder) {
  struct Row {
    const char *path, *name, *extension, *base, *folder;
  };
  const Row rows[] = {
      {"c:\\dir\\setup.tar.exe", "setup.tar.exe", "exe", "setup.tar", "c:\\dir"},
      {"c:\\a.b\\file", "file", "b\\file", "file", "c:\\a.b"},
      {"c:\\dir\\readme", "readme", "", "readme", "c:\\dir"},
      {"a\\b", "a\\b", "", "a\\b", "a"},  // fewer than 4 characters: the whole as name
      {"c:\\dir\\", "", "", "", "c:\\dir"},
      {"notepad.exe", "notepad.exe", "exe", "notepad", ""},
      {"c:\\x\\y\\x", "x", "", "x", "c:\\x\\y"},  // the last backslash only
      {"HKCU\\Software\\Run\\Run", "Run", "", "Run", "HKCU\\Software\\Run"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(GetFileName(row.path), row.name);
    EXPECT_EQ(GetFileExtension(row.path), row.extension);
    EXPECT_EQ(GetFileBaseName(row.path), row.base);
    EXPECT_EQ(GetFolderPath(row.path), row.folder);
  }
  EXPECT_EQ(GetFileName(""), "");
}

// Every attribute counts: hidden and system at once is how harmful programs hide.
TEST(FileExistsTest, FilesOfAnyAttributeAndPatternsCountFoldersDoNot) {
  TestFolder folder;
  const uint32_t attributes[] = {platform::kAttrHidden, platform::kAttrSystem,
                                 platform::kAttrHidden | platform::kAttrSystem,
                                 platform::kAttrReadOnly | platform::kAttrArchive};
  for (uint32_t attribute : attributes) {
    std::string file = folder.Write("a" + std::to_string(attribute) + ".exe", "x");
    ASSERT_TRUE(platform::WriteAttributes(file, attribute));
    EXPECT_TRUE(FileExists(file)) << attribute;
  }
  folder.Write("tool.exe", "MZ");
  for (const char* name : {"tool.exe", "TOOL.EXE", "*.exe", "to?l.exe"})
    EXPECT_TRUE(FileExists(folder.File(name))) << name;
  for (const std::string& path : {folder.path(), folder.path() + "\\", folder.File("missing.exe"),
                                  folder.File("*.dll"), std::string()})
    EXPECT_FALSE(FileExists(path)) << path;

  std::string short_path = GetShortPath(folder.Write("a long file name.executable", "x"));
  EXPECT_FALSE(short_path.empty());
  EXPECT_TRUE(FileExists(short_path));
  EXPECT_EQ(GetShortPath(folder.File("missing.exe")), "");
}

TEST(TextFunctionsTest, SplitReplaceAndCompare) {
  EXPECT_EQ(SplitText("a,,b", ","), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitText("", "<#>"), (std::vector<std::string>{""}));
  EXPECT_EQ(SplitText("<#>x<#>", "<#>"), (std::vector<std::string>{"", "x", ""}));
  // One pass from the left: removing "ab" from "aabb" leaves the "ab" it brought together.
  EXPECT_EQ(RemoveAll("aabb", "ab"), "ab");
  EXPECT_EQ(ReplaceAll("a<b>", "<", "%20"), "a%20b>");
  EXPECT_EQ(RemoveAll("text", ""), "text");
  EXPECT_EQ(RemoveAllIgnoringCase("HTTP://Www.host/x http://", "http://"), "Www.host/x ");
  EXPECT_TRUE(EqualsIgnoringCase("MyApp.EXE", "myapp.exe"));
  EXPECT_FALSE(EqualsIgnoringCase("myapp.exe", "myapp.ex"));
  EXPECT_EQ(FindIgnoringCase("No Record Found", "record"), 3u);
  EXPECT_EQ(UpperCase("u"), "U");
}

}  // namespace
