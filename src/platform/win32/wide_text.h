// The program keeps its text in UTF-8; Windows takes and gives UTF-16 through its wide
// ("W") functions. Every call into Windows converts here, at the boundary, so a name or
// path in any script arrives and comes back unchanged.
//
// Windows names may hold a lone surrogate, which no UTF-8 can carry. Such a unit is
// written in the three-byte form UTF-8 would give it (the convention called WTF-8) and
// read back the same way, so any name Windows gives the program can be handed back to
// it exactly: a harmful program cannot hide behind a name the program cannot open.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-8 to UTF-16. Bytes that are not UTF-8 (or the form above) become U+FFFD.
std::wstring Widen(std::string_view utf8);
// UTF-16 to UTF-8, NULs and lone surrogates included.
std::string Narrow(std::wstring_view utf16);
// A NUL-terminated wide buffer filled by Windows, up to its first NUL.
std::string NarrowBuffer(const wchar_t* buffer);

}  // namespace platform
