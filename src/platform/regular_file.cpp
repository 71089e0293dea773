#include "platform/regular_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <cerrno>

#include "platform/sys_error.h"

namespace platform {
namespace {

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory, not a regular file";
  if (S_ISFIFO(mode)) return "a FIFO, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a regular file";
  if (S_ISSOCK(mode)) return "a socket, not a regular file";
  if (S_ISLNK(mode)) return "a symbolic link, which is not followed";
  return "not a regular file";
}

UniqueFd Refuse(std::string* reason, std::string why) {
  if (reason) *reason = std::move(why);
  return UniqueFd();
}

}  // namespace

UniqueFd OpenRegularFile(const char* path, SymlinkPolicy links, std::string* reason) {
  if (reason) reason->clear();
  const bool follow = links == SymlinkPolicy::kFollow;
  // Looked at before it is opened: opening a device node can act on the device.
  struct stat seen {};
  if ((follow ? ::stat(path, &seen) : ::lstat(path, &seen)) != 0) {
    const int err = errno;
    return Refuse(reason, err == ENOENT ? std::string() : DescribeErrno(err));
  }
  if (!S_ISREG(seen.st_mode)) return Refuse(reason, KindOf(seen.st_mode));
  // Non-blocking, so a FIFO swapped in since the look does not wait for a writer; reads of a
  // regular file never wait either way.
  const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW);
  UniqueFd fd(RetryOnEintr([&] { return ::open(path, flags); }));
  if (!fd.Valid()) {
    const int err = errno;
    if (err == ELOOP && !follow) return Refuse(reason, KindOf(S_IFLNK));
    return Refuse(reason, err == ENOENT ? std::string() : DescribeErrno(err));
  }
  struct stat opened {};
  if (::fstat(fd.Get(), &opened) != 0) return Refuse(reason, DescribeErrno(errno));
  if (!S_ISREG(opened.st_mode)) return Refuse(reason, KindOf(opened.st_mode));
  return fd;
}

UniqueFile OpenRegularFileStream(const char* path, std::string* reason) {
  UniqueFd fd = OpenRegularFile(path, SymlinkPolicy::kFollow, reason);
  if (!fd.Valid()) return nullptr;
  std::FILE* file = ::fdopen(fd.Get(), "rb");
  if (!file) {
    if (reason) *reason = DescribeErrno(errno);
    return nullptr;
  }
  fd.Release();
  return UniqueFile(file);
}

}  // namespace platform
