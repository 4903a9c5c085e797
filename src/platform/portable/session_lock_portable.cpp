#include "platform/session_lock.h"

#include <map>

namespace platform {
namespace {

std::map<std::string, int>& Holders() {
  static std::map<std::string, int> holders;
  return holders;
}

}  // namespace

SessionLock::SessionLock(const std::string& name) : handle_(this), name_(name) {
  ++Holders()[name_];
}

SessionLock::~SessionLock() {
  if (--Holders()[name_] == 0)
    Holders().erase(name_);
}

bool SessionLockHeld(const std::string& name) {
  return Holders().count(name) > 0;
}

}  // namespace platform
