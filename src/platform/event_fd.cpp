#include "platform/event_fd.h"

#include <sys/eventfd.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>

#include "platform/sys_error.h"

namespace platform {

EventFd::EventFd() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (!fd_.Valid()) error_ = errno;
}

void EventFd::Signal() const {
  uint64_t one = 1;
  // A full counter (EAGAIN) is already signalled: nothing is lost.
  RetryOnEintr([&] { return ::write(fd_.Get(), &one, sizeof one); });
}

void EventFd::Drain() const {
  uint64_t count;
  RetryOnEintr([&] { return ::read(fd_.Get(), &count, sizeof count); });
}

}  // namespace platform
