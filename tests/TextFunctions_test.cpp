#include "app/TextFunctions.h"

#include <gtest/gtest.h>

namespace {

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
