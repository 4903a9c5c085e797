#include "platform/registry.h"

#include <windows.h>

#include <vector>

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

}  // namespace

long OpenKey(RegRoot root, const std::string& sub_key, uint32_t access, RegHandle* key) {
  *key = nullptr;
  HKEY hroot = ToHkey(root);
  if (!hroot) return kErrorInvalidHandle;
  if (RefusedForTesting(root, access)) return kErrorAccessDenied;
  HKEY opened = nullptr;
  LONG status = RegOpenKeyExA(hroot, sub_key.c_str(), 0, access, &opened);
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
  LONG status = RegCreateKeyExA(hroot, sub_key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                access, nullptr, &opened, &disposition);
  if (status == ERROR_SUCCESS) *key = reinterpret_cast<RegHandle>(opened);
  return status;
}

long CloseKey(RegHandle key) { return ::RegCloseKey(ToHkey(key)); }

long QueryValue(RegHandle key, const std::string& name, RegData* out) {
  DWORD type = 0, size = 0;
  LONG status = RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &type, nullptr, &size);
  if (status != ERROR_SUCCESS) return status;
  std::vector<BYTE> buffer(size + 1);
  DWORD length = size;
  status = RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &type, buffer.data(), &length);
  if (status != ERROR_SUCCESS) return status;
  out->type = type;
  out->bytes.assign(reinterpret_cast<const char*>(buffer.data()), length);
  return status;
}

long SetValue(RegHandle key, const std::string& name, uint32_t type, const std::string& bytes) {
  return RegSetValueExA(ToHkey(key), name.c_str(), 0, type,
                        reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()));
}

long QueryKeyInfo(RegHandle key, uint32_t* longest_name_chars, uint32_t* longest_data_bytes) {
  DWORD name_chars = 0, data_bytes = 0;
  LONG status = RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, &name_chars, &data_bytes, nullptr, nullptr);
  *longest_name_chars = name_chars;
  *longest_data_bytes = data_bytes;
  return status;
}

long EnumValue(RegHandle key, uint32_t index, uint32_t name_capacity_chars,
                  uint32_t data_capacity_bytes, std::string* name, RegData* out) {
  std::vector<char> name_buffer(name_capacity_chars + 1, '\0');
  std::vector<BYTE> data_buffer(data_capacity_bytes + 2, 0);
  DWORD name_length = name_capacity_chars;
  DWORD data_length = data_capacity_bytes;
  DWORD type = 0;
  LONG status = RegEnumValueA(ToHkey(key), index, name_buffer.data(), &name_length, nullptr,
                              &type, data_buffer.data(), &data_length);
  if (status != ERROR_SUCCESS) return status;
  name->assign(name_buffer.data(), name_length);
  out->type = type;
  out->bytes.assign(reinterpret_cast<const char*>(data_buffer.data()), data_length);
  return status;
}

long EnumSubKey(RegHandle key, uint32_t index, std::string* name) {
  char buffer[256];
  DWORD length = sizeof buffer;
  LONG status = RegEnumKeyExA(ToHkey(key), index, buffer, &length, nullptr, nullptr, nullptr,
                              nullptr);
  if (status == ERROR_SUCCESS) name->assign(buffer, length);
  return status;
}

long DeleteValue(RegHandle key, const std::string& name) {
  return RegDeleteValueA(ToHkey(key), name.empty() ? nullptr : name.c_str());
}

long DeleteKey(RegRoot root, const std::string& sub_key) {
  HKEY hroot = ToHkey(root);
  if (!hroot) return kErrorInvalidHandle;
  if (g_read_only[static_cast<int>(root)]) return kErrorAccessDenied;
  return RegDeleteKeyA(hroot, sub_key.c_str());
}

void SetRootReadOnlyForTesting(RegRoot root, bool read_only) {
  g_read_only[static_cast<int>(root)] = read_only;
}

void ResetRegistryForTesting() {}

}  // namespace platform
