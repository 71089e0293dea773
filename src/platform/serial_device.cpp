#include "platform/serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/outside_file.h"
#include "platform/sys_error.h"

namespace platform {
namespace {

// A UUCP lock holds a PID in at most eleven bytes; a bigger file is not one.
constexpr int64_t kMaxLockFileBytes = 128;

// UUCP convention: /var/lock/LCK..ttyS2 holds the PID of the process using /dev/ttyS2. A lock
// whose process is gone is stale and ignored; the tool creates none itself. A file there that is
// no lock is told in *attempt.
pid_t LivePidOfUucpLock(const char* path, OpenAttempt* attempt) {
  char resolved[PATH_MAX];
  if (!::realpath(path, resolved)) return 0;
  std::string name = resolved;
  if (name.rfind("/dev/", 0) == 0) name.erase(0, 5);
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  const char* dir = std::getenv("KALVEX_LOCK_DIR");
  std::string lockPath = std::string(dir && *dir ? dir : "/var/lock") + "/LCK.." + name;
  // The lock directory is world-writable: a FIFO there would block the open for good, a
  // symbolic link could make any file a lock, and a huge file is no lock either.
  std::string content;
  OpenedFile opened;
  if (!ReadOutsideFile(lockPath, kMaxLockFileBytes, &content, &opened)) {
    if (opened.refusal != FileRefusal::kMissing) {
      attempt->ignoredLockPath = lockPath;
      attempt->ignoredLockReason = opened.reason;
    }
    return 0;
  }
  // Ten digits and a newline, or the four-byte binary form; nothing longer is a PID.
  char text[12] = {};
  const size_t got = std::min(content.size(), sizeof text - 1);
  std::memcpy(text, content.data(), got);
  if (got == 0) return 0;
  pid_t pid = 0;
  if (got == 4 && !std::memchr(text, '\n', 4) && std::sscanf(text, "%d", &pid) != 1) {
    std::memcpy(&pid, text, sizeof pid);  // the old binary form
  } else {
    pid = static_cast<pid_t>(std::strtol(text, nullptr, 10));
  }
  if (pid <= 0 || pid == ::getpid()) return 0;
  if (::kill(pid, 0) == 0 || errno == EPERM) return pid;
  return 0;
}

speed_t SpeedCode(unsigned baudRate) {
  switch (baudRate) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

tcflag_t SizeFlag(unsigned byteSize) {
  switch (byteSize) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
  }
}

}  // namespace

SerialDevice::SerialDevice() = default;
SerialDevice::~SerialDevice() { Close(); }

bool SerialDevice::Refuse(OpenStep step, int error) {
  lastOpen_.failedStep = step;
  lastOpen_.error = error;
  return false;
}

bool SerialDevice::Open(const char* path) {
  Close();
  lastOpen_ = {};
  if (pid_t owner = LivePidOfUucpLock(path, &lastOpen_)) {
    lastOpen_.lockPid = static_cast<int>(owner);
    return Refuse(OpenStep::kUucpLock, 0);
  }
  UniqueFd fd(
      RetryOnEintr([&] { return ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
  if (!fd.Valid()) return Refuse(OpenStep::kOpen, errno);
  auto original = std::make_unique<struct termios>();
  if (::tcgetattr(fd.Get(), original.get()) != 0) return Refuse(OpenStep::kTerminal, errno);
  // TIOCEXCL does not bind root; a lock held by another copy of the tool still does. The lock
  // comes first: a refused open must not touch the exclusive flag, which belongs to the holder.
  if (RetryOnEintr([&] { return ::flock(fd.Get(), LOCK_EX | LOCK_NB); }) != 0)
    return Refuse(OpenStep::kLock, errno);
  // Root may open a terminal that another program made exclusive; that flag stays theirs.
  int alreadyExclusive = 0;
  if (::ioctl(fd.Get(), TIOCGEXCL, &alreadyExclusive) != 0) alreadyExclusive = 0;
  if (::ioctl(fd.Get(), TIOCEXCL) != 0) return Refuse(OpenStep::kExclusive, errno);
  fd_ = std::move(fd);
  original_ = std::move(original);
  clearExclusiveAtClose_ = alreadyExclusive == 0;
  return true;
}

void SerialDevice::Close() {
  if (!fd_.Valid()) return;
  // On a pseudo-terminal the exclusive flag outlives the descriptor and would refuse every
  // later open by anyone but root.
  if (clearExclusiveAtClose_) ::ioctl(fd_.Get(), TIOCNXCL);
  if (original_) ::tcsetattr(fd_.Get(), TCSANOW, original_.get());
  original_.reset();
  fd_.Reset();
}

bool SerialDevice::ApplyLineSettings(const LineSettings& settings) {
  if (!fd_.Valid()) return false;
  struct termios tio {};
  if (::tcgetattr(fd_.Get(), &tio) != 0) return false;
  ::cfmakeraw(&tio);
  speed_t speed = SpeedCode(settings.baudRate);
  if (speed == B0) return false;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= SizeFlag(settings.byteSize) | CREAD | CLOCAL;
  if (settings.parity == Parity::kOdd) tio.c_cflag |= PARENB | PARODD;
  if (settings.parity == Parity::kEven) tio.c_cflag |= PARENB;
  if (settings.stopBits == StopBits::kTwo) tio.c_cflag |= CSTOPB;
  if (settings.flow.rtsCts) tio.c_cflag |= CRTSCTS;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  if (settings.flow.xonXoff) tio.c_iflag |= IXON | IXOFF;
  // Reads only ever take what is queued, so they must never wait.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  return ::tcsetattr(fd_.Get(), TCSANOW, &tio) == 0;
}

void SerialDevice::SetDtr(bool on) {
  int bits = TIOCM_DTR;
  ::ioctl(fd_.Get(), on ? TIOCMBIS : TIOCMBIC, &bits);
}

void SerialDevice::Purge() { ::tcflush(fd_.Get(), TCIOFLUSH); }

unsigned SerialDevice::QueuedInput() const {
  int queued = 0;
  if (::ioctl(fd_.Get(), FIONREAD, &queued) != 0 || queued < 0) return 0;
  return static_cast<unsigned>(queued);
}

long SerialDevice::Read(void* buffer, size_t maxBytes, int* error) {
  ssize_t got = RetryOnEintr([&] { return ::read(fd_.Get(), buffer, maxBytes); });
  if (got < 0 && error) *error = errno;
  return got;
}

WriteResult SerialDevice::Write(const void* data, size_t length, int timeoutMs) {
  WriteResult result;
  const char* bytes = static_cast<const char*>(data);
  ssize_t sent = RetryOnEintr([&] { return ::write(fd_.Get(), bytes, length); });
  if (sent < 0 && errno != EAGAIN) {
    result.failedAtOnce = true;
    result.error = errno;
    return result;
  }
  result.total = sent > 0 ? sent : 0;
  if (static_cast<size_t>(result.total) == length) return result;

  result.waited = true;
  int64_t deadline = NowMs() + timeoutMs;
  while (static_cast<size_t>(result.total) < length) {
    int64_t left = deadline - NowMs();
    if (left <= 0) break;
    pollfd pfd{fd_.Get(), POLLOUT, 0};
    int ready = RetryOnEintr([&] { return ::poll(&pfd, 1, static_cast<int>(left)); });
    if (ready <= 0) break;
    if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) {
      result.error = EIO;
      break;
    }
    sent = RetryOnEintr(
        [&] { return ::write(fd_.Get(), bytes + result.total, length - result.total); });
    if (sent < 0 && errno != EAGAIN) {
      result.error = errno;
      break;
    }
    if (sent > 0) result.total += sent;
  }
  return result;
}

void SerialDevice::WatchReceive(bool on) {
  watchReceive_.store(on);
  if (!on) SignalWakeup();
}

void SerialDevice::SetWakeupFd(int fd) {
  std::lock_guard lock(wakeMutex_);
  wakeFd_ = fd;
}

void SerialDevice::SignalWakeup() {
  std::lock_guard lock(wakeMutex_);
  if (wakeFd_ < 0) return;
  uint64_t one = 1;
  RetryOnEintr([&] { return ::write(wakeFd_, &one, sizeof one); });
}

WaitResult SerialDevice::WaitEvent() {
  int wakeFd;
  {
    std::lock_guard lock(wakeMutex_);
    wakeFd = wakeFd_;
  }
  if (!watchReceive_.load()) return WaitResult::kNoEvent;
  pollfd fds[2] = {{fd_.Get(), POLLIN, 0}, {wakeFd, POLLIN, 0}};
  if (RetryOnEintr([&] { return ::poll(fds, 2, -1); }) < 0) return WaitResult::kNoEvent;
  if (fds[1].revents & POLLIN) {
    uint64_t count;
    RetryOnEintr([&] { return ::read(wakeFd, &count, sizeof count); });
    return WaitResult::kNoEvent;
  }
  // A hung-up terminal keeps reporting readable with nothing to read: without this the
  // reader would spin.
  if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) && QueuedInput() == 0) {
    return WaitResult::kLost;
  }
  if (fds[0].revents & POLLIN) return WaitResult::kRxChar;
  return WaitResult::kNoEvent;
}

WaitResult SerialDevice::WaitReadable(int timeoutMs, int stopFd) const {
  pollfd fds[2] = {{fd_.Get(), POLLIN, 0}, {stopFd, POLLIN, 0}};
  const int ready = RetryOnEintr([&] { return ::poll(fds, stopFd < 0 ? 1 : 2, timeoutMs); });
  if (ready <= 0 || (fds[1].revents & POLLIN)) return WaitResult::kNoEvent;
  // As in WaitEvent: a hung-up terminal stays readable with nothing to read.
  if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) && QueuedInput() == 0)
    return WaitResult::kLost;
  return (fds[0].revents & POLLIN) ? WaitResult::kRxChar : WaitResult::kNoEvent;
}

}  // namespace platform
