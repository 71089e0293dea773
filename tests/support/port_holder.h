#pragma once
// Another program holding a device: a child opens it, takes the flock (or sets
// exclusive mode) and becomes `program` (sleep, or a copy of it under another
// name), keeping the descriptor, until the object ends it.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace testsupport {

class PortHolder {
 public:
  enum class How { kFlock, kExclusive };
  PortHolder(const std::string& program, const std::string& device, How how) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      if (fd < 0) ::_exit(1);
      if (how == How::kFlock && ::flock(fd, LOCK_EX | LOCK_NB) != 0) ::_exit(2);
      if (how == How::kExclusive && ::ioctl(fd, TIOCEXCL) != 0) ::_exit(3);
      ::execl(program.c_str(), program.c_str(), "60", static_cast<char*>(nullptr));
      ::_exit(4);
    }
    ::close(ready[1]);
    // The pipe closes when the exec has happened: by then the lock is held
    // under the new name.
    char byte;
    while (::read(ready[0], &byte, 1) > 0) {
    }
    ::close(ready[0]);
  }
  ~PortHolder() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

}  // namespace testsupport
