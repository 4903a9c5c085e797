#include "registry/Registry.h"

#include <gtest/gtest.h>

#include "app/ErrorScope.h"
#include "support/RegistrySandbox.h"

using namespace platform;

namespace {

constexpr char kKey[] = "HKCU\\Software\\RunwardenTests\\Reg";

// The raw type and bytes of a value.
RegData Raw(const char* name) {
  RegData data;
  ReadRegRaw(kKey, name, &data);
  return data;
}

void WriteRaw(const std::string& path,
              const std::string& name,
              uint32_t type,
              const std::string& bytes) {
  ASSERT_EQ(WriteRegRaw(path, name, RegData{type, bytes}), 0) << name;
}

class RegTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox_;
};

// Text keeps its terminator and trailing blanks, DWORDs are signed, and a value is read
// in one call when short and asked for again when not: every length around that bound
// comes back whole, by every reader.
TEST_F(RegTest, TextAndDwordsAreStoredAsTheyAreAndReadWhole) {
  ASSERT_EQ(WriteRegValue(kKey, "Text", "C:\\upd.exe /q  "), 0);
  EXPECT_EQ(Raw("Text").type, kRegSz);
  EXPECT_EQ(Raw("Text").bytes, std::string("C:\\upd.exe /q  \0", 16));
  EXPECT_EQ(ReadRegValue(kKey, "Text", "d"), "C:\\upd.exe /q  ");
  WriteRegValue(kKey, "Empty", "");
  EXPECT_EQ(Raw("Empty").bytes, std::string(1, '\0'));
  EXPECT_EQ(ReadRegValue(kKey, "Empty", "d"), "");
  ASSERT_EQ(WriteRegValue(kKey, "Negative", "-7", true), 0);
  EXPECT_EQ(Raw("Negative").type, kRegDword);
  EXPECT_EQ(Raw("Negative").bytes, std::string("\xF9\xFF\xFF\xFF", 4));
  EXPECT_EQ(ReadRegValue(kKey, "Negative", ""), "-7");
  for (std::size_t length : {254u, 255u, 256u, 257u, 20000u}) {
    std::string text = std::string(length, 'x') + "z";
    ASSERT_EQ(WriteRegValue(kKey, "Long", text), 0);
    EXPECT_EQ(ReadRegValue(kKey, "Long", "d"), text) << length;
    EXPECT_EQ(Raw("Long").bytes, text + '\0') << length;
    for (const RegValueEntry& entry : EnumRegValues(kKey).entries)  // Wine lists by name
      if (entry.name == "Long")
        EXPECT_EQ(std::get<std::string>(entry.value), text) << length;
  }
}

// Only text and DWORD values are read; anything else, or nothing, gives the default.
TEST_F(RegTest, ReadGivesTheDefaultWhenThereIsNothingToRead) {
  WriteRegValue(kKey, "present", "x");
  WriteRaw(kKey, "Expand", kRegExpandSz, std::string("%windir%\\x.exe\0", 15));
  WriteRaw(kKey, "Binary", kRegBinary, "\x01\x02");
  WriteRaw(kKey, "AllBits", kRegDword, "\xFF\xFF\xFF\xFF");
  EXPECT_EQ(ReadRegValue("", "ALERT", "d"), "d");
  EXPECT_EQ(ReadRegValue("HKLM", "x", "d"), "d");
  const std::vector<std::string> names = {"present", "Missing", "AllBits",
                                          "Binary",  "PRESENT", "Expand"};
  EXPECT_EQ(ReadRegValues(kKey, names, "d"),
            (std::vector<std::string>{"x", "d", "-1", "d", "x", "d"}));
  for (size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(ReadRegValue(kKey, names[i], "d"), ReadRegValues(kKey, names, "d")[i]);
  EXPECT_EQ(ReadRegValues(std::string(kKey) + "\\None", names, "d"),
            std::vector<std::string>(names.size(), "d"));
  EXPECT_TRUE(ReadRegValues(kKey, {}, "d").empty());
  // Windows hands text stored without terminator back as stored (trailing blanks lost);
  // Wine adds the terminator on the way out, and then the blanks are kept.
  WriteRaw(kKey, "NoNul", kRegSz, "abc  ");
  bool terminated = Raw("NoNul").bytes.find('\0') != std::string::npos;
  EXPECT_EQ(ReadRegValue(kKey, "NoNul", "d"), terminated ? "abc  " : "abc");
}

TEST(TextToInt32Test, RoundsHalvesToEvenAndRefusesWhatIsNoInt32) {
  EXPECT_EQ(TextToInt32(" 12 "), 12);
  EXPECT_EQ(TextToInt32("2.5"), 2);
  EXPECT_EQ(TextToInt32("3.5"), 4);
  EXPECT_EQ(TextToInt32("-2147483648"), INT32_MIN);
  EXPECT_EQ(TextToInt32("2147483647.4"), 2147483647);
  for (const char* bad : {"", "1x", "2147483648", "-2147483649", "2147483647.5"}) {
    try {
      TextToInt32(bad);
      ADD_FAILURE() << bad << " was taken";
    } catch (const RuntimeError& error) {
      EXPECT_EQ(error.number(), std::string(bad).size() > 2 ? 6 : kErrTypeMismatch) << bad;
    }
  }
  EXPECT_THROW(WriteRegValue(kKey, "Letters", "abc", true), RuntimeError);
  EXPECT_EQ(ReadRegValue(kKey, "Letters", "none"), "none");
}

TEST_F(RegTest, WritesAndDeletesKeepToTheirOwnKeyAndRoot) {
  for (const char* bad : {"hkcu\\Software\\RunwardenTests\\Reg", "HKXX\\Software\\Reg", "HKCU"})
    EXPECT_NE(WriteRegValue(bad, "x", "1"), 0) << bad;
  EXPECT_EQ(EnumRegValues(kKey).Count(), 0);
  EXPECT_NE(DeleteRegKey("hkcu\\Software\\RunwardenTests"), 0);
  // A missing key is nothing to do; a missing value is the platform's not-found status.
  EXPECT_EQ(DeleteRegValue("HKCU\\Software\\RunwardenTests\\Missing", "x"), 0);
  EXPECT_EQ(DeleteRegValueNamed("HKCU\\Software\\RunwardenTests\\Missing", "x"), 0);
  WriteRegValue(kKey, "a", "1");
  EXPECT_NE(DeleteRegValue(kKey, "not there"), 0);
  // The engine's delete tells a refused key from a missing one: a value that stays must
  // not count as gone. Writes create missing parents, and fail on a read-only root.
  const std::string deep = std::string(kKey) + "\\a\\b";
  EXPECT_EQ(WriteRegValue(deep, "v", "1"), 0);
  SetRootReadOnlyForTesting(RegRoot::CurrentUser, true);
  EXPECT_EQ(DeleteRegValueNamed(kKey, "a"), kErrorAccessDenied);
  EXPECT_NE(WriteRegValue(deep, "w", "1", true), 0);
  SetRootReadOnlyForTesting(RegRoot::CurrentUser, false);
  EXPECT_EQ(ReadRegValue(kKey, "a", "gone"), "1");
  EXPECT_EQ(ReadRegValue(deep, "w", "none"), "none");
  EXPECT_EQ(DeleteRegValueNamed(kKey, "a"), 0);
  EXPECT_EQ(ReadRegValue(kKey, "a", "gone"), "gone");
  // A key with subkeys stays.
  EXPECT_NE(DeleteRegKey(std::string(kKey) + "\\a"), 0);
  EXPECT_EQ(DeleteRegKey(deep), 0);
  EXPECT_NE(DeleteRegKey(deep), 0);  // already gone: not found
}

// Names without case; "No Description" and the empty name both mean the default value,
// which enumeration lists with an empty name, even when empty.
TEST_F(RegTest, EnumerationListsEveryValueInOrderWithItsTypeAndLength) {
  WriteRegValue(kKey, "", "");
  EXPECT_EQ(EnumRegValues(kKey).Count(), 1);
  WriteRegValue(kKey, "", "C:\\default.exe");
  WriteRegValue(kKey, "A", "C:\\a.exe");
  WriteRaw(kKey, "B", kRegMultiSz, std::string("one\0two\0\0", 9));
  WriteRaw(kKey, "C", kRegBinary, std::string("\x00\x10\xFF", 3));
  WriteRaw(kKey, "D", kRegDword, "\xFF\xFF\xFF\xFF");
  WriteRegValue(kKey, "a", "C:\\A.exe");
  RegValueList list = EnumRegValues(kKey);
  ASSERT_EQ(list.Count(), 5);
  std::string listed;
  for (const RegValueEntry& entry : list.entries)
    listed +=
        entry.name + ":" + std::to_string(entry.type) + ":" + std::to_string(entry.length) + " ";
  EXPECT_EQ(listed, ":1:15 A:1:9 B:7:9 C:3:3 D:4:4 ");
  EXPECT_EQ(std::get<std::string>(list.entries[1].value), "C:\\A.exe");

  EXPECT_EQ(DeleteRegValue(kKey, "No Description"), 0);
  EXPECT_EQ(ReadRegValue(kKey, "", "gone"), "gone");
  WriteRegValue(kKey, "", "again");
  EXPECT_EQ(DeleteRegValue(kKey, ""), 0);
  EXPECT_EQ(ReadRegValue(kKey, "", "gone"), "gone");
}

}  // namespace
