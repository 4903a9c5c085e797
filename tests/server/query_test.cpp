#include <gtest/gtest.h>

#include "Query.h"

using server::ParseQuery;
using server::PercentDecode;
using server::QueryValue;

TEST(Query, DecodesPercentEscapesOnly) {
  EXPECT_EQ(PercentDecode("x.exe%26report%3Dal"), "x.exe&report=al");
  EXPECT_EQ(PercentDecode("My%20Program%2fa%7Cb"), "My Program/a|b");
  EXPECT_EQ(PercentDecode("a+b.exe"), "a+b.exe");
  EXPECT_EQ(PercentDecode("%00"), std::string(1, '\0'));
  EXPECT_EQ(PercentDecode("100%"), "100%");
  EXPECT_EQ(PercentDecode("%4"), "%4");
  EXPECT_EQ(PercentDecode("%zz%41"), "%zzA");
}

TEST(Query, SplitsThePairsOfATargetInOrder) {
  const auto params = ParseQuery("/~vantor/filecheck.php?md5=AB12&file=x.exe%26report%3Dbl&report=al&flag&&");
  ASSERT_EQ(params.size(), 4u);
  EXPECT_EQ(QueryValue(params, "md5"), "AB12");
  EXPECT_EQ(QueryValue(params, "file"), "x.exe&report=bl");
  EXPECT_EQ(QueryValue(params, "report"), "al");
  EXPECT_EQ(QueryValue(params, "flag"), "");
  EXPECT_FALSE(QueryValue(params, "missing"));
}

TEST(Query, FirstOfRepeatedNamesWinsAndNoQueryMeansNoPairs) {
  EXPECT_EQ(QueryValue(ParseQuery("/p?report=al&report=bl"), "report"), "al");
  EXPECT_TRUE(ParseQuery("/p").empty());
  EXPECT_TRUE(ParseQuery("/p?").empty());
  EXPECT_EQ(QueryValue(ParseQuery("/p?a=1#b=2"), "a"), "1");
}
