#pragma once
// A pseudo-terminal pair for tests: the test plays the modem on the master side while the code
// under test opens the slave through a COMn symlink, as it would a real port.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "support/temp_dir.h"

namespace testsupport {

inline int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

class PtyPair {
 public:
  PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    slavePath_ = ::ptsname(master_);
    struct termios tio {};
    ::tcgetattr(master_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(master_, TCSANOW, &tio);
    // Keeping one slave descriptor open keeps the master usable across the tool's closes.
    keeper_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ::tcgetattr(keeper_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(keeper_, TCSANOW, &tio);
  }
  ~PtyPair() {
    CloseMaster();
    if (keeper_ >= 0) ::close(keeper_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Valid() const { return master_ >= 0 && keeper_ >= 0; }
  const std::string& SlavePath() const { return slavePath_; }
  int Master() const { return master_; }
  // A slave descriptor of the test's own: terminal flags of the slave side read through it.
  int Keeper() const { return keeper_; }

  void Write(const std::string& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0)
        done += static_cast<size_t>(n);
      else if (n < 0 && errno != EINTR && errno != EAGAIN)
        return;
    }
  }

  // Reads what arrives until the text holds `until` or `ms` have passed; returns all of it.
  std::string ReadUntil(const std::string& until, int ms) const {
    std::string got;
    int64_t deadline = MonotonicMs() + ms;
    while (got.find(until) == std::string::npos) {
      int64_t left = deadline - MonotonicMs();
      if (left <= 0) break;
      pollfd pfd{master_, POLLIN, 0};
      if (::poll(&pfd, 1, static_cast<int>(left)) <= 0) break;
      char buffer[4096];
      ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<size_t>(n));
    }
    return got;
  }
  // Everything that arrives within ms.
  std::string ReadFor(int ms) const { return ReadUntil(std::string(1, '\0') + "never", ms); }

  // The device is gone: the slave side sees a hang-up.
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  void CloseKeeper() {
    if (keeper_ >= 0) ::close(keeper_);
    keeper_ = -1;
  }

 private:
  int master_ = -1;
  int keeper_ = -1;
  std::string slavePath_;
};

// A fresh directory with COMn symlinks, set as KALVEX_COM_DIR for the code under test.
class ComDir {
 public:
  ComDir() { ::setenv("KALVEX_COM_DIR", dir_.Path().c_str(), 1); }
  void Link(int port, const std::string& target) const {
    std::string link = dir_.In("COM" + std::to_string(port));
    ::unlink(link.c_str());
    (void)::symlink(target.c_str(), link.c_str());
  }
  const std::string& Path() const { return dir_.Path(); }

 private:
  TempDir dir_;
};

}  // namespace testsupport
