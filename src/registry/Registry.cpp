#include "registry/Registry.h"

#include <cmath>
#include <cstring>

#include "platform/runtime_error.h"

using namespace platform;

namespace {

// Closes the key when the call is done with it.
class OpenedKey {
 public:
  OpenedKey() = default;
  ~OpenedKey() {
    if (handle_) CloseKey(handle_);
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  RegHandle* out() { return &handle_; }
  RegHandle get() const { return handle_; }

 private:
  RegHandle handle_ = nullptr;
};

std::string RightTrimBlanks(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

int32_t LittleEndianInt32(const std::string& bytes) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = (value << 8) | static_cast<uint8_t>(i < static_cast<int>(bytes.size()) ? bytes[i] : 0);
  return static_cast<int32_t>(value);
}

std::string Int32Bytes(int32_t number) {
  uint32_t value = static_cast<uint32_t>(number);
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

RegVariant RenderValue(const RegData& data) {
  switch (data.type) {
    case kRegSz: return TrimNull(data.bytes);
    case kRegExpandSz:
    case kRegMultiSz: return data.bytes;
    case kRegDword: return static_cast<double>(LittleEndianInt32(data.bytes));
    default: return std::vector<uint8_t>(data.bytes.begin(), data.bytes.end());
  }
}

}  // namespace

RegPathParts SplitRegPath(const std::string& path) {
  RegPathParts parts;
  if (path.size() < 5) return parts;
  std::string prefix = path.substr(0, 4);
  if (prefix == "HKCU") parts.root = RegRoot::CurrentUser;
  else if (prefix == "HKLM") parts.root = RegRoot::LocalMachine;
  else if (prefix == "HKCR") parts.root = RegRoot::ClassesRoot;
  parts.sub_key = path.substr(5);
  return parts;
}

std::string TrimNull(const std::string& text) {
  std::string::size_type nul = text.find('\0');
  return nul == std::string::npos ? text : text.substr(0, nul);
}

std::string ReadRegValue(const std::string& path, const std::string& value_name,
                         const std::string& default_value) {
  return ReadRegValues(path, {value_name}, default_value)[0];
}

std::vector<std::string> ReadRegValues(const std::string& path,
                                       const std::vector<std::string>& value_names,
                                       const std::string& default_value) {
  std::vector<std::string> texts(value_names.size(), default_value);
  if (path.empty())
    return texts;
  RegPathParts parts = SplitRegPath(path);
  OpenedKey key;
  if (OpenKey(parts.root, parts.sub_key, kKeyQueryValue, key.out()) != kErrorSuccess)
    return texts;
  for (std::size_t i = 0; i < value_names.size(); ++i) {
    RegData data;
    if (QueryValue(key.get(), value_names[i], &data) != kErrorSuccess)
      continue;
    if (data.type == kRegSz) {
      // The data in a buffer one blank longer than itself, trailing blanks removed, cut
      // at the first NUL: a text stored with its NUL keeps its own trailing blanks.
      texts[i] = TrimNull(RightTrimBlanks(data.bytes + " "));
    } else if (data.type == kRegDword && data.bytes.size() >= 4) {
      texts[i] = std::to_string(LittleEndianInt32(data.bytes));
    }
  }
  return texts;
}

long WriteRegValue(const std::string& path, const std::string& value_name,
                   const std::string& value, bool as_dword) {
  RegPathParts parts = SplitRegPath(path);
  if (as_dword) return WriteRegDword(parts.root, parts.sub_key, value_name, TextToInt32(value));
  OpenedKey key;
  long status = CreateKey(parts.root, parts.sub_key, kKeyAllAccess, key.out());
  if (status != kErrorSuccess) return status;
  // With its terminating NUL, as every other reader of these values expects.
  return SetValue(key.get(), value_name, RegData{kRegSz, value + '\0'});
}

long WriteRegDword(RegRoot root, const std::string& sub_key, const std::string& value_name,
                   int32_t value) {
  OpenedKey key;
  long status = CreateKey(root, sub_key, kKeyAllAccess, key.out());
  if (status != kErrorSuccess) return status;
  return SetValue(key.get(), value_name, RegData{kRegDword, Int32Bytes(value)});
}

bool ReadRegRaw(const std::string& path, const std::string& value_name, RegData* data) {
  RegPathParts parts = SplitRegPath(path);
  OpenedKey key;
  if (OpenKey(parts.root, parts.sub_key, kKeyQueryValue, key.out()) != kErrorSuccess) return false;
  return QueryValue(key.get(), value_name, data) == kErrorSuccess;
}

long WriteRegRaw(const std::string& path, const std::string& value_name, const RegData& data) {
  RegPathParts parts = SplitRegPath(path);
  OpenedKey key;
  long status = CreateKey(parts.root, parts.sub_key, kKeyAllAccess, key.out());
  if (status != kErrorSuccess) return status;
  return SetValue(key.get(), value_name, data);
}

long DeleteRegValue(const std::string& path, const std::string& value_name) {
  std::string name = value_name == "No Description" ? "" : value_name;
  RegPathParts parts = SplitRegPath(path);
  OpenedKey key;
  if (OpenKey(parts.root, parts.sub_key, kKeyWrite, key.out()) != kErrorSuccess) return 0;
  return DeleteValue(key.get(), name);
}

long DeleteRegValueNamed(const std::string& path, const std::string& value_name) {
  RegPathParts parts = SplitRegPath(path);
  OpenedKey key;
  long status = OpenKey(parts.root, parts.sub_key, kKeyWrite, key.out());
  // A missing key holds nothing to delete; a key we may not change still holds the value.
  if (status == kErrorFileNotFound) return 0;
  if (status != kErrorSuccess) return status;
  return DeleteValue(key.get(), value_name);
}

long DeleteRegKey(const std::string& path) {
  RegPathParts parts = SplitRegPath(path);
  return DeleteKey(parts.root, parts.sub_key);
}

bool RegKeyExists(const std::string& path) {
  RegPathParts parts = SplitRegPath(path);
  OpenedKey key;
  return OpenKey(parts.root, parts.sub_key, kKeyQueryValue, key.out()) == kErrorSuccess;
}

std::vector<std::string> EnumRegSubKeys(const std::string& path) {
  std::vector<std::string> names;
  RegPathParts parts = SplitRegPath(path);
  OpenedKey key;
  if (OpenKey(parts.root, parts.sub_key, kKeyRead, key.out()) != kErrorSuccess)
    return names;
  std::string name;
  for (uint32_t index = 0; EnumSubKey(key.get(), index, &name) == kErrorSuccess; ++index)
    names.push_back(name);
  return names;
}

RegValueList EnumRegValues(const std::string& path) {
  RegValueList list;
  RegPathParts parts = SplitRegPath(path);
  OpenedKey key;
  if (OpenKey(parts.root, parts.sub_key, kKeyRead, key.out()) != kErrorSuccess) return list;
  uint32_t longest_name = 0, longest_data = 0;
  if (QueryKeyInfo(key.get(), &longest_name, &longest_data) != kErrorSuccess) return list;
  for (uint32_t index = 0;; ++index) {
    std::string name;
    RegData data;
    // Any failure ends the list; the normal end is "no more items".
    if (EnumValue(key.get(), index, longest_name + 101, longest_data, &name, &data) !=
        kErrorSuccess)
      break;
    RegValueEntry entry;
    entry.name = TrimNull(name);
    entry.type = static_cast<int32_t>(data.type);
    entry.length = data.type == kRegDword ? 4 : static_cast<int32_t>(data.bytes.size());
    entry.value = RenderValue(data);
    list.entries.push_back(std::move(entry));
  }
  return list;
}

int32_t TextToInt32(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t");
  std::size_t end = text.find_last_not_of(" \t");
  if (begin == std::string::npos) throw RuntimeError(kErrTypeMismatch, "Type mismatch");
  std::string number = text.substr(begin, end - begin + 1);
  char* stop = nullptr;
  double value = std::strtod(number.c_str(), &stop);
  bool plain = !number.empty() && std::strchr("+-.0123456789", number[0]) &&
               number.find_first_of("xXpPiInN") == std::string::npos;
  if (!plain || stop != number.c_str() + number.size())
    throw RuntimeError(kErrTypeMismatch, "Type mismatch");
  double rounded = std::nearbyint(value);  // the default rounding: halves to even
  if (rounded < -2147483648.0 || rounded > 2147483647.0)
    throw RuntimeError(6, "Overflow");
  return static_cast<int32_t>(rounded);
}

std::vector<std::optional<RegData>> ReadRegRawValues(const std::string& path,
                                                     const std::vector<std::string>& value_names) {
  std::vector<std::optional<RegData>> values(value_names.size());
  RegPathParts parts = SplitRegPath(path);
  OpenedKey key;
  if (OpenKey(parts.root, parts.sub_key, kKeyQueryValue, key.out()) != kErrorSuccess)
    return values;
  for (std::size_t i = 0; i < value_names.size(); ++i) {
    RegData data;
    if (QueryValue(key.get(), value_names[i], &data) == kErrorSuccess)
      values[i] = std::move(data);
  }
  return values;
}
