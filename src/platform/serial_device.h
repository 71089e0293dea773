#pragma once
// SerialDevice: a terminal device opened for the modem line, with the calls a serial port needs:
// exclusive open, line settings, DTR, purge, queue level, non-blocking read, timed write, and an
// event wait that another thread can end at once by stopping the watch for received bytes.
//
// Threads: the UI thread opens, configures, writes and closes; the reader thread waits and reads.
// WatchReceive and the wake-up registration may be called from either; everything else must not
// run concurrently with Close.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/unique_fd.h"

struct termios;

namespace platform {

enum class Parity : uint8_t { kNone, kOdd, kEven };
enum class StopBits : uint8_t { kOne, kTwo };
// Handshakes the line may use; the modem line uses none.
struct FlowControl {
  bool rtsCts = false;
  bool xonXoff = false;
};

struct LineSettings {
  unsigned baudRate = 19200;
  unsigned byteSize = 8;
  Parity parity = Parity::kNone;
  StopBits stopBits = StopBits::kOne;
  FlowControl flow;
};

struct WriteResult {
  bool failedAtOnce = false;  // nothing could be started (errno in error)
  bool waited = false;        // not all bytes went out at once
  long total = 0;             // bytes that went out
  int error = 0;
};

enum class WaitResult {
  kNoEvent,  // the watch was stopped (or is off), or the wait failed
  kRxChar,   // bytes are waiting
  kLost,     // the device hung up or failed: no more data will come
};

// The step of SerialDevice::Open that refused the device.
enum class OpenStep : uint8_t {
  kNone,       // none: it opened
  kUucpLock,   // a UUCP lock file names a live process
  kOpen,       // open() itself
  kTerminal,   // the device is not a terminal
  kLock,       // another program holds its lock (EWOULDBLOCK), or flock() failed
  kExclusive,  // exclusive mode refused
};

// What one Open found, as facts for the caller to put in words.
struct OpenAttempt {
  OpenStep failedStep = OpenStep::kNone;
  int error = 0;    // errno of the failed step; 0 for kNone and kUucpLock
  int lockPid = 0;  // kUucpLock: the live PID its lock file names
  // A lock file that was there but not taken as one (a FIFO, a link, too big, unreadable): its
  // path and why, as ReadOutsideFile says it; whatever the outcome. Empty when none.
  std::string ignoredLockPath;
  std::string ignoredLockReason;
  [[nodiscard]] bool Opened() const { return failedStep == OpenStep::kNone; }
};

class SerialDevice {
 public:
  SerialDevice();
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Opens path read/write, non-blocking, exclusive (flock, then TIOCEXCL); refuses a device whose
  // UUCP lock file names a live process. On failure returns false with nothing left open and the
  // exclusive flag untouched; LastOpen() then says which step refused it.
  [[nodiscard]] bool Open(const char* path);
  // What the last Open found; a default OpenAttempt before the first.
  [[nodiscard]] const OpenAttempt& LastOpen() const { return lastOpen_; }
  [[nodiscard]] bool IsOpen() const { return fd_.Valid(); }
  // Clears exclusive mode when this open set it (it outlives the descriptor on a
  // pseudo-terminal), puts the original settings back and closes. Nothing when not open.
  void Close();

  // Raw mode with the given speed, size, parity, stop bits and handshake; true when accepted.
  [[nodiscard]] bool ApplyLineSettings(const LineSettings& settings);
  void SetDtr(bool on);                        // result ignored: a pseudo-terminal refuses it
  void Purge();                                // discards both queues
  [[nodiscard]] unsigned QueuedInput() const;  // bytes waiting; 0 on error

  // Reads at most maxBytes of what is queued; -1 with errno kept in *error on failure.
  long Read(void* buffer, size_t maxBytes, int* error);
  // Writes all bytes, waiting for room until timeoutMs has passed.
  WriteResult Write(const void* data, size_t length, int timeoutMs);

  // While watched, WaitEvent blocks until a byte is received. Stopping the watch ends a wait in
  // progress, and a wait that starts while nothing is watched ends at once.
  void WatchReceive(bool on);
  [[nodiscard]] bool WatchingReceive() const { return watchReceive_.load(); }
  // The reader registers the eventfd it created for its waits (-1 to unregister).
  void SetWakeupFd(int fd);
  // Reader thread: blocks, without time-out, as described above.
  WaitResult WaitEvent();
  // For a caller that reads on its own thread without the event mask: waits at most timeoutMs
  // for bytes. kRxChar when some are waiting, kLost on a hang-up, kNoEvent at the time-out or
  // when stopFd (-1: none) becomes readable; stopFd is not read, so it ends every later wait too.
  [[nodiscard]] WaitResult WaitReadable(int timeoutMs, int stopFd) const;

 private:
  void SignalWakeup();
  bool Refuse(OpenStep step, int error);

  UniqueFd fd_;
  std::unique_ptr<struct termios> original_;  // put back at close
  bool clearExclusiveAtClose_ = false;        // the flag was not set before this open
  OpenAttempt lastOpen_;
  std::atomic<bool> watchReceive_{false};
  std::mutex wakeMutex_;  // the eventfd may go away while another thread signals it
  int wakeFd_ = -1;
};

}  // namespace platform
