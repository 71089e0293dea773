#include "platform/unique_fd.h"

#include <unistd.h>

namespace platform {

void UniqueFd::Reset(int fd) {
  if (fd_ >= 0) {
    // Linux releases the descriptor even when close() reports EINTR: never retry it.
    ::close(fd_);
  }
  fd_ = fd;
}

}  // namespace platform
