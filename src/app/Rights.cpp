#include "app/Rights.h"

#include "app/Settings.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "registry/Registry.h"

namespace {

constexpr char kTrialValue[] = "WriteCheck";

}  // namespace

bool CanWriteMachineSettings() {
  RegPathParts parts = SplitRegPath(kSettingsKey);
  bool existed = RegKeyExists(kSettingsKey);
  platform::RegHandle key = nullptr;
  if (platform::CreateKey(parts.root, parts.sub_key, platform::kKeyWrite | platform::kKeyQueryValue,
                          &key) != platform::kErrorSuccess)
    return false;
  bool written = platform::SetValue(key, kTrialValue, {platform::kRegSz, std::string("1\0", 2)}) ==
                 platform::kErrorSuccess;
  if (written)
    platform::DeleteValue(key, kTrialValue);
  platform::CloseKey(key);
  if (!existed)
    platform::DeleteKey(parts.root, parts.sub_key);
  return written;
}

std::string DescribeFailure(long status) {
  if (status == platform::kErrorAccessDenied)
    return "access denied: administrator rights are needed";
  std::string text = platform::SystemErrorText(status);
  while (!text.empty() && text.back() == '.')
    text.pop_back();
  return "error " + std::to_string(status) + (text.empty() ? "" : ": " + text);
}
