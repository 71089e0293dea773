#include "platform/transcript_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/sys_error.h"

namespace platform {

bool TranscriptFile::Open(const char* path, std::string* error) {
  fd_.Reset();
  UniqueFd fd(RetryOnEintr(
      [&] { return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600); }));
  if (!fd.Valid()) {
    const int err = errno;
    // O_NOFOLLOW reports a symbolic link as ELOOP, which reads as nonsense to a user.
    *error = err == ELOOP ? std::string("it is a symbolic link") : DescribeErrno(err);
    return false;
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
      (st.st_mode & 07777) != 0600) {
    // An existing file keeps its mode through O_TRUNC; what it will hold is ours alone.
    ::fchmod(fd.Get(), 0600);
  }
  fd_ = std::move(fd);
  return true;
}

bool TranscriptFile::Write(const std::string& text, std::string* error) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n =
        RetryOnEintr([&] { return ::write(fd_.Get(), text.data() + done, text.size() - done); });
    if (n < 0) {
      *error = DescribeErrno(errno);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace platform
