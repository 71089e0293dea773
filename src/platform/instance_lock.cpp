#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/sys_error.h"

namespace platform {

std::string InstanceLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') return std::string(runtime) + "/kalvex-modem-diag.lock";
  return "/tmp/kalvex-modem-diag-" + std::to_string(::getuid()) + ".lock";
}

InstanceLock::Result InstanceLock::Acquire() {
  fd_.Reset();
  error_.clear();
  path_ = InstanceLockPath();
  // /tmp is shared with every user: never follow a link someone else planted there, and never
  // lock a file that is not our own (a foreign owner could hold it and keep us from starting).
  UniqueFd fd(RetryOnEintr(
      [&] { return ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600); }));
  if (!fd.Valid()) {
    error_ = "cannot open " + path_ + ": " + DescribeErrno(errno);
    return Result::kUnavailable;
  }
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
    error_ = path_ + " is not a file of this user";
    return Result::kUnavailable;
  }
  if (RetryOnEintr([&] { return ::flock(fd.Get(), LOCK_EX | LOCK_NB); }) != 0) {
    const int err = errno;
    if (err == EWOULDBLOCK) return Result::kHeldElsewhere;
    error_ = "cannot lock " + path_ + ": " + DescribeErrno(err);
    return Result::kUnavailable;
  }
  fd_ = std::move(fd);
  return Result::kAcquired;
}

}  // namespace platform
