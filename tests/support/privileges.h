#pragma once
// Root is exempt from exclusive mode and file permissions, so the refusals meant for users are
// checked in a child that has given up root; and the exclusive flag a terminal carries.

#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace testsupport {

// In a child process: becomes the user nobody for good. False when that is not possible.
inline bool DropToNobody() {
  const passwd* nobody = ::getpwnam("nobody");
  return nobody && ::setgroups(0, nullptr) == 0 && ::setgid(nobody->pw_gid) == 0 &&
         ::setuid(nobody->pw_uid) == 0;
}

// 1 when the terminal behind fd is in exclusive mode, 0 when not, -1 when it cannot be asked.
inline int ExclusiveFlag(int fd) {
  int flag = -1;
  ::ioctl(fd, TIOCGEXCL, &flag);
  return flag;
}

}  // namespace testsupport
