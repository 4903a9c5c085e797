// An in-memory registry: three roots, keys and value names compared without regard to
// case, values kept in the order they were first written.
#include "platform/registry.h"

#include "platform/common/test_switches.h"
#include "platform/portable/text.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <vector>

namespace platform {

struct RegKeyOpaque {
  struct Node* node;
  uint32_t access;
};

struct Node {
  std::string name;
  std::vector<std::pair<std::string, RegData>> values;
  std::vector<std::unique_ptr<Node>> children;
  Node* parent = nullptr;
  bool deleted = false;
};

namespace {

struct Store {
  Node roots[4];
  bool read_only[4] = {false, false, false, false};
  // Handles keep deleted nodes alive, as an open key outlives its deletion on Windows.
  std::vector<std::unique_ptr<Node>> graveyard;
};

Store& TheStore() {
  static Store store;
  return store;
}

Node* RootNode(RegRoot root) {
  return root == RegRoot::None ? nullptr : &TheStore().roots[static_cast<int>(root)];
}

std::vector<std::string> SplitKeyPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty())
        parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty())
    parts.push_back(part);
  return parts;
}

Node* FindChild(Node* node, const std::string& name) {
  std::string wanted = portable::LowerText(name);
  for (auto& child : node->children)
    if (portable::LowerText(child->name) == wanted)
      return child.get();
  return nullptr;
}

Node* Walk(Node* node, const std::string& sub_key, bool create) {
  for (const std::string& part : SplitKeyPath(sub_key)) {
    Node* child = FindChild(node, part);
    if (!child) {
      if (!create)
        return nullptr;
      node->children.push_back(std::make_unique<Node>());
      child = node->children.back().get();
      child->name = part;
      child->parent = node;
    }
    node = child;
  }
  return node;
}

bool WantsWrite(uint32_t access) {
  return (access & (kKeySetValue | kKeyCreateSubKey)) != 0;
}

long Open(RegRoot root, const std::string& sub_key, uint32_t access, RegHandle* key, bool create) {
  *key = nullptr;
  Node* base = RootNode(root);
  if (!base)
    return kErrorInvalidHandle;
  if (TheStore().read_only[static_cast<int>(root)] && WantsWrite(access))
    return kErrorAccessDenied;
  Node* node = Walk(base, sub_key, create);
  if (!node)
    return kErrorFileNotFound;
  *key = new RegKeyOpaque{node, access};
  return kErrorSuccess;
}

auto FindValue(Node* node, const std::string& name) {
  std::string wanted = portable::LowerText(name);
  return std::find_if(node->values.begin(), node->values.end(), [&](const auto& value) {
    return portable::LowerText(value.first) == wanted;
  });
}

}  // namespace

long OpenKey(RegRoot root, const std::string& sub_key, uint32_t access, RegHandle* key) {
  return Open(root, sub_key, access, key, false);
}

long CreateKey(RegRoot root, const std::string& sub_key, uint32_t access, RegHandle* key) {
  return Open(root, sub_key, access, key, true);
}

long CloseKey(RegHandle key) {
  if (!key)
    return kErrorInvalidHandle;
  delete key;
  return kErrorSuccess;
}

long QueryValue(RegHandle key, const std::string& name, RegData* out) {
  if (!key)
    return kErrorInvalidHandle;
  if (!(key->access & kKeyQueryValue))
    return kErrorAccessDenied;
  auto value = FindValue(key->node, name);
  if (value == key->node->values.end())
    return kErrorFileNotFound;
  *out = value->second;
  return kErrorSuccess;
}

long SetValue(RegHandle key, const std::string& name, const RegData& data) {
  if (!key)
    return kErrorInvalidHandle;
  if (!(key->access & kKeySetValue))
    return kErrorAccessDenied;
  if (key->node->deleted)
    return kErrorFileNotFound;
  if (!test_switches::TakeValueWrite())
    return kErrorAccessDenied;
  auto value = FindValue(key->node, name);
  if (value == key->node->values.end())
    key->node->values.push_back({name, data});
  else
    value->second = data;
  return kErrorSuccess;
}

long QueryKeyInfo(RegHandle key, uint32_t* longest_name_chars, uint32_t* longest_data_bytes) {
  if (!key)
    return kErrorInvalidHandle;
  uint32_t name_chars = 0, data_bytes = 0;
  for (const auto& [name, data] : key->node->values) {
    name_chars = std::max<uint32_t>(name_chars, static_cast<uint32_t>(name.size()));
    data_bytes = std::max<uint32_t>(data_bytes, static_cast<uint32_t>(data.bytes.size()));
  }
  *longest_name_chars = name_chars;
  *longest_data_bytes = data_bytes;
  return kErrorSuccess;
}

long EnumValue(RegHandle key,
               uint32_t index,
               uint32_t name_capacity_chars,
               uint32_t data_capacity_bytes,
               std::string* name,
               RegData* out) {
  if (!key)
    return kErrorInvalidHandle;
  if (!(key->access & kKeyQueryValue))
    return kErrorAccessDenied;
  if (index >= key->node->values.size())
    return kErrorNoMoreItems;
  const auto& [value_name, data] = key->node->values[index];
  if (value_name.size() + 1 > name_capacity_chars || data.bytes.size() > data_capacity_bytes)
    return kErrorMoreData;
  *name = value_name;
  *out = data;
  return kErrorSuccess;
}

long EnumSubKey(RegHandle key, uint32_t index, std::string* name) {
  if (!key)
    return kErrorInvalidHandle;
  if (index >= key->node->children.size())
    return kErrorNoMoreItems;
  *name = key->node->children[index]->name;
  return kErrorSuccess;
}

long DeleteValue(RegHandle key, const std::string& name) {
  if (!key)
    return kErrorInvalidHandle;
  if (!(key->access & kKeySetValue))
    return kErrorAccessDenied;
  auto value = FindValue(key->node, name);
  if (value == key->node->values.end())
    return kErrorFileNotFound;
  key->node->values.erase(value);
  return kErrorSuccess;
}

long DeleteKey(RegRoot root, const std::string& sub_key) {
  Node* base = RootNode(root);
  if (!base)
    return kErrorInvalidHandle;
  if (TheStore().read_only[static_cast<int>(root)])
    return kErrorAccessDenied;
  Node* node = Walk(base, sub_key, false);
  if (!node)
    return kErrorFileNotFound;
  if (node == base)
    return kErrorAccessDenied;
  if (!node->children.empty())
    return kErrorAccessDenied;
  Node* parent = node->parent;
  auto it = std::find_if(parent->children.begin(), parent->children.end(),
                         [&](const auto& child) { return child.get() == node; });
  node->deleted = true;
  TheStore().graveyard.push_back(std::move(*it));
  parent->children.erase(it);
  return kErrorSuccess;
}

void SetRootReadOnlyForTesting(RegRoot root, bool read_only) {
  TheStore().read_only[static_cast<int>(root)] = read_only;
}

void ResetRegistryForTesting() {
  Store& store = TheStore();
  for (Node& root : store.roots) {
    for (auto& child : root.children) {
      child->deleted = true;
      store.graveyard.push_back(std::move(child));
    }
    root.children.clear();
    root.values.clear();
  }
}

}  // namespace platform
