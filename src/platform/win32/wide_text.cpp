#include "platform/win32/wide_text.h"

#include <windows.h>

#include <cwchar>

namespace platform {

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return std::wstring();
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                   nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                      length);
  return wide;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return std::string();
  int length = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                   nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), text.data(),
                      length, nullptr, nullptr);
  return text;
}

std::string NarrowBuffer(const wchar_t* buffer) {
  return buffer ? Narrow(std::wstring_view(buffer, std::wcslen(buffer))) : std::string();
}

}  // namespace platform
