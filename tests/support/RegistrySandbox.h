// Clears the registry keys the tests use, before and after each test, so every test
// starts on a machine without them (under Wine: the real prefix registry).
#pragma once

#include <string>
#include <vector>

class RegistrySandbox {
 public:
  RegistrySandbox();
  ~RegistrySandbox();
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;

  // Also clears Path (a registry path such as "HKCU\Software\X") now and at the end.
  void Own(const std::string& path);

 private:
  void ClearAll();
  std::vector<std::string> paths_;
};

// Deletes the key named by a registry path with all its subkeys.
void DeleteRegTree(const std::string& path);
