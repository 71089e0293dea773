#include "platform/instance_lock.h"

#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/outside_file.h"
#include "platform/sys_error.h"
#include "resources/product.h"

namespace platform {

std::string InstanceLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string name = product::kProgramName;
  if (runtime && runtime[0] == '/') return std::string(runtime) + "/" + name + ".lock";
  return "/tmp/" + name + "-" + std::to_string(::getuid()) + ".lock";
}

InstanceLock::Result InstanceLock::Acquire() {
  fd_.Reset();
  error_.clear();
  path_ = InstanceLockPath();
  // /tmp is shared with every user: never follow a link someone else planted there, never wait
  // on a FIFO put in its place, and never lock a file that is not our own (a foreign owner could
  // hold it and keep us from starting).
  OpenedFile opened = OpenOutsideFile(
      path_, FileRule{FileAccess::kReadWriteCreate, kAcceptRegular, -1, 0600, false});
  if (!opened.Opened()) {
    error_ = "cannot open " + path_ + ": " + opened.reason;
    return Result::kUnavailable;
  }
  if (opened.facts.owner != ::geteuid()) {
    error_ = path_ + " is not a file of this user";
    return Result::kUnavailable;
  }
  UniqueFd fd = std::move(opened.fd);
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
