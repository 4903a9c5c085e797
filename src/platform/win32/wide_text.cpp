#include "platform/win32/wide_text.h"

#include <cstdint>
#include <cwchar>

namespace platform {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// The code point of the sequence at `at`, and its length; 0 for a byte that starts none.
std::size_t DecodeOne(std::string_view text, std::size_t at, uint32_t* code) {
  unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    *code = lead;
    return 1;
  }
  std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  if (length == 0 || at + length > text.size())
    return 0;
  uint32_t value = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    unsigned char next = static_cast<unsigned char>(text[at + i]);
    if (!IsContinuation(next))
      return 0;
    value = (value << 6) | (next & 0x3F);
  }
  // Overlong forms and code points past Unicode are not UTF-8; surrogates are let through.
  if ((length == 3 && value < 0x800) || (length == 4 && (value < 0x10000 || value > 0x10FFFF)))
    return 0;
  *code = value;
  return length;
}

void Append(std::string& text, uint32_t code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | (code >> 6));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    text += static_cast<char>(0xE0 | (code >> 12));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | (code >> 18));
    text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsHighSurrogate(uint32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
  std::wstring wide;
  wide.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    uint32_t code = 0;
    std::size_t length = DecodeOne(utf8, at, &code);
    if (length == 0) {
      wide += kReplacement;
      ++at;
      continue;
    }
    at += length;
    if (code >= 0x10000) {
      code -= 0x10000;
      wide += static_cast<wchar_t>(0xD800 | (code >> 10));
      wide += static_cast<wchar_t>(0xDC00 | (code & 0x3FF));
    } else {
      wide += static_cast<wchar_t>(code);
    }
  }
  return wide;
}

std::string Narrow(std::wstring_view utf16) {
  std::string text;
  text.reserve(utf16.size());
  for (std::size_t at = 0; at < utf16.size(); ++at) {
    uint32_t unit = static_cast<uint16_t>(utf16[at]);
    if (IsHighSurrogate(unit) && at + 1 < utf16.size() &&
        IsLowSurrogate(static_cast<uint16_t>(utf16[at + 1]))) {
      uint32_t low = static_cast<uint16_t>(utf16[++at]);
      Append(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    } else {
      Append(text, unit);
    }
  }
  return text;
}

std::string NarrowBuffer(const wchar_t* buffer) {
  return buffer ? Narrow(std::wstring_view(buffer, std::wcslen(buffer))) : std::string();
}

}  // namespace platform
