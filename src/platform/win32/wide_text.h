// The program keeps its text in UTF-8; Windows takes and gives UTF-16 through its wide
// ("W") functions. Every call into Windows converts here, at the boundary, so a name or
// path in any script arrives and comes back unchanged.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-8 to UTF-16. Invalid bytes become U+FFFD.
std::wstring Widen(std::string_view utf8);
// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view utf16);
// A NUL-terminated wide buffer filled by Windows, up to its first NUL.
std::string NarrowBuffer(const wchar_t* buffer);

}  // namespace platform
