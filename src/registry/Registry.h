// Every registry access of the program, by registry path: "HKLM", "HKCU" or "HKCR"
// (case-sensitive), a backslash and the subkey. Each call opens the key, does its one
// job and closes it again; nothing is held between calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/registry.h"

struct RegPathParts {
  platform::RegRoot root = platform::RegRoot::None;
  std::string sub_key;
};

// The root from the first four characters, the subkey from the sixth on. A path shorter
// than five characters names no root.
RegPathParts SplitRegPath(const std::string& path);

// Text up to its first NUL.
std::string TrimNull(const std::string& text);

// A REG_SZ value as its text (trailing blanks of data stored without a NUL are lost),
// a REG_DWORD as its signed decimal number; anything else, or nothing, gives Default.
std::string ReadRegValue(const std::string& path, const std::string& value_name,
                         const std::string& default_value);

// Several values of one key, each read as ReadRegValue reads it, the key opened once.
std::vector<std::string> ReadRegValues(const std::string& path,
                                       const std::vector<std::string>& value_names,
                                       const std::string& default_value);

// Writes Value as REG_SZ (with its terminating NUL), or, with AsDword, as the 32-bit
// number it holds; a Value that is not a number raises a type mismatch (RuntimeError).
// Creates the key and its parents. Returns the platform's status, 0 on success.
long WriteRegValue(const std::string& path, const std::string& value_name,
                   const std::string& value, bool as_dword = false);
long WriteRegDword(platform::RegRoot root, const std::string& sub_key,
                   const std::string& value_name, int32_t value);

// A value exactly as stored: its type and raw bytes. False when it cannot be read.
bool ReadRegRaw(const std::string& path, const std::string& value_name, platform::RegData* data);
// Several values of one key exactly as stored, the key opened once; no value for a name
// that cannot be read.
std::vector<std::optional<platform::RegData>> ReadRegRawValues(
    const std::string& path, const std::vector<std::string>& value_names);
// Writes a value with the type and raw bytes given, creating the key and its parents.
// Returns the platform's status, 0 on success.
long WriteRegRaw(const std::string& path, const std::string& value_name,
                 const platform::RegData& data);

// The name "No Description" and the empty name both mean the unnamed default value.
// A key that cannot be opened gives 0: there was nothing to delete.
long DeleteRegValue(const std::string& path, const std::string& value_name);
// Deletes exactly the value of that name ("No Description" is a name like any other).
// A missing key gives 0; a key that may not be changed gives the platform's refusal.
long DeleteRegValueNamed(const std::string& path, const std::string& value_name);
// Refused (nonzero) while the key has subkeys.
long DeleteRegKey(const std::string& path);
// True when the key is there (it can be opened for reading).
bool RegKeyExists(const std::string& path);
// The names of the key's subkeys in the platform's order; none when it cannot be opened.
std::vector<std::string> EnumRegSubKeys(const std::string& path);

// One value as EnumRegValues renders it: text for REG_SZ (cut at its NUL), REG_EXPAND_SZ
// and REG_MULTI_SZ (NULs kept), a number for REG_DWORD, the bytes for anything else.
using RegVariant = std::variant<std::string, double, std::vector<uint8_t>>;

struct RegValueEntry {
  std::string name;  // empty for the unnamed default value
  RegVariant value;
  int32_t type = 0;
  int32_t length = 0;  // data length in bytes
};

struct RegValueList {
  std::vector<RegValueEntry> entries;  // in the platform's enumeration order
  int32_t Count() const { return static_cast<int32_t>(entries.size()); }
};

RegValueList EnumRegValues(const std::string& path);

// The ordinary text-to-number conversion: blanks around, an optional sign, digits and
// an optional fraction rounded half to even. Raises a type mismatch for anything else.
int32_t TextToInt32(const std::string& text);
