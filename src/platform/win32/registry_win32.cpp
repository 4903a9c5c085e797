#include "platform/registry.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/common/test_switches.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

bool g_read_only[4] = {false, false, false, false};

HKEY ToHkey(RegRoot root) {
  switch (root) {
    case RegRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegRoot::None: break;
  }
  return nullptr;
}

bool WantsWrite(uint32_t access) {
  return (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0;
}

bool RefusedForTesting(RegRoot root, uint32_t access) {
  return g_read_only[static_cast<int>(root)] && WantsWrite(access);
}

HKEY ToHkey(RegHandle key) { return reinterpret_cast<HKEY>(key); }

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Text data crosses as UTF-8, NULs and all, and a last byte that makes no whole UTF-16
// unit apart; every other type as its bytes.
RegData FromWindowsData(DWORD type, const BYTE* data, DWORD length) {
  RegData out;
  out.type = type;
  if (!IsText(type)) {
    out.bytes.assign(reinterpret_cast<const char*>(data), length);
    return out;
  }
  std::wstring wide(length / sizeof(wchar_t), L'\0');
  std::memcpy(wide.data(), data, wide.size() * sizeof(wchar_t));
  out.bytes = Narrow(wide);
  if (length % sizeof(wchar_t))
    out.odd_byte.assign(1, static_cast<char>(data[length - 1]));
  return out;
}

std::string ToWindowsData(const RegData& data) {
  if (!IsText(data.type))
    return data.bytes;
  std::wstring wide = Widen(data.bytes);
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t)) +
         data.odd_byte;
}

}  // namespace

long OpenKey(RegRoot root, const std::string& sub_key, uint32_t access, RegHandle* key) {
  *key = nullptr;
  HKEY hroot = ToHkey(root);
  if (!hroot) return kErrorInvalidHandle;
  if (RefusedForTesting(root, access)) return kErrorAccessDenied;
  HKEY opened = nullptr;
  LONG status = RegOpenKeyExW(hroot, Widen(sub_key).c_str(), 0, access, &opened);
  if (status == ERROR_SUCCESS) *key = reinterpret_cast<RegHandle>(opened);
  return status;
}

long CreateKey(RegRoot root, const std::string& sub_key, uint32_t access, RegHandle* key) {
  *key = nullptr;
  HKEY hroot = ToHkey(root);
  if (!hroot) return kErrorInvalidHandle;
  if (RefusedForTesting(root, access)) return kErrorAccessDenied;
  HKEY opened = nullptr;
  DWORD disposition = 0;
  LONG status = RegCreateKeyExW(hroot, Widen(sub_key).c_str(), 0, nullptr,
                                REG_OPTION_NON_VOLATILE, access, nullptr, &opened, &disposition);
  if (status == ERROR_SUCCESS) *key = reinterpret_cast<RegHandle>(opened);
  return status;
}

long CloseKey(RegHandle key) { return ::RegCloseKey(ToHkey(key)); }

long QueryValue(RegHandle key, const std::string& name, RegData* out) {
  std::wstring wide_name = Widen(name);
  // Most values are short: one call does, and a longer value is asked for again with
  // the size that call gave (again if it grew in between).
  std::vector<BYTE> buffer(512);
  LONG status = ERROR_MORE_DATA;
  for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
    DWORD type = 0;
    DWORD length = static_cast<DWORD>(buffer.size());
    status =
        RegQueryValueExW(ToHkey(key), wide_name.c_str(), nullptr, &type, buffer.data(), &length);
    if (status == ERROR_MORE_DATA)
      buffer.resize(length + sizeof(wchar_t));
    else if (status == ERROR_SUCCESS)
      *out = FromWindowsData(type, buffer.data(), length);
  }
  return status;
}

long SetValue(RegHandle key, const std::string& name, const RegData& data) {
  if (!test_switches::TakeValueWrite()) return kErrorAccessDenied;
  std::string bytes = ToWindowsData(data);
  return RegSetValueExW(ToHkey(key), Widen(name).c_str(), 0, data.type,
                        reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()));
}

long QueryKeyInfo(RegHandle key, uint32_t* longest_name_chars, uint32_t* longest_data_bytes) {
  DWORD name_chars = 0, data_bytes = 0;
  LONG status = RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, &name_chars, &data_bytes, nullptr, nullptr);
  *longest_name_chars = name_chars;
  *longest_data_bytes = data_bytes;
  return status;
}

long EnumValue(RegHandle key, uint32_t index, uint32_t name_capacity_chars,
                  uint32_t data_capacity_bytes, std::string* name, RegData* out) {
  std::vector<wchar_t> name_buffer(name_capacity_chars + 1, L'\0');
  std::vector<BYTE> data_buffer(data_capacity_bytes + sizeof(wchar_t), 0);
  DWORD name_length = name_capacity_chars;
  DWORD data_length = data_capacity_bytes;
  DWORD type = 0;
  LONG status = RegEnumValueW(ToHkey(key), index, name_buffer.data(), &name_length, nullptr,
                              &type, data_buffer.data(), &data_length);
  if (status != ERROR_SUCCESS) return status;
  *name = Narrow(std::wstring_view(name_buffer.data(), name_length));
  *out = FromWindowsData(type, data_buffer.data(), data_length);
  return status;
}

long EnumSubKey(RegHandle key, uint32_t index, std::string* name) {
  wchar_t buffer[256];
  DWORD length = sizeof buffer / sizeof buffer[0];
  LONG status = RegEnumKeyExW(ToHkey(key), index, buffer, &length, nullptr, nullptr, nullptr,
                              nullptr);
  if (status == ERROR_SUCCESS) *name = Narrow(std::wstring_view(buffer, length));
  return status;
}

long DeleteValue(RegHandle key, const std::string& name) {
  std::wstring wide_name = Widen(name);
  return RegDeleteValueW(ToHkey(key), name.empty() ? nullptr : wide_name.c_str());
}

long DeleteKey(RegRoot root, const std::string& sub_key) {
  HKEY hroot = ToHkey(root);
  if (!hroot) return kErrorInvalidHandle;
  if (g_read_only[static_cast<int>(root)]) return kErrorAccessDenied;
  return RegDeleteKeyW(hroot, Widen(sub_key).c_str());
}

void SetRootReadOnlyForTesting(RegRoot root, bool read_only) {
  g_read_only[static_cast<int>(root)] = read_only;
}

void ResetRegistryForTesting() {}

}  // namespace platform
