#pragma once
// EventFd: a counter descriptor that one thread signals and another waits on with poll().

#include "platform/unique_fd.h"

namespace platform {

class EventFd {
 public:
  // Creates the descriptor; Valid() is false when the system refused (errno kept in Error()).
  EventFd();
  [[nodiscard]] bool Valid() const { return fd_.Valid(); }
  [[nodiscard]] int Error() const { return error_; }
  [[nodiscard]] int Fd() const { return fd_.Get(); }
  // Any thread; async-signal-safe.
  void Signal() const;
  // Resets the counter; never blocks.
  void Drain() const;

 private:
  UniqueFd fd_;
  int error_ = 0;
};

}  // namespace platform
