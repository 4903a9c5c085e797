#include "platform/session_lock.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

std::wstring KernelName(const std::string& name) {
  return Widen("Local\\" + name);
}

}  // namespace

// The mutex is never owned: that it exists is the lock, and it goes with its last handle.
SessionLock::SessionLock(const std::string& name) : name_(name) {
  handle_ = CreateMutexW(nullptr, FALSE, KernelName(name).c_str());
}

SessionLock::~SessionLock() {
  if (handle_)
    CloseHandle(handle_);
}

bool SessionLockHeld(const std::string& name) {
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, KernelName(name).c_str());
  if (mutex) {
    CloseHandle(mutex);
    return true;
  }
  // One made with other rights (an elevated run's, for a copy without them) is there all
  // the same.
  return GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace platform
