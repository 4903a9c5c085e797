// The one conversion between the program's UTF-8 and Windows' UTF-16.
#include "platform/win32/wide_text.h"

#include <gtest/gtest.h>

using platform::Narrow;
using platform::NarrowBuffer;
using platform::Widen;

TEST(WideTextTest, EveryScriptAndEveryUnitComesBackExactly) {
  const std::wstring samples[] = {
      L"",
      L"plain ASCII",
      L"Обновление 更新 τρία",
      std::wstring(L"emoji \xD83D\xDE00 pair"),
      std::wstring(L"NUL\0inside\0", 11),
      std::wstring(L"lone high \xD800 and lone low \xDC00"),
      std::wstring(1, wchar_t(0xDBFF)),
      std::wstring(L"\xFFFF\xFEFF"),
  };
  for (const std::wstring& sample : samples)
    EXPECT_EQ(Widen(Narrow(sample)), sample);
}

TEST(WideTextTest, Utf8IsUtf8AndLoneSurrogatesTakeTheirThreeByteForm) {
  EXPECT_EQ(Narrow(L"caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(Narrow(L"\x20AC"), "\xE2\x82\xAC");
  EXPECT_EQ(Narrow(std::wstring(L"\xD83D\xDE00")), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Narrow(std::wstring(1, wchar_t(0xD800))), "\xED\xA0\x80");
  EXPECT_EQ(Widen("\xF0\x9F\x98\x80"), std::wstring(L"\xD83D\xDE00"));
  EXPECT_EQ(NarrowBuffer(L"up to\0here"), "up to");
  EXPECT_EQ(NarrowBuffer(nullptr), "");
}

TEST(WideTextTest, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  EXPECT_EQ(Widen("caf\xE9"), L"caf\xFFFD");                          // a lone Latin-1 byte
  EXPECT_EQ(Widen("\xC0\xAF"), L"\xFFFD\xFFFD");                      // an overlong slash
  EXPECT_EQ(Widen("\xE2\x82"), L"\xFFFD\xFFFD");                      // cut short
  EXPECT_EQ(Widen("\xF4\x90\x80\x80"), L"\xFFFD\xFFFD\xFFFD\xFFFD");  // past U+10FFFF
  EXPECT_EQ(Widen("a\x80z"), L"a\xFFFDz");
}
