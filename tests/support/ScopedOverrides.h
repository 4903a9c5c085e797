// Test switches that undo themselves: an environment variable, a special folder, the
// platform's version and the clock, each restored when the object goes.
#pragma once

#include <string>

#include "platform/shell.h"
#include "platform/system.h"

class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value)
      : name_(std::move(name)), old_(platform::GetEnv(name_)) {
    platform::SetEnv(name_, value);
  }
  ~ScopedEnv() { platform::SetEnv(name_, old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_, old_;
};

class ScopedSpecialFolder {
 public:
  ScopedSpecialFolder(int number, const std::string& path) : number_(number) {
    platform::SetSpecialFolderForTesting(number, path);
  }
  ~ScopedSpecialFolder() { platform::SetSpecialFolderForTesting(number_, ""); }
  ScopedSpecialFolder(const ScopedSpecialFolder&) = delete;
  ScopedSpecialFolder& operator=(const ScopedSpecialFolder&) = delete;

 private:
  int number_;
};

// The major version, and the minor one when given (otherwise the real one stays).
class ScopedVersion {
 public:
  explicit ScopedVersion(int major, int minor = -1) {
    platform::SetMajorVersionForTesting(major);
    platform::SetMinorVersionForTesting(minor);
  }
  ~ScopedVersion() {
    platform::SetMajorVersionForTesting(0);
    platform::SetMinorVersionForTesting(-1);
  }
  ScopedVersion(const ScopedVersion&) = delete;
  ScopedVersion& operator=(const ScopedVersion&) = delete;
};

class ScopedNow {
 public:
  explicit ScopedNow(const platform::LocalTime& now) { platform::SetNowForTesting(now); }
  ~ScopedNow() { platform::SetNowForTesting({}); }
  ScopedNow(const ScopedNow&) = delete;
  ScopedNow& operator=(const ScopedNow&) = delete;
};
