#include "support/RegistrySandbox.h"

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "registry/Registry.h"

namespace {

void DeleteTree(platform::RegRoot root, const std::string& sub_key) {
  platform::RegHandle key = nullptr;
  if (platform::OpenKey(root, sub_key, platform::kKeyRead, &key) == platform::kErrorSuccess) {
    std::vector<std::string> children;
    std::string name;
    for (uint32_t i = 0; platform::EnumSubKey(key, i, &name) == platform::kErrorSuccess; ++i)
      children.push_back(name);
    platform::CloseKey(key);
    for (const std::string& child : children)
      DeleteTree(root, sub_key + "\\" + child);
  }
  platform::DeleteKey(root, sub_key);
}

}  // namespace

void DeleteRegTree(const std::string& path) {
  RegPathParts parts = SplitRegPath(path);
  if (parts.root != platform::RegRoot::None && !parts.sub_key.empty())
    DeleteTree(parts.root, parts.sub_key);
}

RegistrySandbox::RegistrySandbox()
    : paths_{"HKLM\\SOFTWARE\\Runwarden", "HKLM\\SOFTWARE\\RunwardenTests",
             "HKCU\\Software\\RunwardenTests", "HKCR\\RunwardenTests",
             "HKCU\\Software\\Runwarden"} {
  platform::ResetRegistryForTesting();
  ClearAll();
}

RegistrySandbox::~RegistrySandbox() {
  platform::FailValueWritesAfterForTesting(-1);
  ClearAll();
  for (auto value = values_.rbegin(); value != values_.rend(); ++value) {
    if (value->had)
      WriteRegRaw(value->key, value->name, value->data);
    else
      DeleteRegValueNamed(value->key, value->name);
  }
  for (platform::RegRoot root : {platform::RegRoot::CurrentUser, platform::RegRoot::LocalMachine,
                                 platform::RegRoot::ClassesRoot})
    platform::SetRootReadOnlyForTesting(root, false);
}

void RegistrySandbox::Own(const std::string& path) {
  paths_.push_back(path);
  DeleteRegTree(path);
}

void RegistrySandbox::OwnFile(const std::string& path) {
  files_.push_back(path);
  platform::RemoveFile(path);
}

void RegistrySandbox::ClearAll() {
  for (const std::string& path : paths_)
    DeleteRegTree(path);
  for (const std::string& path : files_)
    platform::RemoveFile(path);
}

void RegistrySandbox::OwnValue(const std::string& key, const std::string& name) {
  SavedValue saved{key, name};
  saved.had = ReadRegRaw(key, name, &saved.data);
  values_.push_back(saved);
  DeleteRegValueNamed(key, name);
}

std::vector<std::string> ValueNames(const std::string& key) {
  std::vector<std::string> names;
  for (const RegValueEntry& value : EnumRegValues(key).entries)
    names.push_back(value.name);
  return names;
}

bool HasValue(const std::string& key, const std::string& name) {
  platform::RegData data;
  return ReadRegRaw(key, name, &data);
}
