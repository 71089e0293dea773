#include "platform/standard_error.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
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

void WriteStandardError(std::string_view text) {
  // One lock for the one descriptor. Made before main and never torn down with code of its own,
  // so a text written from a late destructor at exit still finds it.
  constinit static std::mutex writer;
  static_assert(std::is_trivially_destructible_v<std::mutex>);
  const std::lock_guard<std::mutex> hold(writer);
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

}  // namespace platform
