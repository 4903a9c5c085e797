// The one conversion between the program's UTF-8 and Windows' UTF-16: every unit comes
// back, lone surrogates in their three-byte form, and bytes that are not UTF-8 become
// replacement characters.
#include "platform/win32/wide_text.h"

#include <gtest/gtest.h>

using platform::Narrow;
using platform::NarrowBuffer;
using platform::Widen;

TEST(WideTextTest, EveryUnitComesBackAndBrokenUtf8IsReplaced) {
  const std::pair<std::wstring, std::string> both_ways[] = {
      {L"", ""},
      {L"caf\xE9 \x20AC", "caf\xC3\xA9 \xE2\x82\xAC"},
      {L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
      {std::wstring(L"NUL\0in", 6), std::string("NUL\0in", 6)},
      {std::wstring(1, wchar_t(0xD800)), "\xED\xA0\x80"},
      {std::wstring(1, wchar_t(0xDBFF)), "\xED\xAF\xBF"},
      {L"\xFFFF\xFEFF", "\xEF\xBF\xBF\xEF\xBB\xBF"},
  };
  for (const auto& [wide, utf8] : both_ways) {
    EXPECT_EQ(Narrow(wide), utf8);
    EXPECT_EQ(Widen(utf8), wide);
  }
  EXPECT_EQ(NarrowBuffer(L"up to\0here"), "up to");
  EXPECT_EQ(NarrowBuffer(nullptr), "");
  const std::pair<std::string, std::wstring> broken[] = {
      {"caf\xE9", L"caf\xFFFD"},                          // a lone Latin-1 byte
      {"\xC0\xAF", L"\xFFFD\xFFFD"},                      // an overlong slash
      {"\xE2\x82", L"\xFFFD\xFFFD"},                      // cut short
      {"\xF4\x90\x80\x80", L"\xFFFD\xFFFD\xFFFD\xFFFD"},  // past U+10FFFF
      {"a\x80z", L"a\xFFFDz"},
  };
  for (const auto& [utf8, wide] : broken)
    EXPECT_EQ(Widen(utf8), wide);
}
