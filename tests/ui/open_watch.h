#pragma once
// Which files of a directory were opened, by anyone, since the watch began (inotify). The tests
// use it to prove that an early end touched neither ati3.dat nor a COM port.

#include <sys/inotify.h>
#include <unistd.h>

#include <set>
#include <string>

namespace ui_test {

class OpenWatch {
 public:
  explicit OpenWatch(const std::string& directory)
      : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0) watch_ = ::inotify_add_watch(fd_, directory.c_str(), IN_OPEN);
  }
  ~OpenWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;

  [[nodiscard]] bool Valid() const { return fd_ >= 0 && watch_ >= 0; }

  // Names of the entries opened so far (not the directory itself).
  const std::set<std::string>& Opened() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && !(event->mask & IN_ISDIR)) opened_.insert(event->name);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return opened_;
  }

 private:
  int fd_;
  int watch_ = -1;
  std::set<std::string> opened_;
};

}  // namespace ui_test
