// The platform registry: the handful of calls the registry layer needs, with the
// Windows access rights, status codes and value types. Win32 passes them straight to
// advapi32; the portable side keeps an in-memory store with the same three roots.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum class RegRoot { None, CurrentUser, LocalMachine, ClassesRoot };

// Access rights.
inline constexpr uint32_t kKeyQueryValue = 0x0001;
inline constexpr uint32_t kKeySetValue = 0x0002;
inline constexpr uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyWrite = 0x20006;
inline constexpr uint32_t kKeyAllAccess = 0xF003F;

// Status codes.
inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorInvalidParameter = 87;
inline constexpr long kErrorMoreData = 234;
inline constexpr long kErrorNoMoreItems = 259;

// Value types.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;

struct RegKeyOpaque;
using RegHandle = RegKeyOpaque*;

// A value's type and data: text types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) as UTF-8,
// NULs and all, every other type as its bytes exactly as stored.
struct RegData {
  uint32_t type = kRegNone;
  std::string bytes;
  // Text types only: the last byte of data of odd length, half a UTF-16 unit that no
  // text can hold (a crafted value can end so). It is written back after the text, so
  // the value keeps every byte it had.
  std::string odd_byte = {};
  bool operator==(const RegData&) const = default;
};

long OpenKey(RegRoot root, const std::string& sub_key, uint32_t access, RegHandle* key);
// Opens or creates the key and its missing parents (non-volatile, default security).
long CreateKey(RegRoot root, const std::string& sub_key, uint32_t access, RegHandle* key);
long CloseKey(RegHandle key);
// The empty name is the key's unnamed default value.
long QueryValue(RegHandle key, const std::string& name, RegData* out);
long SetValue(RegHandle key, const std::string& name, const RegData& data);
long QueryKeyInfo(RegHandle key, uint32_t* longest_name_chars, uint32_t* longest_data_bytes);
// kErrorMoreData when the name (with its NUL) or the data does not fit the capacities given;
// kErrorNoMoreItems past the last value.
long EnumValue(RegHandle key, uint32_t index, uint32_t name_capacity_chars,
                  uint32_t data_capacity_bytes, std::string* name, RegData* out);
long EnumSubKey(RegHandle key, uint32_t index, std::string* name);
long DeleteValue(RegHandle key, const std::string& name);
// Deletes root\sub_key directly; refused while the key has subkeys.
long DeleteKey(RegRoot root, const std::string& sub_key);

// Test switches. A read-only root refuses every write access the way HKLM does for a
// standard user. The portable store can also be emptied.
void SetRootReadOnlyForTesting(RegRoot root, bool read_only);
void ResetRegistryForTesting();
// Lets the next Count value writes succeed and refuses every later one (access denied),
// so a test can break a sequence of writes half-way; a negative Count ends the refusals.
void FailValueWritesAfterForTesting(int count);

}  // namespace platform
