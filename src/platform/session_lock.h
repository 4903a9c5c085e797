// Locks named within the logon session, by which one run of the program tells another
// that it is still at work. A lock is held while any holder of that name lives, and is
// let go when the last one goes, however its process ends (a crash holds nobody up).
// Win32: a named mutex in the session's "Local\" namespace, held while it exists.
// Portable: a count per name in this process, which is all its session has (its
// registry and task store live in the process too).
#pragma once

#include <string>

namespace platform {

class SessionLock {
 public:
  // Holds the lock of this name; others may hold it at the same time.
  explicit SessionLock(const std::string& name);
  ~SessionLock();
  SessionLock(const SessionLock&) = delete;
  SessionLock& operator=(const SessionLock&) = delete;

  // False when the lock could not be made (the run goes on without it).
  bool holds() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
  std::string name_;
};

// Whether something in this session holds the lock of this name now (this process too).
bool SessionLockHeld(const std::string& name);

}  // namespace platform
