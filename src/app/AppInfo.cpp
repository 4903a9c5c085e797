#include "app/AppInfo.h"

#include "platform/system.h"

#ifndef RUNWARDEN_SUPPORT_EMAIL
#define RUNWARDEN_SUPPORT_EMAIL "support@runwarden.example"
#endif

std::string AppFolder() {
  std::string path = platform::ModulePath();
  std::string::size_type cut = path.find_last_of('\\');
  if (cut == std::string::npos) return "";
  std::string folder = path.substr(0, cut);
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return folder;
}

std::string AppExeName() {
  std::string path = platform::ModulePath();
  std::string name = path.substr(path.find_last_of('\\') + 1);
  std::string::size_type dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string VersionText() {
  platform::Version version = platform::ProgramVersion();
  return std::to_string(version.major) + "." + std::to_string(version.minor) + ".0." +
         std::to_string(version.revision);
}

std::string AppFile(const std::string& name) {
  std::string folder = AppFolder();
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder + "\\" + name;
}

std::string SupportEmailAddress() { return RUNWARDEN_SUPPORT_EMAIL; }
