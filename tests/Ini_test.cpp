#include <gtest/gtest.h>

#include "app/LikePattern.h"
#include "app/Ini.h"
#include "app/RuleIni.h"
#include "support/TestFolder.h"

namespace {

TEST(LikePatternTest, WildcardsDigitsAndClasses) {
  EXPECT_TRUE(*MatchesLikePattern("application", "app*"));
  EXPECT_TRUE(*MatchesLikePattern("app", "app*"));
  EXPECT_FALSE(*MatchesLikePattern("ap", "app*"));
  EXPECT_TRUE(*MatchesLikePattern("abc", "a?c"));
  EXPECT_FALSE(*MatchesLikePattern("ac", "a?c"));
  EXPECT_TRUE(*MatchesLikePattern("v2", "v#"));
  EXPECT_FALSE(*MatchesLikePattern("vx", "v#"));
  EXPECT_TRUE(*MatchesLikePattern("b", "[a-c]"));
  EXPECT_FALSE(*MatchesLikePattern("d", "[a-c]"));
  EXPECT_TRUE(*MatchesLikePattern("d", "[!a-c]"));
  EXPECT_TRUE(*MatchesLikePattern("anything", "*"));
  EXPECT_TRUE(*MatchesLikePattern("", "*"));
  EXPECT_TRUE(*MatchesLikePattern("a*b", "a[*]b"));
  EXPECT_FALSE(*MatchesLikePattern("App", "app"));  // case-sensitive: callers lower-case
  EXPECT_FALSE(MatchesLikePattern("a", "[a").has_value());
  EXPECT_TRUE(*MatchesLikePattern("ab", "a[]b"));
}

class ReadExIniTest : public ::testing::Test {
 protected:
  std::string Read(const std::string& text, const std::string& section, const std::string& key,
                   const std::string& default_value = "DEF") {
    return ReadExIniValue(folder_.Write("prerules.ini", text), section, key, default_value);
  }
  TestFolder folder_;
};

TEST_F(ReadExIniTest, SectionsAndKeysMatchWithoutRegardToCase) {
  EXPECT_EQ(Read("[App]\r\nF=app.exe\r\n", "app", "f"), "app.exe");
  EXPECT_EQ(Read("[App]\rF=app.exe\r", "APP", "F"), "app.exe");  // a lone CR ends a line too
}

TEST_F(ReadExIniTest, HeadersArePatterns) {
  EXPECT_EQ(Read("[app*]\r\nF=x.exe\r\n", "application", "F"), "x.exe");
  EXPECT_EQ(Read("[*]\r\nF=any.exe\r\n", "Whatever", "F"), "any.exe");
  EXPECT_EQ(Read("[v#]\r\nF=v.exe\r\n", "v2", "F"), "v.exe");
}

TEST_F(ReadExIniTest, MissingKeyGivesTheDefaultWhetherASectionFollowsOrTheFileEnds) {
  EXPECT_EQ(Read("[App]\r\nC=Y\r\n[Other]\r\nF=o.exe\r\n", "App", "F"), "DEF");
  EXPECT_EQ(Read("[App]\r\nC=Y\r\n", "App", "F"), "DEF");
  EXPECT_EQ(Read("[Other]\r\nF=o.exe\r\n", "App", "F"), "DEF");
  EXPECT_EQ(ReadExIniValue(folder_.File("missing.ini"), "App", "F", "DEF"), "DEF");
}

TEST_F(ReadExIniTest, EmptyValuesGiveTheDefaultAndBlanksAreKept) {
  EXPECT_EQ(Read("[App]\r\nF=\r\n", "App", "F"), "DEF");
  EXPECT_EQ(Read("[App]\r\nD=Updater  \r\n", "App", "D"), "Updater  ");
  // "F = x" has no "F=" in it: a key's line without a value.
  EXPECT_EQ(Read("[App]\r\nF = x\r\n", "App", "F"), "DEF");
}

TEST_F(ReadExIniTest, KeysMatchByPrefixAndTheValueEndsAtASecondKeyEquals) {
  // "Fx=1" is a line of key F, but holds no "F=": the default, and the search stops.
  EXPECT_EQ(Read("[App]\r\nFx=1\r\nF=app.exe\r\n", "App", "F"), "DEF");
  EXPECT_EQ(Read("[App]\r\nF=a.exeF=b.exe\r\n", "App", "F"), "a.exe");
  EXPECT_EQ(Read("[App]\r\nD=x\r\nd=y\r\n", "App", "D"), "x");
}

TEST_F(ReadExIniTest, ARepeatedSectionIsSearchedToo) {
  EXPECT_EQ(Read("[App]\r\nC=Y\r\n[App]\r\nF=second.exe\r\n", "App", "F"), "second.exe");
  EXPECT_EQ(Read("[App]\r\nF=first.exe\r\n[App]\r\nF=second.exe\r\n", "App", "F"), "first.exe");
}

TEST_F(ReadExIniTest, AStarLineSelectsAnyKeyButHoldsNoValue) {
  EXPECT_EQ(Read("[App]\r\n*\r\nF=app.exe\r\n", "App", "F"), "DEF");
}

TEST_F(ReadExIniTest, AHeaderIsNeverReadAsAKeyPattern) {
  // As patterns, "[securityhealth]" and "[onedrive]" are character classes that hold
  // c and d: read as key lines they would end the search before C= and D=.
  std::string rules = "[SecurityHealth]\r\nF=SecurityHealthSystray.exe\r\nC=Y\r\nD=Tray\r\n"
                      "[OneDrive]\r\nF=OneDrive.exe\r\nC=U\r\nD=Sync client\r\n";
  EXPECT_EQ(Read(rules, "SecurityHealth", "C"), "Y");
  EXPECT_EQ(Read(rules, "OneDrive", "D"), "Sync client");
  EXPECT_EQ(Read(rules, "onedrive", "F"), "OneDrive.exe");
}

TEST_F(ReadExIniTest, AMalformedPatternGivesTheDefault) {
  EXPECT_EQ(Read("[App]\r\nF=app.exe\r\n", "App", "F"), "app.exe");
  EXPECT_EQ(Read("[App]\r\nx[y\r\nF=app.exe\r\n", "App", "F"), "DEF");
}

TEST(IniFileTest, GetIniValueFollowsThePlatformRules) {
  TestFolder folder;
  std::string file = folder.Write(
      "ver.ini", "[Installed]\r\nRunwarden.exe =  1.4.0.9  \r\nEmpty=\r\n[Other]\r\nk=v\r\n");
  EXPECT_EQ(GetIniValue(file, "installed", "RUNWARDEN.EXE", "1.0"), "1.4.0.9");
  EXPECT_EQ(GetIniValue(file, "Installed", "Empty", "1.0"), "");
  EXPECT_EQ(GetIniValue(file, "Installed", "Missing", "1.0"), "1.0");
  EXPECT_EQ(GetIniValue(file, "Missing", "k", "d"), "d");
  EXPECT_EQ(GetIniValue(folder.File("none.ini"), "Installed", "k", "1.0"), "1.0");
}

TEST(IniFileTest, LongValuesAreCutTo998Characters) {
  TestFolder folder;
  std::string file = folder.Write("long.ini", "[s]\r\nk=" + std::string(1200, 'v') + "\r\n");
  EXPECT_EQ(GetIniValue(file, "s", "k", ""), std::string(998, 'v'));
}

TEST(IniFileTest, SetIniValueCreatesTheFileAndSectionAndReplacesValues) {
  TestFolder folder;
  std::string file = folder.File("ver.ini");
  EXPECT_TRUE(SetIniValue(file, "Installed", "Runwarden.exe", "1.0.0.0"));
  EXPECT_EQ(GetIniValue(file, "Installed", "Runwarden.exe", ""), "1.0.0.0");
  SetIniValue(file, "Installed", "Other.exe", "2.0.0.0");
  SetIniValue(file, "installed", "runwarden.exe", "1.4.0.9");
  EXPECT_EQ(GetIniValue(file, "Installed", "Runwarden.exe", ""), "1.4.0.9");
  EXPECT_EQ(GetIniValue(file, "Installed", "Other.exe", ""), "2.0.0.0");
  SetIniValue(file, "Second", "k", "v");
  EXPECT_EQ(GetIniValue(file, "Second", "k", ""), "v");
}

}  // namespace
