#include <gtest/gtest.h>

#include <optional>

#include "app/LikePattern.h"
#include "app/Ini.h"
#include "app/RuleIni.h"
#include "support/TestFolder.h"

namespace {

TEST(LikePatternTest, WildcardsDigitsAndClasses) {
  struct Row {
    const char *text, *pattern;
    int match;  // -1: a malformed pattern
  };
  const Row rows[] = {
      {"application", "app*", 1}, {"app", "app*", 1}, {"ap", "app*", 0}, {"abc", "a?c", 1},
      {"ac", "a?c", 0},           {"v2", "v#", 1},    {"vx", "v#", 0},   {"b", "[a-c]", 1},
      {"d", "[a-c]", 0},          {"d", "[!a-c]", 1}, {"", "*", 1},      {"a*b", "a[*]b", 1},
      {"ab", "a[]b", 1},          {"a", "[a", -1},    {"App", "app", 0},  // case-sensitive: callers
                                                                          // lower-case
  };
  for (const Row& row : rows) {
    std::optional<bool> match = MatchesLikePattern(row.text, row.pattern);
    EXPECT_EQ(match ? static_cast<int>(*match) : -1, row.match) << row.text << " / " << row.pattern;
  }
}

TEST(ReadExIniTest, SectionsAndKeysArePatternsAndMissingValuesGiveTheDefault) {
  // As patterns, "[securityhealth]" and "[onedrive]" are character classes that hold c
  // and d: a header read as a key line would end the search before C= and D=.
  const std::string two =
      "[SecurityHealth]\r\nF=SecurityHealthSystray.exe\r\nC=Y\r\nD=Tray\r\n"
      "[OneDrive]\r\nF=OneDrive.exe\r\nC=U\r\nD=Sync client\r\n";
  struct Row {
    std::string text;
    const char *section, *key, *value;
  };
  const Row rows[] = {
      {"[App]\r\nF=app.exe\r\n", "app", "f", "app.exe"},
      {"[App]\rF=app.exe\r", "APP", "F", "app.exe"},  // a lone CR ends a line too
      {"[app*]\r\nF=x.exe\r\n", "application", "F", "x.exe"},
      {"[*]\r\nF=any.exe\r\n", "Whatever", "F", "any.exe"},
      {"[v#]\r\nF=v.exe\r\n", "v2", "F", "v.exe"},
      {"[App]\r\nC=Y\r\n[Other]\r\nF=o.exe\r\n", "App", "F", "DEF"},
      {"[App]\r\nC=Y\r\n", "App", "F", "DEF"},
      {"[Other]\r\nF=o.exe\r\n", "App", "F", "DEF"},
      {"[App]\r\nF=\r\n", "App", "F", "DEF"},
      {"[App]\r\nD=Updater  \r\n", "App", "D", "Updater  "},
      {"[App]\r\nF = x\r\n", "App", "F", "DEF"},              // no "F=" in it
      {"[App]\r\nFx=1\r\nF=app.exe\r\n", "App", "F", "DEF"},  // a line of key F: the search stops
      {"[App]\r\nF=a.exeF=b.exe\r\n", "App", "F", "a.exe"},
      {"[App]\r\nD=x\r\nd=y\r\n", "App", "D", "x"},
      {"[App]\r\nC=Y\r\n[App]\r\nF=second.exe\r\n", "App", "F", "second.exe"},
      {"[App]\r\nF=first.exe\r\n[App]\r\nF=second.exe\r\n", "App", "F", "first.exe"},
      {"[App]\r\n*\r\nF=app.exe\r\n", "App", "F", "DEF"},    // any key, no value
      {"[App]\r\nx[y\r\nF=app.exe\r\n", "App", "F", "DEF"},  // a malformed pattern
      {two, "SecurityHealth", "C", "Y"},
      {two, "OneDrive", "D", "Sync client"},
      {two, "onedrive", "F", "OneDrive.exe"},
  };
  TestFolder folder;
  for (const Row& row : rows)
    EXPECT_EQ(ReadExIniValue(folder.Write("prerules.ini", row.text), row.section, row.key, "DEF"),
              row.value)
        << row.text << " " << row.section << "/" << row.key;
  EXPECT_EQ(ReadExIniValue(folder.File("missing.ini"), "App", "F", "DEF"), "DEF");
}

TEST(IniFileTest, ValuesAreReadTrimmedAndCutAndWrittenInPlace) {
  TestFolder folder;
  std::string file = folder.Write("ver.ini",
                                  "[Installed]\r\nRunwarden.exe =  1.4.0.9  \r\nEmpty=\r\n"
                                  "[Other]\r\nk=v\r\nlong=" +
                                      std::string(1200, 'v') + "\r\n");
  EXPECT_EQ(GetIniValue(file, "installed", "RUNWARDEN.EXE", "1.0"), "1.4.0.9");
  EXPECT_EQ(GetIniValue(file, "Installed", "Empty", "1.0"), "");
  EXPECT_EQ(GetIniValue(file, "Installed", "Missing", "1.0"), "1.0");
  EXPECT_EQ(GetIniValue(file, "Missing", "k", "d"), "d");
  EXPECT_EQ(GetIniValue(folder.File("none.ini"), "Installed", "k", "1.0"), "1.0");
  EXPECT_EQ(GetIniValue(file, "Other", "long", ""), std::string(998, 'v'));

  file = folder.File("new.ini");
  EXPECT_TRUE(SetIniValue(file, "Installed", "Runwarden.exe", "1.0.0.0"));
  SetIniValue(file, "Installed", "Other.exe", "2.0.0.0");
  SetIniValue(file, "installed", "runwarden.exe", "1.4.0.9");
  SetIniValue(file, "Second", "k", "v");
  EXPECT_EQ(GetIniValue(file, "Installed", "Runwarden.exe", ""), "1.4.0.9");
  EXPECT_EQ(GetIniValue(file, "Installed", "Other.exe", ""), "2.0.0.0");
  EXPECT_EQ(GetIniValue(file, "Second", "k", ""), "v");
}

}  // namespace
