#include "registry/Registry.h"

#include <gtest/gtest.h>

#include "app/ErrorScope.h"
#include "support/RegistrySandbox.h"

using namespace platform;

namespace {

constexpr char kKey[] = "HKCU\\Software\\RunwardenTests\\Reg";

// The raw type and bytes of a value, straight from the platform.
RegData RawValue(RegRoot root, const std::string& sub_key, const std::string& name) {
  RegHandle key = nullptr;
  RegData data;
  if (OpenKey(root, sub_key, kKeyQueryValue, &key) == kErrorSuccess) {
    QueryValue(key, name, &data);
    CloseKey(key);
  }
  return data;
}

void WriteRaw(const std::string& path, const std::string& name, uint32_t type,
              const std::string& bytes) {
  RegPathParts parts = SplitRegPath(path);
  RegHandle key = nullptr;
  ASSERT_EQ(CreateKey(parts.root, parts.sub_key, kKeyAllAccess, &key), kErrorSuccess);
  ASSERT_EQ(SetValue(key, name, RegData{type, bytes}), kErrorSuccess);
  CloseKey(key);
}

class RegTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox_;
};

TEST(SplitRegPathTest, NamesTheRootByItsExactPrefix) {
  EXPECT_EQ(SplitRegPath("HKLM\\SOFTWARE\\Runwarden").root, RegRoot::LocalMachine);
  EXPECT_EQ(SplitRegPath("HKLM\\SOFTWARE\\Runwarden").sub_key, "SOFTWARE\\Runwarden");
  EXPECT_EQ(SplitRegPath("HKCU\\x").root, RegRoot::CurrentUser);
  EXPECT_EQ(SplitRegPath("HKCR\\.exe").sub_key, ".exe");
  EXPECT_EQ(SplitRegPath("hklm\\SOFTWARE").root, RegRoot::None);
  EXPECT_EQ(SplitRegPath("HKEY_LOCAL_MACHINE\\x").root, RegRoot::None);
  // Trailing and doubled backslashes are the platform's business, not ours.
  EXPECT_EQ(SplitRegPath("HKCU\\a\\\\b\\").sub_key, "a\\\\b\\");
  // Too short to name a root: no root, and no crash.
  EXPECT_EQ(SplitRegPath("HKLM").root, RegRoot::None);
  EXPECT_EQ(SplitRegPath("").root, RegRoot::None);
}

TEST_F(RegTest, ReadGivesTheDefaultWhenThereIsNothingToRead) {
  EXPECT_EQ(ReadRegValue("HKLM\\SOFTWARE\\Runwarden", "ALERT", "0"), "0");
  EXPECT_EQ(ReadRegValue("", "ALERT", "d"), "d");
  EXPECT_EQ(ReadRegValue("HKLM", "x", "d"), "d");
  WriteRegValue(kKey, "present", "x");
  EXPECT_EQ(ReadRegValue(kKey, "absent", "d"), "d");
}

TEST_F(RegTest, TextIsStoredWithItsTerminatorAndKeepsTrailingBlanks) {
  ASSERT_EQ(WriteRegValue(kKey, "Text", "C:\\Prog\\upd.exe /quiet  "), 0);
  RegData raw = RawValue(RegRoot::CurrentUser, "Software\\RunwardenTests\\Reg", "Text");
  EXPECT_EQ(raw.type, kRegSz);
  EXPECT_EQ(raw.bytes, std::string("C:\\Prog\\upd.exe /quiet  \0", 25));
  EXPECT_EQ(ReadRegValue(kKey, "Text", "d"), "C:\\Prog\\upd.exe /quiet  ");

  WriteRegValue(kKey, "Empty", "");
  EXPECT_EQ(RawValue(RegRoot::CurrentUser, "Software\\RunwardenTests\\Reg", "Empty").bytes,
            std::string(1, '\0'));
  EXPECT_EQ(ReadRegValue(kKey, "Empty", "d"), "");
}

// A value is read in one call when it is short and asked for again when it is not: every
// length around that bound comes back whole, by every reader.
TEST_F(RegTest, TextOfAnyLengthIsReadWhole) {
  for (std::size_t length : {254u, 255u, 256u, 257u, 20000u}) {
    std::string text(length, 'x');
    text.back() = 'z';
    ASSERT_EQ(WriteRegValue(kKey, "Long", text), 0);
    EXPECT_EQ(ReadRegValue(kKey, "Long", "d"), text) << length;
    EXPECT_EQ(RawValue(RegRoot::CurrentUser, "Software\\RunwardenTests\\Reg", "Long").bytes,
              text + '\0')
        << length;
    EXPECT_EQ(std::get<std::string>(EnumRegValues(kKey).entries.at(0).value), text) << length;
  }
}

TEST_F(RegTest, SeveralValuesOfAKeyAreReadAsOneByOne) {
  WriteRegValue(kKey, "Text", "a");
  WriteRegValue(kKey, "Number", "-7", true);
  WriteRaw(kKey, "Binary", kRegBinary, "\x01");
  const std::vector<std::string> names = {"Text", "Missing", "Number", "Binary", "TEXT"};
  std::vector<std::string> one_by_one;
  for (const std::string& name : names)
    one_by_one.push_back(ReadRegValue(kKey, name, "d"));
  EXPECT_EQ(ReadRegValues(kKey, names, "d"), one_by_one);
  EXPECT_EQ(one_by_one, (std::vector<std::string>{"a", "d", "-7", "d", "a"}));
  EXPECT_EQ(ReadRegValues(std::string(kKey) + "\\None", names, "d"),
            std::vector<std::string>(names.size(), "d"));
  EXPECT_TRUE(ReadRegValues(kKey, {}, "d").empty());
}

TEST_F(RegTest, TextStoredWithoutTerminatorLosesItsTrailingBlanks) {
  WriteRaw(kKey, "NoNul", kRegSz, "abc  ");
  // Windows hands the bytes back as stored; Wine adds the terminator on the way out,
  // and then the blanks are kept like those of any terminated text.
  RegData raw = RawValue(RegRoot::CurrentUser, "Software\\RunwardenTests\\Reg", "NoNul");
  bool terminated = raw.bytes.find('\0') != std::string::npos;
  EXPECT_EQ(ReadRegValue(kKey, "NoNul", "d"), terminated ? "abc  " : "abc");
}

TEST_F(RegTest, OnlyTextAndDwordValuesAreRead) {
  WriteRaw(kKey, "Expand", kRegExpandSz, std::string("%windir%\\x.exe\0", 15));
  WriteRaw(kKey, "Binary", kRegBinary, "\x01\x02");
  EXPECT_EQ(ReadRegValue(kKey, "Expand", "default"), "default");
  EXPECT_EQ(ReadRegValue(kKey, "Binary", "default"), "default");
}

TEST_F(RegTest, DwordsAreSignedInBothReadAndEnumeration) {
  ASSERT_EQ(WriteRegValue(kKey, "Five", "5", true), 0);
  RegData raw = RawValue(RegRoot::CurrentUser, "Software\\RunwardenTests\\Reg", "Five");
  EXPECT_EQ(raw.type, kRegDword);
  EXPECT_EQ(raw.bytes, std::string("\x05\0\0\0", 4));
  EXPECT_EQ(ReadRegValue(kKey, "Five", ""), "5");

  WriteRaw(kKey, "AllBits", kRegDword, "\xFF\xFF\xFF\xFF");
  EXPECT_EQ(ReadRegValue(kKey, "AllBits", ""), "-1");
  RegValueList list = EnumRegValues(kKey);
  ASSERT_EQ(list.Count(), 2);
  const RegValueEntry& all_bits = list.entries[list.entries[0].name == "AllBits" ? 0 : 1];
  EXPECT_EQ(all_bits.name, "AllBits");
  EXPECT_EQ(std::get<double>(all_bits.value), -1.0);
  EXPECT_EQ(all_bits.type, 4);
  EXPECT_EQ(all_bits.length, 4);

  WriteRegValue(kKey, "Negative", "-7", true);
  EXPECT_EQ(ReadRegValue(kKey, "Negative", ""), "-7");
}

TEST_F(RegTest, DwordOfATextThatIsNotANumberIsATypeMismatch) {
  try {
    WriteRegValue(kKey, "Letters", "abc", true);
    FAIL() << "no error raised";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.number(), kErrTypeMismatch);
  }
  EXPECT_EQ(ReadRegValue(kKey, "Letters", "none"), "none");
  EXPECT_EQ(TextToInt32(" 12 "), 12);
  EXPECT_EQ(TextToInt32("2.5"), 2);  // halves go to the even neighbour
  EXPECT_EQ(TextToInt32("3.5"), 4);
  EXPECT_THROW(TextToInt32(""), RuntimeError);
  EXPECT_THROW(TextToInt32("1x"), RuntimeError);
  EXPECT_THROW(TextToInt32("99999999999"), RuntimeError);
}

TEST(TextToInt32Test, TheLimitsAreNumbersAndOneBeyondIsAnOverflow) {
  EXPECT_EQ(TextToInt32("2147483647"), 2147483647);
  EXPECT_EQ(TextToInt32("-2147483648"), INT32_MIN);
  EXPECT_EQ(TextToInt32("2147483647.4"), 2147483647);
  for (const char* beyond : {"2147483648", "-2147483649", "2147483647.5"}) {
    try {
      TextToInt32(beyond);
      ADD_FAILURE() << beyond << " was taken";
    } catch (const RuntimeError& error) {
      EXPECT_EQ(error.number(), 6) << beyond;
      EXPECT_STREQ(error.what(), "Overflow") << beyond;
    }
  }
}

TEST_F(RegTest, UnknownRootsReadAndWriteNothing) {
  EXPECT_NE(WriteRegValue("hkcu\\Software\\RunwardenTests\\Reg", "x", "1"), 0);
  EXPECT_NE(WriteRegValue("HKXX\\Software\\RunwardenTests\\Reg", "x", "1"), 0);
  EXPECT_NE(WriteRegValue("HKCU", "x", "1"), 0);
  EXPECT_EQ(EnumRegValues(kKey).Count(), 0);
  EXPECT_EQ(DeleteRegValue("hkcu\\Software", "x"), 0);
  EXPECT_NE(DeleteRegKey("hkcu\\Software\\RunwardenTests"), 0);
}

TEST_F(RegTest, NoDescriptionAndTheEmptyNameMeanTheDefaultValue) {
  WriteRegValue(kKey, "", "default text");
  WriteRegValue(kKey, "Other", "x");
  EXPECT_EQ(ReadRegValue(kKey, "", "d"), "default text");
  EXPECT_EQ(DeleteRegValue(kKey, "No Description"), 0);
  EXPECT_EQ(ReadRegValue(kKey, "", "gone"), "gone");
  EXPECT_EQ(ReadRegValue(kKey, "Other", "d"), "x");

  WriteRegValue(kKey, "", "again");
  EXPECT_EQ(DeleteRegValue(kKey, ""), 0);
  EXPECT_EQ(ReadRegValue(kKey, "", "gone"), "gone");
}

TEST_F(RegTest, DeletingFromAMissingKeyIsNothingToDo) {
  EXPECT_EQ(DeleteRegValue("HKCU\\Software\\RunwardenTests\\Missing", "x"), 0);
  WriteRegValue(kKey, "a", "1");
  EXPECT_NE(DeleteRegValue(kKey, "not there"), 0);  // the platform's not-found status
}

// The engine's delete tells a missing key (nothing to do) from a refused one: a value
// that stays must not count as gone.
TEST_F(RegTest, ANamedDeleteReportsAKeyItMayNotChange) {
  EXPECT_EQ(DeleteRegValueNamed("HKCU\\Software\\RunwardenTests\\Missing", "x"), 0);
  WriteRegValue(kKey, "a", "1");
  platform::SetRootReadOnlyForTesting(platform::RegRoot::CurrentUser, true);
  EXPECT_EQ(DeleteRegValueNamed(kKey, "a"), platform::kErrorAccessDenied);
  platform::SetRootReadOnlyForTesting(platform::RegRoot::CurrentUser, false);
  EXPECT_EQ(ReadRegValue(kKey, "a", "gone"), "1");
  EXPECT_EQ(DeleteRegValueNamed(kKey, "a"), 0);
  EXPECT_EQ(ReadRegValue(kKey, "a", "gone"), "gone");
}

TEST_F(RegTest, KeysWithSubkeysAreNotDeleted) {
  WriteRegValue(std::string(kKey) + "\\Child", "v", "1");
  WriteRegValue(kKey, "v", "1");
  EXPECT_NE(DeleteRegKey(kKey), 0);
  EXPECT_EQ(ReadRegValue(kKey, "v", "gone"), "1");
  EXPECT_EQ(DeleteRegKey(std::string(kKey) + "\\Child"), 0);
  EXPECT_EQ(DeleteRegKey(kKey), 0);
  EXPECT_EQ(ReadRegValue(kKey, "v", "gone"), "gone");
  EXPECT_NE(DeleteRegKey(kKey), 0);  // already gone: not found
}

TEST_F(RegTest, EnumerationListsEveryValueInOrderWithItsTypeAndLength) {
  EXPECT_EQ(EnumRegValues(kKey).Count(), 0);
  WriteRegValue(kKey, "", "");  // an empty default value is still listed
  EXPECT_EQ(EnumRegValues(kKey).Count(), 1);
  DeleteRegValue(kKey, "");

  WriteRegValue(kKey, "A", "C:\\a.exe");
  WriteRaw(kKey, "B", kRegMultiSz, std::string("one\0two\0\0", 9));
  WriteRaw(kKey, "C", kRegBinary, std::string("\x00\x10\xFF", 3));
  RegValueList list = EnumRegValues(kKey);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.entries[0].name, "A");
  EXPECT_EQ(std::get<std::string>(list.entries[0].value), "C:\\a.exe");
  EXPECT_EQ(list.entries[0].type, 1);
  EXPECT_EQ(list.entries[0].length, 9);
  EXPECT_EQ(list.entries[1].name, "B");
  EXPECT_EQ(std::get<std::string>(list.entries[1].value), std::string("one\0two\0\0", 9));
  EXPECT_EQ(list.entries[1].type, 7);
  EXPECT_EQ(list.entries[2].name, "C");
  EXPECT_EQ(std::get<std::vector<uint8_t>>(list.entries[2].value),
            (std::vector<uint8_t>{0x00, 0x10, 0xFF}));
  EXPECT_EQ(list.entries[2].length, 3);
}

TEST_F(RegTest, EnumerationListsTheUnnamedDefaultValueWithAnEmptyName) {
  WriteRegValue(kKey, "", "C:\\default.exe");
  RegValueList list = EnumRegValues(kKey);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.entries[0].name, "");
  EXPECT_EQ(std::get<std::string>(list.entries[0].value), "C:\\default.exe");
}

TEST_F(RegTest, ValueNamesAreCaseInsensitive) {
  WriteRegValue(kKey, "Hscroll1(0)", "40");
  EXPECT_EQ(ReadRegValue(kKey, "HScroll1(0)", "13"), "40");
  WriteRegValue(kKey, "HSCROLL1(0)", "50");
  EXPECT_EQ(EnumRegValues(kKey).Count(), 1);
}

TEST_F(RegTest, WritesCreateMissingParentsAndFailOnAReadOnlyRoot) {
  std::string deep = std::string(kKey) + "\\a\\b\\c";
  EXPECT_EQ(WriteRegValue(deep, "v", "1"), 0);
  EXPECT_EQ(ReadRegValue(deep, "v", ""), "1");
  SetRootReadOnlyForTesting(RegRoot::CurrentUser, true);
  EXPECT_NE(WriteRegValue(deep, "w", "1"), 0);
  EXPECT_NE(WriteRegValue(deep, "w", "1", true), 0);
  SetRootReadOnlyForTesting(RegRoot::CurrentUser, false);
  EXPECT_EQ(ReadRegValue(deep, "w", "none"), "none");
}

TEST(TrimNullTest, CutsAtTheFirstNul) {
  EXPECT_EQ(TrimNull(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(TrimNull("abc"), "abc");
  EXPECT_EQ(TrimNull(std::string("\0x", 2)), "");
}

}  // namespace
