#pragma once
// PtyClient: the far side of a simulated port, opened through its COMn link the way the tool
// opens a serial device (raw, 19200 8N1, non-blocking). Every wait polls the descriptor with a
// deadline; nothing sleeps.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace simtest {

using Ms = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

class PtyClient {
 public:
  explicit PtyClient(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&t, B19200);
    ::cfsetospeed(&t, B19200);
    ::tcsetattr(fd_, TCSANOW, &t);
  }
  ~PtyClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  [[nodiscard]] bool Ok() const { return fd_ >= 0; }
  [[nodiscard]] int Fd() const { return fd_; }

  // Writes all of `s`, waiting for room (never longer than 2 s). True when all went out.
  bool Send(std::string_view s) {
    auto deadline = SteadyClock::now() + Ms(2000);
    while (!s.empty()) {
      ssize_t n = ::write(fd_, s.data(), s.size());
      if (n > 0) {
        s.remove_prefix(static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      if (!PollFor(POLLOUT, deadline)) return false;
    }
    return true;
  }

  // Reads until what was received since the last Take() contains `text`, or the time-out.
  bool WaitFor(std::string_view text, Ms timeout) {
    auto deadline = SteadyClock::now() + timeout;
    while (received_.find(text) == std::string::npos) {
      if (!ReadOnce(deadline)) return false;
    }
    return true;
  }

  // Reads until `text` occurs at least `count` times since the last Take(), or the time-out.
  bool WaitForCount(std::string_view text, int count, Ms timeout) {
    auto deadline = SteadyClock::now() + timeout;
    for (;;) {
      int seen = 0;
      for (auto at = received_.find(text); at != std::string::npos;
           at = received_.find(text, at + 1))
        ++seen;
      if (seen >= count) return true;
      if (!ReadOnce(deadline)) return false;
    }
  }

  // Collects whatever arrives within `window` (used to show that nothing more comes).
  void Collect(Ms window) {
    auto deadline = SteadyClock::now() + window;
    while (ReadOnce(deadline)) {
    }
  }

  std::string Take() {
    chunks_.clear();
    return std::exchange(received_, {});
  }
  [[nodiscard]] const std::string& Received() const { return received_; }
  // Each read() result since the last Take().
  [[nodiscard]] const std::vector<std::string>& Chunks() const { return chunks_; }
  [[nodiscard]] bool HungUp() const { return hungUp_; }

 private:
  bool PollFor(short events, SteadyClock::time_point deadline) {
    auto left = std::chrono::duration_cast<Ms>(deadline - SteadyClock::now()).count();
    if (left < 0) return false;
    pollfd p{fd_, events, 0};
    int r = ::poll(&p, 1, static_cast<int>(left) + 1);
    if (r > 0 && (p.revents & (POLLHUP | POLLERR))) hungUp_ = true;
    return r > 0 && (p.revents & events);
  }
  bool ReadOnce(SteadyClock::time_point deadline) {
    if (!PollFor(POLLIN, deadline)) return false;
    char buf[8192];
    ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n <= 0) {
      if (n == 0 || errno != EAGAIN) hungUp_ = true;
      return !hungUp_;
    }
    received_.append(buf, static_cast<std::size_t>(n));
    chunks_.emplace_back(buf, static_cast<std::size_t>(n));
    return true;
  }

  int fd_ = -1;
  std::string received_;
  std::vector<std::string> chunks_;
  bool hungUp_ = false;
};

}  // namespace simtest
