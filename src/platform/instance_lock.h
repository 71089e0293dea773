#pragma once
// One running copy of the tool per user: an exclusive flock on a file in the user's runtime
// directory, held for as long as the InstanceLock lives.

#include <string>

#include "platform/unique_fd.h"

namespace platform {

// $XDG_RUNTIME_DIR/kalvex-modem-diag.lock, or /tmp/kalvex-modem-diag-<uid>.lock when
// XDG_RUNTIME_DIR is unset or not absolute. Any thread.
[[nodiscard]] std::string InstanceLockPath();

class InstanceLock {
 public:
  enum class Result {
    kAcquired,       // this process now holds the lock
    kHeldElsewhere,  // another process (or another InstanceLock) holds it
    kUnavailable,    // the lock file could not be opened or locked; see Error()
  };

  InstanceLock() = default;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Tries once, without waiting, to take the lock at InstanceLockPath(). Held until the object
  // is destroyed (or the process ends: the kernel releases it with the descriptor, whatever the
  // way out). On kUnavailable, Error() says why. Any thread.
  [[nodiscard]] Result Acquire();
  [[nodiscard]] bool Held() const { return fd_.Valid(); }
  [[nodiscard]] const std::string& Path() const { return path_; }
  [[nodiscard]] const std::string& Error() const { return error_; }

 private:
  UniqueFd fd_;
  std::string path_;
  std::string error_;
};

}  // namespace platform
