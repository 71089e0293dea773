#include "platform/standard_error.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <type_traits>

#include "platform/sys_error.h"

namespace platform {
namespace {

// A standard error left non-blocking by whoever shares it: wait this long for room before
// giving up on the text, so a stalled reader never holds a thread of the tool for good.
constexpr int kWritableWaitMs = 1000;

bool WaitWritable() {
  pollfd pfd{STDERR_FILENO, POLLOUT, 0};
  return RetryOnEintr([&] { return ::poll(&pfd, 1, kWritableWaitMs); }) > 0 &&
         (pfd.revents & POLLOUT) != 0;
}

}  // namespace

StandardErrorStream& StandardError() {
  // Made before main and never torn down with code of its own.
  constinit static StandardErrorStream stream;
  static_assert(std::is_trivially_destructible_v<StandardErrorStream>);
  return stream;
}

void StandardErrorStream::Write(std::string_view text) {
  const std::lock_guard<std::mutex> hold(writer_);
  while (!text.empty()) {
    const ssize_t sent =
        RetryOnEintr([&] { return ::write(STDERR_FILENO, text.data(), text.size()); });
    if (sent > 0) {
      text.remove_prefix(size_t(sent));
    } else if (sent < 0 && errno == EAGAIN && WaitWritable()) {
      continue;
    } else {
      return;
    }
  }
}

void WriteStandardError(std::string_view text) { StandardError().Write(text); }

}  // namespace platform
