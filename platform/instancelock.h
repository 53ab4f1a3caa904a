#pragma once
// Lets only one instance of the program run per user. A named lock stands in for
// a named mutex: an exclusive, non-blocking flock() on a lock file named after it.
// The kernel drops the lock when the holder exits, is killed or crashes, so a stale
// file never blocks a later start.

#include <string>

// The value the system reports when the named object already exists.
constexpr int kErrorAlreadyExists = 183;

class InstanceLock {
 public:
  // Tries to take the lock at once; never waits.
  explicit InstanceLock(const std::string& name);
  ~InstanceLock();  // releases the lock
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // 0 when this object holds the lock; kErrorAlreadyExists when another holder
  // has it; otherwise the errno of the failed creation (the caller starts anyway).
  int LastError() const { return error_; }
  bool Held() const { return fd_ >= 0; }
  bool AlreadyRunning() const { return error_ == kErrorAlreadyExists; }

  // In $XDG_RUNTIME_DIR when set, else in the temp folder with the user id in
  // the name so that users never share one file.
  static std::string LockFilePath(const std::string& name);

 private:
  int fd_ = -1;
  int error_ = 0;
};
